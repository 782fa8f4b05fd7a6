// Points, sizes and rectangles in pixels, as the drawing and window layers and
// the views use them. A point is inside a rectangle when
// left <= x < right and top <= y < bottom.
#pragma once

#include <cstdint>

namespace plat {

struct POINT {
  int32_t x = 0;
  int32_t y = 0;
};

struct SIZE {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct RECT {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

inline bool PtInRect(const RECT& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

inline void OffsetRect(RECT& r, int32_t dx, int32_t dy) {
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
}

// Grows `r` to cover `other` as well.
inline void UnionInto(RECT& r, const RECT& other) {
  if (other.left < r.left) r.left = other.left;
  if (other.top < r.top) r.top = other.top;
  if (other.right > r.right) r.right = other.right;
  if (other.bottom > r.bottom) r.bottom = other.bottom;
}

}  // namespace plat
