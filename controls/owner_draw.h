// vxOnwerDraw: the base of surfaces that paint a window entirely by
// themselves. It keeps an off-screen frame (a pixel buffer and a memory
// context), repaints the whole target window in one block copy, and declares
// the mouse operations through which the owning window forwards its input.
// The surface is not a window: it holds two window handles and is driven by
// the window that owns it, on the user-interface thread.
#pragma once

#include <cstdint>

#include "platform/core/geometry.h"
#include "platform/core/messages.h"
#include "platform/gdi/gdi.h"

// The frame's pixels: rows top to bottom, each pixel 0x00RRGGBB stored as the
// bytes B, G, R, 0, the layout of a 32-bit bitmap, so that the bytes can be
// handed to CreateBitmap as they stand. The allocation never shrinks.
struct PixelBuffer {
  uint8_t* data = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;    // bytes per row: 4 x width
  int32_t capacity = 0;  // bytes allocated
  int32_t size = 0;      // bytes in use: stride x height

  PixelBuffer() = default;
  ~PixelBuffer() { Release(); }
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;

  // Makes the buffer describe w x h pixels, reallocating only when more bytes
  // are needed than are allocated (the old contents are then lost). A size
  // whose byte count does not fit 32 bits gives an empty buffer.
  void Resize(int32_t w, int32_t h);
  // Frees the bytes; every number becomes 0.
  void Release();
};

class vxOnwerDraw {
 public:
  plat::HWND targetWindow;  // the window painted into; null until SetWindows
  plat::HWND ownerWindow;   // receives the subclass's notifications
  plat::HDC memoryContext = nullptr;  // made by the first Redraw, kept
  PixelBuffer frameBuffer;            // the background every frame starts from

  vxOnwerDraw() = default;
  vxOnwerDraw(const vxOnwerDraw&) = delete;
  vxOnwerDraw& operator=(const vxOnwerDraw&) = delete;

  // The virtual operations, in their slot order.
  virtual ~vxOnwerDraw();
  virtual void SetWindows(plat::HWND target, plat::HWND owner);
  // Paints the whole target window now: a frame from the buffer's
  // background, DrawContent on the memory context, one block copy. Does
  // nothing while the target is not a window.
  virtual void Redraw();
  virtual int LeftDown(uintptr_t flags, plat::POINT point);
  virtual int MouseMove(uintptr_t flags, plat::POINT point);  // non-zero: repaint wanted
  virtual int LeftUp(uintptr_t flags, plat::POINT point);
  virtual int LeftDoubleClick(uintptr_t flags, plat::POINT point);
  virtual int RightDoubleClick(uintptr_t flags, plat::POINT point);
  virtual int RightDown(uintptr_t flags, plat::POINT point);
  virtual int RightUp(uintptr_t flags, plat::POINT point);
  virtual int Wheel(uintptr_t flags, int16_t delta, plat::POINT point);  // non-zero: handled
  // Fills the buffer with the frame's background (black here).
  virtual void ClearBackground();
  // Draws the frame onto the memory context (nothing here).
  virtual void DrawContent();

 protected:
  // One frame of w x h pixels copied to (0, 0) of `target`: the steps of
  // Redraw after the target's context was obtained. Also used to render the
  // surface into a context of the caller's own (an off-screen picture).
  void PaintFrame(plat::HDC target, int32_t w, int32_t h);
};
