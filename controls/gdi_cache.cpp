#include "controls/gdi_cache.h"

#include <cstdlib>
#include <cstring>

namespace {

GdiCache* activeCache = nullptr;

// A request is an entry without its object, so matching and storing use the
// same record. Fields a kind does not use stay 0 and are not compared.
bool SameKey(const GdiCacheEntry& a, const GdiCacheEntry& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case kCachedPen:
      return a.penStyle == b.penStyle && a.penWidth == b.penWidth && a.color == b.color;
    case kCachedFont:
      return a.fontHeight == b.fontHeight && a.fontWeight == b.fontWeight &&
             std::memcmp(a.faceName, b.faceName, sizeof a.faceName) == 0;
    case kCachedBrush:
      return a.color == b.color;
    default:
      return false;
  }
}

plat::HGDIOBJ CreateFor(const GdiCacheEntry& key) {
  switch (key.kind) {
    case kCachedPen:
      return plat::CreatePen(key.penStyle, key.penWidth, key.color);
    case kCachedFont: {
      plat::LOGFONTW description;  // every other field 0
      description.lfHeight = key.fontHeight;
      description.lfWeight = key.fontWeight;
      std::memcpy(description.lfFaceName, key.faceName, sizeof description.lfFaceName);
      return plat::CreateFontIndirectW(description);
    }
    case kCachedBrush:
      return plat::CreateSolidBrush(key.color);
    default:
      return nullptr;
  }
}

plat::HGDIOBJ LookupOrCreate(const GdiCacheEntry& key) {
  GdiCache* cache = activeCache;
  if (cache == nullptr) return nullptr;
  for (int32_t i = 0; i < cache->count; ++i) {
    GdiCacheEntry* entry = cache->entries[i];
    if (entry == nullptr || !SameKey(*entry, key)) continue;
    if (entry->object != nullptr) return entry->object;
    break;  // a matching entry without an object: make a new one
  }
  if (cache->count > kGdiCacheLimit) return nullptr;
  plat::HGDIOBJ object = CreateFor(key);
  if (object == nullptr) return nullptr;
  auto* entry = new GdiCacheEntry(key);
  entry->object = object;
  if (!cache->Append(entry)) {
    plat::DeleteObject(object);
    delete entry;
    return nullptr;
  }
  return object;
}

}  // namespace

GdiCache::~GdiCache() { ReleaseStorage(); }

bool GdiCache::Append(GdiCacheEntry* entry) {
  if (count + step > capacity) {
    int64_t wanted = (static_cast<int64_t>(count) + 16 + 15) / 16 * 16;
    if (wanted > INT32_MAX / static_cast<int64_t>(sizeof(GdiCacheEntry*))) return false;
    auto* grown = static_cast<GdiCacheEntry**>(std::malloc(static_cast<size_t>(wanted) * sizeof(GdiCacheEntry*)));
    if (grown == nullptr) return false;
    if (count > 0) std::memcpy(grown, entries, static_cast<size_t>(count) * sizeof(GdiCacheEntry*));
    std::free(entries);
    entries = grown;
    capacity = static_cast<int32_t>(wanted);
  }
  entries[count++] = entry;
  return true;
}

void GdiCache::Clear() {
  for (int32_t i = 0; i < count; ++i) {
    GdiCacheEntry* entry = entries[i];
    if (entry == nullptr) continue;
    if (entry->object != nullptr) plat::DeleteObject(entry->object);
    delete entry;
    entries[i] = nullptr;
  }
}

void GdiCache::ReleaseStorage() {
  Clear();
  std::free(entries);
  entries = nullptr;
  capacity = 0;
  count = 0;
}

GdiCache* ActiveGdiCache() { return activeCache; }

bool ClaimGdiCache(GdiCache* storage) {
  if (activeCache == nullptr) activeCache = storage;
  return activeCache == storage;
}

void ReleaseGdiCache(GdiCache* storage) {
  if (storage == nullptr || activeCache != storage) return;
  ClearGdiCache();
  activeCache = nullptr;
}

plat::HPEN CachedPen(int32_t style, int32_t width, plat::COLORREF color) {
  GdiCacheEntry key;
  key.kind = kCachedPen;
  key.penStyle = style;
  key.penWidth = width;
  key.color = color;
  return LookupOrCreate(key);
}

plat::HFONT CachedFont(std::u16string_view faceName, int32_t height, int32_t weight) {
  GdiCacheEntry key;
  key.kind = kCachedFont;
  key.fontHeight = height;
  key.fontWeight = weight;
  for (size_t i = 0; i < faceName.size() && i < 31 && faceName[i] != 0; ++i) key.faceName[i] = faceName[i];
  return LookupOrCreate(key);
}

plat::HBRUSH CachedBrush(plat::COLORREF color) {
  GdiCacheEntry key;
  key.kind = kCachedBrush;
  key.color = color;
  return LookupOrCreate(key);
}

void ClearGdiCache() {
  if (activeCache != nullptr) activeCache->Clear();
}
