// Resources registered by number, and icons.
#include "platform/window/resources.h"

#include <deque>
#include <map>
#include <memory>

#include "platform/window/internal/window_impl.h"

namespace plat {

struct Icon {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;
};

namespace {

struct Resources {
  std::map<int, HBITMAP> bitmaps;
  std::map<int, HICON> icons;
  std::map<int, std::u16string> strings;
  std::deque<std::unique_ptr<Icon>> allIcons;  // icons live for the process
};

Resources& R() {
  static Resources* r = new Resources;
  return *r;
}

}  // namespace

void RegisterBitmapResource(int id, HBITMAP bitmap) {
  auto& bitmaps = R().bitmaps;
  auto it = bitmaps.find(id);
  if (it != bitmaps.end() && it->second != bitmap) DeleteObject(it->second);
  bitmaps[id] = bitmap;
}

void RegisterIconResource(int id, HICON icon) { R().icons[id] = icon; }
void RegisterStringResource(int id, std::u16string text) { R().strings[id] = std::move(text); }

HBITMAP LoadBitmapW(int id) {
  auto it = R().bitmaps.find(id);
  return it == R().bitmaps.end() ? nullptr : it->second;
}

HICON LoadIconW(int id) {
  auto it = R().icons.find(id);
  return it == R().icons.end() ? nullptr : it->second;
}

std::u16string LoadStringW(int id) {
  auto it = R().strings.find(id);
  return it == R().strings.end() ? std::u16string() : it->second;
}

HICON CreateIconFromPixels(int width, int height, const uint32_t* argb) {
  if (width <= 0 || height <= 0 || argb == nullptr) return nullptr;
  auto icon = std::make_unique<Icon>();
  icon->width = width;
  icon->height = height;
  icon->argb.assign(argb, argb + size_t(width) * size_t(height));
  HICON h = icon.get();
  R().allIcons.push_back(std::move(icon));
  return h;
}

SIZE GetIconSize(HICON icon) { return icon != nullptr ? SIZE{icon->width, icon->height} : SIZE{}; }

const uint32_t* GetIconPixels(HICON icon) { return icon != nullptr ? icon->argb.data() : nullptr; }

bool DrawIcon(HDC dc, int x, int y, HICON icon) {
  SurfaceInfo info;
  if (icon == nullptr || !GetSurfaceInfo(dc, info) || info.pixels.data == nullptr) return false;
  RECT clip;
  if (GetClipBox(dc, clip) == RGN_ERROR) return false;
  for (int iy = 0; iy < icon->height; ++iy) {
    int ly = y + iy;
    if (ly < clip.top || ly >= clip.bottom) continue;
    int py = info.origin.y + ly;
    if (py < 0 || py >= info.pixels.height) continue;
    auto* row = reinterpret_cast<uint32_t*>(info.pixels.data + size_t(py) * size_t(info.pixels.stride));
    for (int ix = 0; ix < icon->width; ++ix) {
      int lx = x + ix;
      if (lx < clip.left || lx >= clip.right) continue;
      int px = info.origin.x + lx;
      if (px < 0 || px >= info.pixels.width) continue;
      uint32_t src = icon->argb[size_t(iy) * size_t(icon->width) + size_t(ix)];
      uint32_t a = src >> 24;
      if (a == 0) continue;
      uint32_t dst = row[px];
      uint32_t out = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
        out |= (((s * a + d * (255 - a)) + 127) / 255) << shift;
      }
      row[px] = out;
    }
  }
  return true;
}

}  // namespace plat
