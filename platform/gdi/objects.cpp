// Drawing objects and contexts: creation, the registry of live handles,
// selection, saved states and clipping.

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <utility>

#include "platform/gdi/internal/objects.h"

namespace plat {
namespace {

// Every live handle (objects and contexts, stock objects included), so that a
// stale or made-up handle is recognised without touching it.
struct Registry {
  std::mutex mutex;
  std::unordered_set<const void*> live;      // objects
  std::unordered_set<const void*> contexts;  // drawing contexts
  GdiObjectCounts counts;
};

Registry& TheRegistry() {
  static auto* registry = new Registry();  // outlives every static that may draw at exit
  return *registry;
}

int* CountOf(GdiObjectCounts& counts, ObjectType type) {
  switch (type) {
    case OBJ_PEN: return &counts.pens;
    case OBJ_BRUSH: return &counts.brushes;
    case OBJ_FONT: return &counts.fonts;
    case OBJ_BITMAP: return &counts.bitmaps;
    case OBJ_DC: return &counts.contexts;
    default: return nullptr;
  }
}

template <typename T>
T* Register(T* object) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.live.insert(object);
  if (!object->stock) {
    if (int* count = CountOf(registry.counts, object->type)) ++*count;
  }
  return object;
}

DrawContext* RegisterDC(DrawContext* dc) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.contexts.insert(dc);
  ++registry.counts.contexts;
  return dc;
}

GdiObject* LookupObject(HGDIOBJ handle) {
  if (!handle) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (!registry.live.count(handle)) return nullptr;
  return handle->deleted ? nullptr : handle;
}

void FreeObject(GdiObject* object) {
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.live.erase(object);
    if (int* count = CountOf(registry.counts, object->type)) --*count;
  }
  delete object;
}

void Hold(GdiObject* object, DrawContext* dc) {
  if (!object || object->stock) return;
  ++object->holds;
  if (object->type == OBJ_BITMAP) static_cast<Bitmap*>(object)->selectedInto = dc;
}

void Release(GdiObject* object) {
  if (!object || object->stock) return;
  if (--object->holds > 0) return;
  if (object->type == OBJ_BITMAP) static_cast<Bitmap*>(object)->selectedInto = nullptr;
  if (object->deleted) FreeObject(object);
}

void HoldState(DcState& state, DrawContext* dc) {
  Hold(state.pen, dc);
  Hold(state.brush, dc);
  Hold(state.font, dc);
  Hold(state.bitmap, dc);
}

void ReleaseState(DcState& state) {
  Release(state.pen);
  Release(state.brush);
  Release(state.font);
  Release(state.bitmap);
}

Pen* MakeStockPen(int style, COLORREF color) {
  auto* pen = new Pen();
  pen->type = OBJ_PEN;
  pen->stock = true;
  pen->style = style;
  pen->color = color;
  return Register(pen);
}

Brush* MakeStockBrush(bool hollow, COLORREF color) {
  auto* brush = new Brush();
  brush->type = OBJ_BRUSH;
  brush->stock = true;
  brush->hollow = hollow;
  brush->color = color;
  return Register(brush);
}

Font* MakeFont(const LOGFONTW& description, bool stock) {
  auto* font = new Font();
  font->type = OBJ_FONT;
  font->stock = stock;
  font->description = description;
  font->description.lfFaceName[31] = 0;
  text::FontRequest request;
  request.face = description.lfFaceName;
  request.height = description.lfHeight;
  request.weight = description.lfWeight;
  request.italic = description.lfItalic != 0;
  font->face = text::ResolveFont(request);
  return Register(font);
}

void CopyFaceName(char16_t (&target)[32], std::u16string_view name) {
  const size_t n = std::min<size_t>(name.size(), 31);
  std::copy_n(name.data(), n, target);
  target[n] = 0;
}

Font* MakeStockFont(std::u16string_view face, int height, int weight) {
  LOGFONTW description;
  description.lfHeight = height;
  description.lfWeight = weight;
  CopyFaceName(description.lfFaceName, face);
  return MakeFont(description, true);
}

struct StockObjects {
  Brush* brushes[6];
  Pen* pens[3];
  Font* systemFont;
  Font* guiFont;
  Bitmap* bitmap;  // the 1 x 1 bitmap of a fresh memory context
};

