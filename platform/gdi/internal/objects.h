// The objects behind the drawing handles, shared by the files of this folder.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/text/fonts.h"

namespace plat {

struct GdiObject {
  ObjectType type = OBJ_NONE;
  bool stock = false;
  bool deleted = false;  // DeleteObject was called; freed once no context holds it
  int holds = 0;         // selections in contexts and their saved states
  virtual ~GdiObject() = default;
};

struct Pen : GdiObject {
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

struct Brush : GdiObject {
  bool hollow = false;  // the null brush
  COLORREF color = 0;
};

struct Font : GdiObject {
  LOGFONTW description;
  const text::FontFace* face = nullptr;
};

struct Bitmap : GdiObject {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
  DrawContext* selectedInto = nullptr;
};

// What SaveDC keeps and RestoreDC brings back.
struct DcState {
  Pen* pen = nullptr;
  Brush* brush = nullptr;
  Font* font = nullptr;
  Bitmap* bitmap = nullptr;  // memory contexts only
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  bool clipped = false;
  RECT clip;  // logical, valid when clipped
  POINT position;
};

struct DrawContext {
  bool memory = true;
  PixelView external;  // surface contexts: the caller's pixels
  POINT origin;        // surface contexts: buffer pixel of logical (0, 0)
  RECT bounds;         // surface contexts: fixed clip, logical
  DcState state;
  std::vector<DcState> saved;
};

// Where and within what a context draws: `pixels` at device (0, 0), `clip` in
// device pixels (already inside the buffer), `origin` added to logical points.
struct RasterTarget {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;  // in pixels
  POINT origin;
  RECT clip;  // empty when nothing can be drawn
  bool Empty() const { return clip.left >= clip.right || clip.top >= clip.bottom; }
};

// Validates a context handle (nullptr when invalid).
DrawContext* LookupDC(HDC dc);
// The drawing target of a valid context, with its clipping applied.
RasterTarget TargetOf(const DrawContext& dc);
// The pixels of a valid context and its fixed bounds in device pixels, without
// the context's own clipping (the readable area of a blit source).
RasterTarget SourceOf(const DrawContext& dc);

// Packed-pixel helpers.
inline uint32_t BlendPixel(uint32_t dst, uint32_t src, uint32_t alpha) {
  const uint32_t inverse = 255 - alpha;
  uint32_t rb = (src & 0xFF00FF) * alpha + (dst & 0xFF00FF) * inverse + 0x800080;
  rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
  uint32_t g = ((src >> 8) & 0xFF) * alpha + ((dst >> 8) & 0xFF) * inverse + 0x80;
  g = ((g + (g >> 8)) >> 8) & 0xFF;
  return rb | (g << 8);
}

// Fills the device rectangle (already clipped) with a pixel value.
void FillDeviceRect(const RasterTarget& target, const RECT& r, uint32_t pixel);

// Device coordinates are held within +-2^29: far beyond any buffer, and small
// enough that a coordinate plus an origin plus a text's advances never
// overflow, whatever the caller passes.
constexpr int32_t kCoordinateLimit = 1 << 29;
inline int32_t ClampCoordinate(int64_t v) {
  return int32_t(v < -kCoordinateLimit ? -kCoordinateLimit : v > kCoordinateLimit ? kCoordinateLimit : v);
}
inline int32_t ToDevice(int32_t v, int32_t origin) { return ClampCoordinate(int64_t(v) + origin); }
inline RECT ToDevice(const RECT& r, POINT origin) {
  return RECT{ToDevice(r.left, origin.x), ToDevice(r.top, origin.y), ToDevice(r.right, origin.x),
              ToDevice(r.bottom, origin.y)};
}

inline RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  return r;
}

}  // namespace plat
