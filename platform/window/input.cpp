// Input of the native windows becomes window messages here, and only here:
// which window a pointer event belongs to (capture, transparent statics,
// disabled windows), activation by a click, double-clicks, leave tracking,
// the wheel, keys and drops.
#include <cstdlib>

#include "platform/core/drop.h"
#include "platform/window/backend.h"
#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"

namespace plat {

using namespace internal;

namespace {

struct ButtonMessages {
  uint32_t down, up, doubleClick;
  uintptr_t flag;
};

constexpr ButtonMessages kButtons[3] = {
    {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON},
    {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON},
    {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON},
};

bool WantsDoubleClicks(HWND window) {
  Window* w = Find(window);
  return w != nullptr && (w->windowClass->style & CS_DBLCLKS) != 0;
}

// A top-level window that takes no input while a modal dialog it owns runs;
// a click on it brings that dialog forward instead.
HWND EnabledPopupOf(HWND root) {
  for (HWND t : S().topLevels) {
    Window* w = Find(t);
    if (w != nullptr && w->owner == root && IsVisibleFlag(*w) && !(w->style & WS_DISABLED) &&
        !(w->exStyle & WS_EX_TOOLWINDOW)) {
      return t;
    }
  }
  return HWND{};
}

bool RootDisabled(HWND window) {
  Window* r = Find(GetAncestorRoot(window));
  return r == nullptr || (r->style & WS_DISABLED) != 0;
}

void EndLeaveTracking(HWND under) {
  State& s = S();
  if (s.tracked && s.tracked != under) {
    PostMessageW(s.tracked, WM_MOUSELEAVE, 0, 0);
    s.tracked = HWND{};
  }
}

void DeliverPointer(const InputEvent& e) {
  State& s = S();
  POINT screen = e.point;
  ClientToScreen(e.window, &screen);
  s.mouse.cursor = screen;
  s.mouse.modifiers = e.modifiers;
  s.mouse.alt = e.alt;
  const int button = (e.button >= 0 && e.button < 3) ? e.button : 0;
  const ButtonMessages& bm = kButtons[button];
  if (e.kind == InputEvent::ButtonDown) s.mouse.buttons |= bm.flag;
  if (e.kind == InputEvent::ButtonUp) s.mouse.buttons &= ~bm.flag;

  HWND under = HitTest(e.window, screen);
  EndLeaveTracking(under);

  HWND capture = GetCapture();
  HWND target = capture ? capture : under;
  if (!target) return;
  if (!capture && RootDisabled(target)) {
    if (e.kind == InputEvent::ButtonDown) {
      if (HWND popup = EnabledPopupOf(GetAncestorRoot(target))) SetActiveWindow(popup);
    }
    return;
  }
  POINT client = screen;
  ScreenToClient(target, &client);
  const uintptr_t keys = s.mouse.buttons | s.mouse.modifiers;

  uint32_t message = WM_MOUSEMOVE;
  if (e.kind == InputEvent::ButtonDown) {
    HWND root = GetAncestorRoot(target);
    Window* rw = Find(root);
    if (root != GetActiveWindow() && rw != nullptr && !(rw->exStyle & WS_EX_TOOLWINDOW)) SetActiveWindow(root);
    const State::Click& last = s.lastClick;
    const bool isDouble = WantsDoubleClicks(target) && last.window == target && last.button == button &&
                          e.time - last.time <= GetDoubleClickTime() &&
                          std::abs(screen.x - last.point.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                          std::abs(screen.y - last.point.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (isDouble) {
      message = bm.doubleClick;
      // A third press starts a new pair.
      s.lastClick = State::Click{};
    } else {
      message = bm.down;
      s.lastClick = State::Click{target, button, e.time, screen};
    }
  } else if (e.kind == InputEvent::ButtonUp) {
    message = bm.up;
  }
  PostMessageW(target, message, keys, MAKELPARAM(client.x, client.y));
}

// Keys go to the focus window, or to the active window when no window has
// the focus.
HWND KeyTarget() {
  HWND focus = GetFocus();
  if (focus) return focus;
  return GetActiveWindow();
}

void DeliverKey(const InputEvent& e) {
  State& s = S();
  s.mouse.modifiers = e.modifiers;
  s.mouse.alt = e.alt;
  const bool down = e.kind == InputEvent::KeyDown;
  if (down) {
    s.keysDown.insert(e.key);
  } else {
    s.keysDown.erase(e.key);
  }
  HWND target = KeyTarget();
  if (!target || RootDisabled(target)) return;
  const bool system = e.alt || e.key == VK_F10;
  uint32_t message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  uint32_t flags = 1;  // repeat count
  if (e.alt) flags |= 1u << 29;
  if (e.repeat || !down) flags |= 1u << 30;
  if (!down) flags |= 1u << 31;
  PostMessageW(target, message, e.key, static_cast<intptr_t>(flags));
}

// A drop goes to the window under the pointer that accepts files, or the
// nearest ancestor that does, else to the top-level window or the main
// window when they accept files.
HWND DropTarget(HWND root) {
  HWND h = HitTest(root, S().mouse.cursor);
  for (Window* w = Find(h); w != nullptr; w = IsTopLevel(*w) ? nullptr : Find(w->parent)) {
    if (w->exStyle & WS_EX_ACCEPTFILES) return w->handle;
  }
  if (Window* r = Find(root); r != nullptr && (r->exStyle & WS_EX_ACCEPTFILES)) return root;
  HWND main = GetMainWindow();
  if (Window* m = Find(main); m != nullptr && (m->exStyle & WS_EX_ACCEPTFILES)) return main;
  return HWND{};
}

void DeliverResize(const InputEvent& e) {
  Window* w = Find(e.window);
  if (w == nullptr) return;
  RECT in = NonClientInsets(w->style, w->exStyle);
  POINT o;
  o.x = w->rect.left;
  o.y = w->rect.top;
  SetWindowPos(e.window, HWND{}, o.x, o.y, e.size.cx + in.left + in.right, e.size.cy + in.top + in.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void DeliverInput(const InputEvent& e) {
  Window* root = Find(e.window);
  if (root == nullptr || !IsTopLevel(*root)) return;
  State& s = S();
  switch (e.kind) {
    case InputEvent::MouseMove:
    case InputEvent::ButtonDown:
    case InputEvent::ButtonUp:
      DeliverPointer(e);
      return;
    case InputEvent::Wheel: {
      POINT screen = e.point;
      ClientToScreen(e.window, &screen);
      s.mouse.cursor = screen;
      HWND target = KeyTarget();
      if (!target) target = HitTest(e.window, screen);
      if (!target || RootDisabled(target)) return;
      uintptr_t keys = s.mouse.buttons | e.modifiers;
      PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(uint32_t(keys), uint32_t(int16_t(e.wheelDelta))),
                   MAKELPARAM(screen.x, screen.y));
      return;
    }
    case InputEvent::PointerLeft:
      EndLeaveTracking(HWND{});
      return;
    case InputEvent::KeyDown:
    case InputEvent::KeyUp:
      DeliverKey(e);
      return;
    case InputEvent::Text: {
      HWND target = KeyTarget();
      if (!target || RootDisabled(target) || e.alt) return;
      for (char16_t c : e.text) PostMessageW(target, WM_CHAR, c, 1);
      return;
    }
    case InputEvent::Drop: {
      HWND target = DropTarget(e.window);
      if (!target || e.paths.empty()) return;
      HDROP drop = CreateDrop(e.paths);
      if (!PostMessageW(target, WM_DROPFILES, reinterpret_cast<uintptr_t>(drop), 0)) DragFinish(drop);
      return;
    }
    case InputEvent::Close:
      if (root->style & WS_DISABLED) {
        if (HWND popup = EnabledPopupOf(e.window)) SetActiveWindow(popup);
        return;
      }
      PostMessageW(e.window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    case InputEvent::Moved: {
      RECT in = NonClientInsets(root->style, root->exStyle);
      int x = e.point.x - in.left, y = e.point.y - in.top;
      if (x != root->rect.left || y != root->rect.top) {
        SetWindowPos(e.window, HWND{}, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return;
    }
    case InputEvent::Resized:
      DeliverResize(e);
      return;
    case InputEvent::Minimized:
      if (!root->minimized) {
        root->minimized = true;
        SendMessageW(e.window, WM_SIZE, SIZE_MINIMIZED, 0);
      }
      return;
    case InputEvent::Maximized:
    case InputEvent::Restored: {
      const bool wasMinimized = root->minimized;
      root->minimized = false;
      root->maximized = e.kind == InputEvent::Maximized;
      if (wasMinimized) InvalidateRect(e.window, nullptr, true);
      return;
    }
    case InputEvent::FocusGained:
      if (root->exStyle & WS_EX_TOOLWINDOW) return;
      if (root->style & WS_DISABLED) {
        if (HWND popup = EnabledPopupOf(e.window)) SetActiveWindow(popup);
        return;
      }
      SetActiveWindow(e.window);
      return;
    case InputEvent::Exposed:
      root->dirty = true;
      return;
  }
}

}  // namespace plat