const StockObjects& Stock() {
  static const StockObjects* stock = [] {
    auto* s = new StockObjects();
    const COLORREF brushColors[6] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                     RGB(64, 64, 64),    RGB(0, 0, 0),       0};
    for (int i = 0; i < 6; ++i) s->brushes[i] = MakeStockBrush(i == NULL_BRUSH, brushColors[i]);
    s->pens[0] = MakeStockPen(PS_SOLID, RGB(255, 255, 255));
    s->pens[1] = MakeStockPen(PS_SOLID, RGB(0, 0, 0));
    s->pens[2] = MakeStockPen(PS_NULL, 0);
    s->systemFont = MakeStockFont(u"System", 16, FW_BOLD);
    s->guiFont = MakeStockFont(u"MS Shell Dlg", -11, FW_NORMAL);
    auto* bitmap = new Bitmap();
    bitmap->type = OBJ_BITMAP;
    bitmap->stock = true;
    bitmap->width = bitmap->height = 1;
    bitmap->pixels.assign(1, 0);
    s->bitmap = Register(bitmap);
    return s;
  }();
  return *stock;
}

DcState FreshState(bool memory) {
  const StockObjects& stock = Stock();
  DcState state;
  state.pen = stock.pens[1];
  state.brush = stock.brushes[WHITE_BRUSH];
  state.font = stock.guiFont;
  state.bitmap = memory ? stock.bitmap : nullptr;
  return state;
}

template <typename T>
T* Replace(DrawContext* dc, T*& slot, T* object) {
  T* previous = slot;
  // A previous object that was deleted while selected has no handle any more
  // and is not handed back.
  const bool survives = previous && !previous->deleted;
  Hold(object, dc);
  slot = object;
  Release(previous);
  return survives ? previous : nullptr;
}

}  // namespace

DrawContext* LookupDC(HDC dc) {
  if (!dc) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.contexts.count(dc) ? dc : nullptr;
}

RasterTarget SourceOf(const DrawContext& dc) {
  RasterTarget target;
  if (dc.memory) {
    Bitmap* bitmap = dc.state.bitmap;
    if (!bitmap || bitmap->pixels.empty()) return target;
    target.pixels = bitmap->pixels.data();
    target.width = bitmap->width;
    target.height = bitmap->height;
    target.pitch = bitmap->width;
    target.clip = RECT{0, 0, bitmap->width, bitmap->height};
    return target;
  }
  if (!dc.external.data || dc.external.width <= 0 || dc.external.height <= 0) return target;
  target.pixels = reinterpret_cast<uint32_t*>(dc.external.data);
  target.width = dc.external.width;
  target.height = dc.external.height;
  target.pitch = dc.external.stride / 4;
  target.origin = dc.origin;
  RECT bounds = dc.bounds;
  OffsetRect(bounds, dc.origin.x, dc.origin.y);
  target.clip = Intersect(bounds, RECT{0, 0, target.width, target.height});
  return target;
}

RasterTarget TargetOf(const DrawContext& dc) {
  RasterTarget target = SourceOf(dc);
  if (target.pixels && dc.state.clipped) {
    RECT clip = dc.state.clip;
    OffsetRect(clip, target.origin.x, target.origin.y);
    target.clip = Intersect(target.clip, clip);
  }
  return target;
}

ObjectType GetObjectType(HGDIOBJ object) {
  if (!object) return OBJ_NONE;
  if (GdiObject* o = LookupObject(object)) return o->type;
  // A context handle passed where an object is expected.
  if (LookupDC(reinterpret_cast<HDC>(object))) return OBJ_DC;
  return OBJ_NONE;
}

GdiObjectCounts GetGdiObjectCounts() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.counts;
}

HDC CreateCompatibleDC(HDC reference) {
  auto* dc = new DrawContext();
  dc->memory = true;
  dc->state = FreshState(true);
  return RegisterDC(dc);
}

HDC CreateSurfaceDC(const PixelView& target, POINT origin, const RECT& clip) {
  if (target.width < 0 || target.height < 0) return nullptr;
  if (target.data && (target.stride % 4 != 0 || int64_t(target.stride) < int64_t(target.width) * 4)) return nullptr;
  auto* dc = new DrawContext();
  dc->memory = false;
  dc->external = target;
  dc->origin = origin;
  dc->bounds = clip;
  dc->state = FreshState(false);
  return RegisterDC(dc);
}

bool DeleteDC(HDC handle) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.contexts.erase(dc);
    --registry.counts.contexts;
  }
  for (DcState& state : dc->saved) ReleaseState(state);
  ReleaseState(dc->state);
  delete dc;
  return true;
}

