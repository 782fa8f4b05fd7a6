// What a native window system provides to the window layer, and the input it
// hands back. The SDL backend (platform/sdl) implements it for a display or
// for SDL's dummy driver; without one, a built-in headless backend keeps the
// windows in memory only.
//
// Input from any backend becomes window messages in one place, DeliverInput:
// hit-testing, capture, activation, double-clicks, leave tracking, the wheel,
// keys and drops are decided there and nowhere else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace plat {

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;

  // The native side of a top-level window: created hidden, then shown,
  // placed (client area in screen coordinates) and presented.
  virtual void CreateNative(HWND window) {}
  virtual void DestroyNative(HWND window) {}
  virtual void ShowNative(HWND window, bool show) {}
  virtual void PlaceNative(HWND window, const RECT& clientOnScreen) {}
  virtual void SetTitle(HWND window, std::u16string_view title) {}
  virtual void SetIcon(HWND window, HICON icon) {}
  virtual void SetMinimumSize(HWND window, SIZE clientSize) {}
  virtual void Raise(HWND window) {}
  virtual void Minimize(HWND window) {}
  virtual void Maximize(HWND window) {}
  virtual void Restore(HWND window) {}
  // Shows the back buffer of a top-level window (its client pixels).
  virtual void Present(HWND window, const PixelView& pixels) {}

  // The screen the windows are placed on.
  virtual RECT ScreenRect() = 0;
  // Waits up to `timeoutMs` (0: just polls) for native events and delivers
  // them; returns early when Wake is called from any thread.
  virtual void WaitEvents(uint32_t timeoutMs) = 0;
  virtual void Wake() = 0;
};

// Installs a backend (null: the built-in headless one). The caller keeps it
// alive until it is replaced.
void SetWindowBackend(WindowBackend* backend);

// One input event of a native window, in that top-level window's client
// coordinates.
struct InputEvent {
  enum Kind {
    MouseMove,
    ButtonDown,
    ButtonUp,
    Wheel,
    PointerLeft,  // the pointer left every window of the program
    KeyDown,
    KeyUp,
    Text,
    Drop,
    Close,
    Moved,
    Resized,
    Minimized,
    Maximized,
    Restored,
    FocusGained,
    Exposed,
  };
  Kind kind = MouseMove;
  HWND window;          // the top-level window
  POINT point;          // pointer events: client coordinates of `window`
  int button = 0;       // 0 left, 1 right, 2 middle
  int wheelDelta = 0;   // signed, WHEEL_DELTA per notch away from the user
  uint32_t key = 0;     // virtual key
  bool repeat = false;
  uintptr_t modifiers = 0;  // MK_SHIFT, MK_CONTROL
  bool alt = false;
  uint32_t time = 0;    // milliseconds, for double-clicks
  std::u16string text;  // typed text
  std::vector<std::u16string> paths;  // dropped paths, in the order delivered
  SIZE size;            // Resized: new client size; Moved: point is the new client origin
};

// Turns one input event into window messages (posted, as the platform does).
void DeliverInput(const InputEvent& event);

}  // namespace plat
