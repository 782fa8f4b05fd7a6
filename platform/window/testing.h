// What tests (and the screenshot command) use to look at windows: pixels of
// any window read back from its top-level back buffer, PNG files of windows,
// the size of the headless screen and a clean slate between tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace plat {

// The colour (COLORREF) at a client point of a window, as last drawn into its
// top-level window's back buffer; CLR_INVALID outside the client area.
COLORREF GetWindowPixel(HWND window, int x, int y);

// The client pixels of a window (0x00RRGGBB, rows top to bottom).
struct WindowPixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
WindowPixels CopyWindowPixels(HWND window);

// Saves the client area of a window as PNG (written whole or not at all).
[[nodiscard]] bool SaveWindowPng(HWND window, std::u16string_view path);

// The screen of the built-in headless backend (default 1920 x 1080).
void SetHeadlessScreenSize(int width, int height);

// Destroys every window, drops queued messages, timers, capture, focus and
// tracking: the state of a fresh process for the next test.
void ResetWindowState();

}  // namespace plat