bool GetSurfaceInfo(HDC handle, SurfaceInfo& info) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  RasterTarget target = SourceOf(*dc);
  info.pixels = PixelView{reinterpret_cast<uint8_t*>(target.pixels), target.width, target.height, target.pitch * 4};
  info.origin = target.origin;
  info.bounds = dc->memory ? RECT{0, 0, target.width, target.height} : dc->bounds;
  return true;
}

int SaveDC(HDC handle) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return 0;
  dc->saved.push_back(dc->state);
  HoldState(dc->saved.back(), dc);
  return int(dc->saved.size());
}

bool RestoreDC(HDC handle, int level) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  const int depth = int(dc->saved.size());
  const int index = level > 0 ? level - 1 : depth + level;
  if (level == 0 || index < 0 || index >= depth) return false;
  // The saved state takes over its own holds; the current state's are let go.
  DcState restored = dc->saved[size_t(index)];
  for (int i = depth - 1; i > index; --i) ReleaseState(dc->saved[size_t(i)]);
  dc->saved.resize(size_t(index));
  ReleaseState(dc->state);
  dc->state = restored;
  return true;
}

int GetClipBox(HDC handle, RECT& box) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return RGN_ERROR;
  RasterTarget target = TargetOf(*dc);
  box = target.clip;
  OffsetRect(box, -target.origin.x, -target.origin.y);
  if (target.Empty()) {
    box = RECT{};
    return NULLREGION;
  }
  return SIMPLEREGION;
}

int IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return RGN_ERROR;
  RECT r{left, top, right, bottom};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{};
  // Without clipping of its own the context may draw everywhere, so the new
  // clipping is the rectangle itself; the surface's bounds apply at drawing
  // time, whatever bitmap is selected then.
  if (dc->state.clipped) r = Intersect(dc->state.clip, r);
  dc->state.clipped = true;
  dc->state.clip = r;
  return GetClipBox(handle, r);
}

int SelectClipRgn(HDC handle, HRGN region) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return RGN_ERROR;
  if (region) {
    dc->state.clipped = true;
    dc->state.clip = *region;
    if (dc->state.clip.left >= dc->state.clip.right || dc->state.clip.top >= dc->state.clip.bottom) {
      dc->state.clip = RECT{};
    }
  } else {
    dc->state.clipped = false;
    dc->state.clip = RECT{};
  }
  RECT box;
  return GetClipBox(handle, box);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL) return nullptr;
  auto* pen = new Pen();
  pen->type = OBJ_PEN;
  pen->style = style;
  pen->width = std::max(1, width);
  pen->color = color & 0xFFFFFF;
  return Register(pen);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* brush = new Brush();
  brush->type = OBJ_BRUSH;
  brush->color = color & 0xFFFFFF;
  return Register(brush);
}

HFONT CreateFontIndirectW(const LOGFONTW& description) { return MakeFont(description, false); }

bool GetFontDescription(HFONT handle, LOGFONTW& description) {
  GdiObject* object = LookupObject(handle);
  if (!object || object->type != OBJ_FONT) return false;
  description = static_cast<Font*>(object)->description;
  return true;
}

HGDIOBJ GetStockObject(int which) {
  const StockObjects& stock = Stock();
  switch (which) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case NULL_BRUSH: return stock.brushes[which];
    case WHITE_PEN: return stock.pens[0];
    case BLACK_PEN: return stock.pens[1];
    case NULL_PEN: return stock.pens[2];
    case SYSTEM_FONT: return stock.systemFont;
    case DEFAULT_GUI_FONT: return stock.guiFont;
    default: return nullptr;
  }
}

HBITMAP CreateBitmap(int width, int height, int planes, int bitsPerPixel, const void* bits) {
  if (width <= 0 || height <= 0 || planes != 1 || bitsPerPixel != 32) return nullptr;
  if (int64_t(width) * int64_t(height) > (int64_t(1) << 28)) return nullptr;
  auto* bitmap = new Bitmap();
  bitmap->type = OBJ_BITMAP;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->pixels.resize(size_t(width) * size_t(height));
  if (bits) {
    std::memcpy(bitmap->pixels.data(), bits, bitmap->pixels.size() * 4);
    for (uint32_t& p : bitmap->pixels) p &= 0xFFFFFF;
  }
  return Register(bitmap);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  return CreateBitmap(width, height, 1, 32, nullptr);
}

