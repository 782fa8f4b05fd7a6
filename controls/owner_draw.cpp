#include "controls/owner_draw.h"

#include <cstdlib>
#include <cstring>

#include "platform/window/window.h"

void PixelBuffer::Resize(int32_t w, int32_t h) {
  if (w == width && h == height && data != nullptr) return;
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  int64_t newStride = ((static_cast<int64_t>(w) * 32 + 31) / 32) * 4;
  int64_t needed = newStride * h;
  if (needed > INT32_MAX) {
    // No frame of that size can be described; draw nothing rather than wrap.
    Release();
    return;
  }
  if (needed > capacity) {
    std::free(data);
    data = nullptr;
    width = height = stride = 0;
    data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(needed)));
    if (data == nullptr) {
      capacity = size = 0;
      return;
    }
    capacity = static_cast<int32_t>(needed);
  }
  size = static_cast<int32_t>(needed);
  stride = static_cast<int32_t>(newStride);
  width = w;
  height = h;
}

void PixelBuffer::Release() {
  std::free(data);
  data = nullptr;
  width = height = stride = capacity = size = 0;
}

vxOnwerDraw::~vxOnwerDraw() {
  if (memoryContext != nullptr) plat::DeleteDC(memoryContext);
  memoryContext = nullptr;
  frameBuffer.Release();
}

void vxOnwerDraw::SetWindows(plat::HWND target, plat::HWND owner) {
  targetWindow = target;
  ownerWindow = owner;
}

void vxOnwerDraw::Redraw() {
  if (!plat::IsWindow(targetWindow)) return;
  plat::RECT client;
  if (!plat::GetClientRect(targetWindow, &client)) return;
  plat::HDC target = plat::GetDC(targetWindow);
  if (target == nullptr) return;
  PaintFrame(target, client.right - client.left, client.bottom - client.top);
  plat::ReleaseDC(targetWindow, target);
}

void vxOnwerDraw::PaintFrame(plat::HDC target, int32_t w, int32_t h) {
  frameBuffer.Resize(w, h);
  if (memoryContext == nullptr) {
    memoryContext = plat::CreateCompatibleDC(target);
    if (memoryContext == nullptr) return;
    plat::SetBkMode(memoryContext, plat::TRANSPARENT);
  }
  ClearBackground();
  // An empty frame (no bytes) has nothing to draw or copy.
  if (frameBuffer.data == nullptr || frameBuffer.width <= 0 || frameBuffer.height <= 0) return;
  plat::HBITMAP frame = plat::CreateBitmap(frameBuffer.width, frameBuffer.height, 1, 32, frameBuffer.data);
  if (frame == nullptr) return;
  plat::HGDIOBJ previous = plat::SelectObject(memoryContext, frame);
  DrawContent();
  plat::BitBlt(target, 0, 0, frameBuffer.width, frameBuffer.height, memoryContext, 0, 0, plat::SRCCOPY);
  plat::SelectObject(memoryContext, previous);
  plat::DeleteObject(frame);
}

int vxOnwerDraw::LeftDown(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::MouseMove(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::LeftUp(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::LeftDoubleClick(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::RightDoubleClick(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::RightDown(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::RightUp(uintptr_t, plat::POINT) { return 0; }
int vxOnwerDraw::Wheel(uintptr_t, int16_t, plat::POINT) { return 0; }

void vxOnwerDraw::ClearBackground() {
  if (frameBuffer.data != nullptr) std::memset(frameBuffer.data, 0, static_cast<size_t>(frameBuffer.size));
}

void vxOnwerDraw::DrawContent() {}
