// PNG files written from pixel buffers read back with libpng.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/core/text.h"
#include "platform/gdi/gdi.h"
#include "tests/gdi/canvas.h"
#include "tests/support/temp_dir.h"

namespace plat {
namespace {

struct Image {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};

Image ReadPng(const std::string& path) {
  Image image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  png.format = PNG_FORMAT_RGBA;
  image.rgba.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
    png_image_free(&png);
    return image;
  }
  image.ok = true;
  image.width = png.width;
  image.height = png.height;
  return image;
}

TEST(SavePng, WritesAnImageOfTheBuffersSizeAndColours) {
  fixture::TempDir dir;
  drawtest::Canvas canvas(37, 21, RGB(18, 20, 23));
  HBRUSH brush = CreateSolidBrush(RGB(253, 203, 119));
  FillRect(canvas.dc(), RECT{30, 15, 37, 21}, brush);
  DeleteObject(brush);
  const std::string path = dir.Join("frame.png");
  ASSERT_TRUE(SaveBitmapPng(PathFromNative(path), canvas.bitmap()));

  const Image image = ReadPng(path);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 37u);
  EXPECT_EQ(image.height, 21u);
  auto at = [&](uint32_t x, uint32_t y) {
    const uint8_t* p = &image.rgba[(size_t(y) * image.width + x) * 4];
    return RGB(p[0], p[1], p[2]);
  };
  EXPECT_EQ(at(0, 0), RGB(18, 20, 23));
  EXPECT_EQ(at(29, 14), RGB(18, 20, 23));
  EXPECT_EQ(at(30, 15), RGB(253, 203, 119));
  EXPECT_EQ(at(36, 20), RGB(253, 203, 119));
  // Nothing but the file itself is left in the folder.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(SavePng, FailsWithoutLeavingAFile) {
  fixture::TempDir dir;
  std::vector<uint32_t> pixels(4 * 4, 0);
  PixelView view{reinterpret_cast<uint8_t*>(pixels.data()), 4, 4, 16};
  EXPECT_FALSE(SavePng(PathFromNative(dir.path() + "/missing/frame.png"), view));
  EXPECT_FALSE(SavePng(PathFromNative(dir.Join("frame.png")), PixelView{nullptr, 4, 4, 16}));
  EXPECT_FALSE(SavePng(PathFromNative(dir.Join("frame.png")), PixelView{view.data, 4, 4, 8}));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace plat