bool GetBitmapPixels(HBITMAP handle, PixelView& pixels) {
  GdiObject* object = LookupObject(handle);
  if (!object || object->type != OBJ_BITMAP) return false;
  auto* bitmap = static_cast<Bitmap*>(object);
  pixels = PixelView{reinterpret_cast<uint8_t*>(bitmap->pixels.data()), bitmap->width, bitmap->height,
                     bitmap->width * 4};
  return true;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
  DrawContext* dc = LookupDC(handle);
  GdiObject* o = LookupObject(object);
  if (!dc || !o) return nullptr;
  switch (o->type) {
    case OBJ_PEN: return Replace(dc, dc->state.pen, static_cast<Pen*>(o));
    case OBJ_BRUSH: return Replace(dc, dc->state.brush, static_cast<Brush*>(o));
    case OBJ_FONT: return Replace(dc, dc->state.font, static_cast<Font*>(o));
    case OBJ_BITMAP: {
      auto* bitmap = static_cast<Bitmap*>(o);
      if (!dc->memory) return nullptr;
      if (!bitmap->stock && bitmap->selectedInto && bitmap->selectedInto != dc) return nullptr;
      return Replace(dc, dc->state.bitmap, bitmap);
    }
    default: return nullptr;
  }
}

bool DeleteObject(HGDIOBJ object) {
  GdiObject* o = LookupObject(object);
  if (!o) return false;
  if (o->stock) return true;
  o->deleted = true;
  if (o->holds == 0) FreeObject(o);
  return true;
}

COLORREF SetTextColor(HDC handle, COLORREF color) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.textColor, color & 0xFFFFFF);
}

COLORREF GetTextColor(HDC handle) {
  DrawContext* dc = LookupDC(handle);
  return dc ? dc->state.textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC handle, COLORREF color) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.bkColor, color & 0xFFFFFF);
}

COLORREF GetBkColor(HDC handle) {
  DrawContext* dc = LookupDC(handle);
  return dc ? dc->state.bkColor : CLR_INVALID;
}

int SetBkMode(HDC handle, int mode) {
  DrawContext* dc = LookupDC(handle);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->state.bkMode, mode);
}

int GetBkMode(HDC handle) {
  DrawContext* dc = LookupDC(handle);
  return dc ? dc->state.bkMode : 0;
}

bool MoveToEx(HDC handle, int x, int y, POINT* previous) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  if (previous) *previous = dc->state.position;
  dc->state.position = POINT{x, y};
  return true;
}

COLORREF GetSysColor(int index) {
  // A light classic desktop scheme; the system's own windows paint their dark
  // look themselves.
  static const COLORREF kColors[] = {
      RGB(200, 200, 200),  // COLOR_SCROLLBAR
      RGB(0, 0, 0),        // COLOR_BACKGROUND
      RGB(153, 180, 209),  // COLOR_ACTIVECAPTION
      RGB(191, 205, 219),  // COLOR_INACTIVECAPTION
      RGB(240, 240, 240),  // COLOR_MENU
      RGB(255, 255, 255),  // COLOR_WINDOW
      RGB(100, 100, 100),  // COLOR_WINDOWFRAME
      RGB(0, 0, 0),        // COLOR_MENUTEXT
      RGB(0, 0, 0),        // COLOR_WINDOWTEXT
      RGB(0, 0, 0),        // COLOR_CAPTIONTEXT
      RGB(180, 180, 180),  // COLOR_ACTIVEBORDER
      RGB(244, 247, 252),  // COLOR_INACTIVEBORDER
      RGB(171, 171, 171),  // COLOR_APPWORKSPACE
      RGB(0, 120, 215),    // COLOR_HIGHLIGHT
      RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
      RGB(240, 240, 240),  // COLOR_BTNFACE
      RGB(160, 160, 160),  // COLOR_BTNSHADOW
      RGB(109, 109, 109),  // COLOR_GRAYTEXT
      RGB(0, 0, 0),        // COLOR_BTNTEXT
      RGB(0, 0, 0),        // COLOR_INACTIVECAPTIONTEXT
      RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
      RGB(105, 105, 105),  // COLOR_3DDKSHADOW
      RGB(227, 227, 227),  // COLOR_3DLIGHT
      RGB(0, 0, 0),        // COLOR_INFOTEXT
      RGB(255, 255, 225),  // COLOR_INFOBK
  };
  if (index < 0 || index >= int(sizeof(kColors) / sizeof(kColors[0]))) return 0;
  return kColors[index];
}

}  // namespace plat
