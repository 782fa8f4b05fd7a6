// Internals of the window layer: the record behind each window handle, the
// layer's shared state, and the helpers the parts of the layer share.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/dialog.h"
#include "platform/window/window.h"

namespace plat::internal {

struct WindowClass {
  std::u16string name;
  WindowProc proc;
  uint32_t style = 0;
  HBRUSH background = nullptr;
  uint32_t exStyle = 0;  // extended styles every window of the class has
};

// What a dialog window keeps beside its record.
struct DialogData {
  DialogBaseUnits units;
  HFONT font = nullptr;  // owned; deleted with the window
  bool ended = false;
  intptr_t result = 0;
  int defId = IDOK;
  HWND lastFocus;
};

struct Window {
  HWND handle;
  std::shared_ptr<WindowClass> windowClass;
  WindowProc proc;
  HWND parent;  // children only
  HWND owner;   // top-level windows only
  std::vector<HWND> children;  // z-order, topmost (first created) first
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int id = 0;
  intptr_t userData = 0;
  std::u16string text;
  RECT rect;  // window rectangle: screen for top-level windows, parent client otherwise
  HFONT font = nullptr;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  PreTranslateFilter filter;

  // Painting.
  bool invalid = false;
  bool erase = false;
  bool paintPosted = false;
  RECT update;

  // Top-level windows: the back buffer the window and its children draw
  // into, and the state of the native window.
  std::vector<uint32_t> pixels;
  int32_t bufferWidth = 0;
  int32_t bufferHeight = 0;
  bool dirty = false;
  bool minimized = false;
  bool maximized = false;
  RECT restoreRect;
  HWND lastFocus;
  HMENU systemMenu;

  std::unique_ptr<DialogData> dialog;
  // State of a built-in control (button, static, tooltip, menu popup).
  std::shared_ptr<void> controlState;
};

// The record of a live window, or null.
Window* Find(HWND window);

bool IsTopLevel(const Window& w);
bool IsVisibleFlag(const Window& w);
// The insets of the non-client area of a top-level window.
RECT NonClientInsets(uint32_t style, uint32_t exStyle);
// Client rectangle size of a window.
SIZE ClientSize(const Window& w);
// The screen position of a window's client origin.
POINT ClientOrigin(HWND window);

// Creates a window whose procedure is `proc` instead of its class's.
HWND CreateWindowWithProc(uint32_t exStyle, std::u16string_view className, std::u16string_view text,
                          uint32_t style, int x, int y, int width, int height, HWND parent, int id,
                          void* createParam, WindowProc proc);

// The deepest window under a screen point inside the top-level window `root`
// (null outside it), skipping hidden windows and transparent statics; a
// disabled child answers with its parent.
HWND HitTest(HWND root, POINT screenPoint);

// The active backend (the built-in headless one when none was set).
WindowBackend& Backend();

// Built-in classes register themselves once.
void EnsureBuiltInClasses();
void RegisterButtonClass();
void RegisterStaticClass();
void RegisterTooltipClass();
void RegisterMenuClass();

// A brush of a system colour, kept for the process.
HBRUSH SysColorBrush(int index);

// Draws a 1-pixel rectangle outline with `color` inside `r`.
void FrameRectColor(HDC dc, const RECT& r, COLORREF color);

// The mouse state the input translation keeps.
struct MouseState {
  POINT cursor;
  uintptr_t buttons = 0;    // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON
  uintptr_t modifiers = 0;  // MK_SHIFT, MK_CONTROL
  bool alt = false;
};
MouseState& Mouse();

// The window a leave notification is pending for.
HWND& TrackedWindow();

// Whether a window is a dialog made by this layer.
DialogData* DialogOf(HWND window);

}  // namespace plat::internal
