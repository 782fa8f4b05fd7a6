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
  FillDeviceRect(target, ToDevice(rect, target.origin), PixelFromColor(brush->color));
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

  const int32_t x0 = ToDevice(from.x, target.origin.x), y0 = ToDevice(from.y, target.origin.y);
  const int32_t x1 = ToDevice(x, target.origin.x), y1 = ToDevice(y, target.origin.y);
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

  // Step n = 0 .. steps-1 along the longer axis (the end point excluded); the
  // other coordinate is the exact one rounded half away from the start. Only
  // the steps whose longer-axis coordinate can touch the clip are visited, so
  // a line running far outside costs nothing.
  const bool xMajor = std::abs(int64_t(x1) - x0) >= std::abs(int64_t(y1) - y0);
  const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const int64_t dMajor = (xMajor ? x1 : y1) - major0, dMinor = (xMajor ? y1 : x1) - minor0;
  const int64_t steps = std::abs(dMajor);
  const int64_t majorSign = dMajor < 0 ? -1 : 1, minorSign = dMinor < 0 ? -1 : 1;
  const int64_t reach = pen->width / 2 + 1;
  const int64_t clipLow = (xMajor ? target.clip.left : target.clip.top) - reach;
  const int64_t clipHigh = (xMajor ? target.clip.right : target.clip.bottom) + reach;
  int64_t first = majorSign > 0 ? clipLow - major0 : major0 - clipHigh;
  int64_t last = majorSign > 0 ? clipHigh - major0 : major0 - clipLow;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, steps - 1);
  for (int64_t n = first; n <= last; ++n) {
    const int64_t major = major0 + majorSign * n;
    const int64_t minor = minor0 + minorSign * ((2 * n * std::abs(dMinor) + steps) / (2 * steps));
    const int32_t px = int32_t(xMajor ? major : minor), py = int32_t(xMajor ? minor : major);
    if (StyleOn(pen->style, int(n & 0xFFFF))) {
      PlotSquare(target, px, py, pen->width, ink);
    } else if (gapsFilled) {
      PlotSquare(target, px, py, pen->width, gap);
    }
  }
  return true;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  RasterTarget target = TargetOf(*dc);
  const int32_t px = ToDevice(x, target.origin.x), py = ToDevice(y, target.origin.y);
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
  const int32_t px = ToDevice(x, target.origin.x), py = ToDevice(y, target.origin.y);
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
  int32_t dl = ToDevice(x, to.origin.x), dt = ToDevice(y, to.origin.y);
  int32_t sl = ToDevice(xSrc, from.origin.x), st = ToDevice(ySrc, from.origin.y);
  int32_t w = std::min(width, kCoordinateLimit), h = std::min(height, kCoordinateLimit);
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
