// Saving pixel buffers as PNG files with libpng.

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/text.h"
#include "platform/gdi/internal/objects.h"

namespace plat {
namespace {

// Encodes into an open file; false on any libpng error.
bool WritePng(FILE* file, const PixelView& pixels) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_byte> row(size_t(pixels.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(pixels.width), png_uint_32(pixels.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int32_t y = 0; y < pixels.height; ++y) {
    const uint8_t* src = pixels.data + ptrdiff_t(y) * pixels.stride;
    for (int32_t x = 0; x < pixels.width; ++x) {
      row[size_t(x) * 3 + 0] = src[x * 4 + 2];  // stored B, G, R, 0
      row[size_t(x) * 3 + 1] = src[x * 4 + 1];
      row[size_t(x) * 3 + 2] = src[x * 4 + 0];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool SavePng(std::u16string_view path, const PixelView& pixels) {
  if (!pixels.data || pixels.width <= 0 || pixels.height <= 0) return false;
  if (int64_t(pixels.stride) < int64_t(pixels.width) * 4) return false;
  const std::string target = PathToNative(path);
  if (target.empty()) return false;
  // Written beside the target under a temporary name, then renamed, so that
  // the file appears whole or not at all.
  std::string temp = target + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  fchmod(fd, 0644);
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  bool ok = WritePng(file, pixels);
  ok = (std::fflush(file) == 0) && ok;
  ok = (std::fclose(file) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool SaveBitmapPng(std::u16string_view path, HBITMAP bitmap) {
  PixelView pixels;
  return GetBitmapPixels(bitmap, pixels) && SavePng(path, pixels);
}

}  // namespace plat
