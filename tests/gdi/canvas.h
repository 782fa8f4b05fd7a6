// A memory context with a bitmap selected, for drawing tests that check pixels.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "platform/gdi/gdi.h"

namespace plat::drawtest {

class Canvas {
 public:
  Canvas(int width, int height, COLORREF background = RGB(0, 0, 0)) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    previous_ = SelectObject(dc_, bitmap_);
    Fill(background);
  }
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  int width() const { return width_; }
  int height() const { return height_; }

  void Fill(COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, RECT{0, 0, width_, height_}, brush);
    DeleteObject(brush);
  }

  // The colour at (x, y), read straight from the bitmap's pixels.
  COLORREF At(int x, int y) const {
    PixelView view;
    GetBitmapPixels(bitmap_, view);
    const auto* row = reinterpret_cast<const uint32_t*>(view.data + ptrdiff_t(y) * view.stride);
    return ColorFromPixel(row[x]);
  }

  // Number of pixels inside `r` (cut to the canvas) that are not `color`.
  int CountOther(const RECT& r, COLORREF color) const {
    int n = 0;
    for (int y = std::max(0, r.top); y < std::min(height_, r.bottom); ++y) {
      for (int x = std::max(0, r.left); x < std::min(width_, r.right); ++x) n += At(x, y) != color;
    }
    return n;
  }

  // The bounding box of every pixel that is not `color` (empty when none).
  RECT InkBox(COLORREF color) const {
    RECT box{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (At(x, y) == color) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
    }
    if (box.left >= box.right) box = RECT{};
    return box;
  }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

// A font by face name, height and weight, as the views ask for theirs.
inline HFONT MakeFont(std::u16string_view face, int height, int weight = FW_NORMAL) {
  LOGFONTW description;
  description.lfHeight = height;
  description.lfWeight = weight;
  for (size_t i = 0; i < face.size() && i < 31; ++i) description.lfFaceName[i] = face[i];
  return CreateFontIndirectW(description);
}

}  // namespace plat::drawtest
