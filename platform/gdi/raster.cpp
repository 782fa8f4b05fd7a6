// Fills, lines, single pixels and block transfer.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/internal/objects.h"

namespace plat {

void FillDeviceRect(const RasterTarget& target, const RECT& r, uint32_t pixel) {
  const RECT c = Intersect(r, target.clip);
  if (c.left >= c.right) return;
  const size_t count = size_t(c.right - c.left);
  uint32_t* row = target.pixels + ptrdiff_t(c.top) * target.pitch + c.left;
  for (int32_t y = c.top; y < c.bottom; ++y, row += target.pitch) std::fill_n(row, count, pixel);
}

bool FillRect(HDC handle, const RECT& rect, HBRUSH brushHandle) {
  DrawContext* dc = LookupDC(handle);
  if (!dc || GetObjectType(brushHandle) != OBJ_BRUSH) return false;
  const auto* brush = static_cast<const Brush*>(brushHandle);
  if (brush->hollow) return true;
  RasterTarget target = TargetOf(*dc);
  if (target.Empty()) return true;
  RECT r = rect;
  OffsetRect(r, target.origin.x, target.origin.y);
  FillDeviceRect(target, r, PixelFromColor(brush->color));
  return true;
}

namespace {

// Whether the n-th pixel of a styled line is ink. Dots are one pixel on and
// one off; dashes six on and two off.
bool StyleOn(int style, int n) {
  switch (style) {
    case PS_DOT: return (n & 1) == 0;
    case PS_DASH: return n % 8 < 6;
    default: return true;
  }
}

void PlotSquare(const RasterTarget& target, int32_t x, int32_t y, int32_t width, uint32_t pixel) {
  if (width <= 1) {
    if (x >= target.clip.left && x < target.clip.right && y >= target.clip.top && y < target.clip.bottom) {
      target.pixels[ptrdiff_t(y) * target.pitch + x] = pixel;
    }
    return;
  }
  const int32_t half = width / 2;
  FillDeviceRect(target, RECT{x - half, y - half, x - half + width, y - half + width}, pixel);
}

}  // namespace

bool LineTo(HDC handle, int x, int y) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  const POINT from = dc->state.position;
  dc->state.position = POINT{x, y};
  const Pen* pen = dc->state.pen;
  if (!pen || pen->style == PS_NULL) return true;
  RasterTarget target = TargetOf(*dc);
  if (target.Empty()) return true;

  int32_t x0 = from.x + target.origin.x, y0 = from.y + target.origin.y;
  const int32_t x1 = x + target.origin.x, y1 = y + target.origin.y;
  const uint32_t ink = PixelFromColor(pen->color);
  const bool gapsFilled = dc->state.bkMode == OPAQUE;
  const uint32_t gap = PixelFromColor(dc->state.bkColor);

  // Solid 1-pixel horizontal and vertical lines are the outlines and frames
  // of every view: fill them as spans.
  if (pen->style == PS_SOLID && pen->width <= 1 && (y0 == y1 || x0 == x1)) {
    if (y0 == y1 && x0 != x1) {
      const int32_t left = x0 < x1 ? x0 : x1 + 1, right = x0 < x1 ? x1 : x0 + 1;
      FillDeviceRect(target, RECT{left, y0, right, y0 + 1}, ink);
    } else if (x0 == x1 && y0 != y1) {
      const int32_t top = y0 < y1 ? y0 : y1 + 1, bottom = y0 < y1 ? y1 : y0 + 1;
      FillDeviceRect(target, RECT{x0, top, x0 + 1, bottom}, ink);
    }
    return true;
  }

  // Bresenham from the first point towards the second, the second excluded.
  const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int32_t error = dx + dy;
  for (int n = 0; !(x0 == x1 && y0 == y1); ++n) {
    if (StyleOn(pen->style, n)) {
      PlotSquare(target, x0, y0, pen->width, ink);
    } else if (gapsFilled) {
      PlotSquare(target, x0, y0, pen->width, gap);
    }
    const int32_t twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x0 += sx;
    }
    if (twice <= dx) {
      error += dx;
      y0 += sy;
    }
  }
  return true;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  RasterTarget target = TargetOf(*dc);
  const int32_t px = x + target.origin.x, py = y + target.origin.y;
  if (target.Empty() || px < target.clip.left || px >= target.clip.right || py < target.clip.top ||
      py >= target.clip.bottom) {
    return CLR_INVALID;
  }
  target.pixels[ptrdiff_t(py) * target.pitch + px] = PixelFromColor(color);
  return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC handle, int x, int y) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  RasterTarget target = TargetOf(*dc);
  const int32_t px = x + target.origin.x, py = y + target.origin.y;
  if (target.Empty() || px < target.clip.left || px >= target.clip.right || py < target.clip.top ||
      py >= target.clip.bottom) {
    return CLR_INVALID;
  }
  return ColorFromPixel(target.pixels[ptrdiff_t(py) * target.pitch + px]);
}

bool BitBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int xSrc, int ySrc, uint32_t rop) {
  DrawContext* dst = LookupDC(dstHandle);
  DrawContext* src = LookupDC(srcHandle);
  if (!dst || !src || rop != SRCCOPY) return false;
  if (width <= 0 || height <= 0) return true;
  RasterTarget to = TargetOf(*dst);
  RasterTarget from = SourceOf(*src);
  if (to.Empty() || from.Empty()) return true;

  // Destination and source rectangles in device pixels, cut to what both
  // sides can give and take.
  int32_t dl = x + to.origin.x, dt = y + to.origin.y;
  int32_t sl = xSrc + from.origin.x, st = ySrc + from.origin.y;
  int32_t w = width, h = height;
  auto cut = [&](int32_t& a, int32_t& b, int32_t& size, int32_t lowA, int32_t highA) {
    if (a < lowA) {
      const int32_t d = lowA - a;
      a += d;
      b += d;
      size -= d;
    }
    if (a + size > highA) size = highA - a;
  };
  cut(dl, sl, w, to.clip.left, to.clip.right);
  cut(sl, dl, w, from.clip.left, from.clip.right);
  cut(dt, st, h, to.clip.top, to.clip.bottom);
  cut(st, dt, h, from.clip.top, from.clip.bottom);
  if (w <= 0 || h <= 0) return true;

  const size_t rowBytes = size_t(w) * 4;
  if (to.pixels == from.pixels && dt > st) {
    // Overlapping downward copy within one buffer: go bottom-up.
    for (int32_t row = h - 1; row >= 0; --row) {
      std::memmove(to.pixels + ptrdiff_t(dt + row) * to.pitch + dl, from.pixels + ptrdiff_t(st + row) * from.pitch + sl,
                   rowBytes);
    }
  } else {
    for (int32_t row = 0; row < h; ++row) {
      std::memmove(to.pixels + ptrdiff_t(dt + row) * to.pitch + dl, from.pixels + ptrdiff_t(st + row) * from.pitch + sl,
                   rowBytes);
    }
  }
  return true;
}

}  // namespace plat
