// GdiCache: the pens, fonts and brushes the work panel draws with, made once
// and kept for the life of the panel that owns the cache.
//
// There is one cache per process, reached through a process-wide reference.
// A work panel offers its own entry array with ClaimGdiCache when it is
// constructed; the first panel to do so while no cache is active becomes the
// owner, and every later panel draws with that one. When the owner is
// destroyed it gives the cache up with ReleaseGdiCache (every object deleted,
// the reference emptied), so no reference outlives its storage.
//
// Callers select the objects they get into their context and never delete
// them. A request that cannot be served (no cache yet, or the entry limit
// reached for a new key) gets none; selecting none leaves the previous object
// of the context in place, so drawing goes on with that.
//
// User-interface thread only; the cache has no lock.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdi/gdi.h"

// Kinds of cached objects.
enum : int32_t { kCachedPen = 1, kCachedFont = 2, kCachedBrush = 3 };

// From this many entries on, keys not yet cached get none.
constexpr int32_t kGdiCacheLimit = 5000;

struct GdiCacheEntry {
  plat::HGDIOBJ object = nullptr;  // owned
  int32_t kind = 0;
  int32_t penStyle = 0;    // pens
  int32_t penWidth = 0;    // pens
  int32_t fontHeight = 0;  // fonts
  int32_t fontWeight = 0;  // fonts
  plat::COLORREF color = 0;  // pens and brushes
  char16_t faceName[32] = {};  // fonts: at most 31 characters and the terminator
};

// The entry array: references in insertion order. A slot may be empty after
// ClearGdiCache. Before each append there is room for `step` slots beyond
// `count`; a growing array takes the smallest multiple of 16 that is at least
// count + 16.
struct GdiCache {
  GdiCacheEntry** entries = nullptr;
  int32_t capacity = 0;
  int32_t count = 0;
  int32_t step = 16;

  GdiCache() = default;
  ~GdiCache();  // releases the entries and their objects, then the array
  GdiCache(const GdiCache&) = delete;
  GdiCache& operator=(const GdiCache&) = delete;

  // Appends an entry (taking it over); false when the array cannot grow.
  bool Append(GdiCacheEntry* entry);
  // Deletes every object and entry, emptying their slots; count stays.
  void Clear();
  // Clear, then frees the array itself (all numbers 0).
  void ReleaseStorage();
};

// The process-wide cache, or none.
GdiCache* ActiveGdiCache();
// Makes `storage` the process-wide cache when there is none yet. Returns
// whether `storage` is the process-wide cache now.
bool ClaimGdiCache(GdiCache* storage);
// When `storage` is the process-wide cache: clears it and empties the
// reference. Other storages are left alone.
void ReleaseGdiCache(GdiCache* storage);

// Lookup-or-create of the three kinds. The face name is compared exactly
// (case-sensitively), as far as the 31 characters a font description holds.
plat::HPEN CachedPen(int32_t style, int32_t width, plat::COLORREF color);
plat::HFONT CachedFont(std::u16string_view faceName, int32_t height, int32_t weight);
plat::HBRUSH CachedBrush(plat::COLORREF color);

// Deletes every object of the process-wide cache and empties its slots.
void ClearGdiCache();
