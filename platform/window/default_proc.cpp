// The default handling of window messages.
#include <algorithm>

#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/window.h"

namespace plat {

using namespace internal;

namespace {

// Opens the system menu for keys that ask for it, unless the window is a
// popup of this layer itself.
void OpenMenuFor(HWND window) {
  HWND root = GetAncestorRoot(window);
  Window* w = Find(root);
  if (w == nullptr || (w->exStyle & WS_EX_TOOLWINDOW)) return;
  OpenSystemMenu(root);
}

}  // namespace

intptr_t DefWindowProcW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_SETTEXT: {
      const auto* text = reinterpret_cast<const char16_t*>(lParam);
      w->text = text != nullptr ? std::u16string(text) : std::u16string();
      if (IsTopLevel(*w)) Backend().SetTitle(window, w->text);
      return 1;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<char16_t*>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      size_t n = std::min<size_t>(w->text.size(), wParam - 1);
      std::copy_n(w->text.data(), n, buffer);
      buffer[n] = 0;
      return static_cast<intptr_t>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<intptr_t>(w->text.size());
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_ERASEBKGND: {
      HBRUSH brush = w->windowClass->background;
      if (brush == nullptr) return 0;
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), client, brush);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      // The control that asks may answer for itself first (reflection).
      HWND control{static_cast<uint32_t>(lParam)};
      if (control != window && IsChild(window, control)) {
        if (intptr_t own = SendMessageW(control, OCM__BASE + message, wParam, lParam)) return own;
      }
      const bool edit = message == WM_CTLCOLOREDIT;
      SetTextColor(dc, GetSysColor(message == WM_CTLCOLORBTN ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(edit ? COLOR_WINDOW : COLOR_BTNFACE));
      return reinterpret_cast<intptr_t>(SysColorBrush(edit ? COLOR_WINDOW : COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      // Owner drawing is reflected to the control itself, so a control that
      // took over a window can paint it.
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item != nullptr && IsWindow(item->hwndItem) && item->hwndItem != window) {
        return SendMessageW(item->hwndItem, OCM_DRAWITEM, wParam, lParam);
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      // A wheel turn nobody used goes up to the parent.
      if (!IsTopLevel(*w) && IsWindow(w->parent)) return SendMessageW(w->parent, WM_MOUSEWHEEL, wParam, lParam);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          SendMessageW(window, WM_CLOSE, 0, 0);
          return 0;
        case SC_MINIMIZE:
          ShowWindow(window, SW_MINIMIZE);
          return 0;
        case SC_MAXIMIZE:
          ShowWindow(window, SW_MAXIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(window, SW_RESTORE);
          return 0;
        case SC_KEYMENU:
          OpenMenuFor(window);
          return 0;
        default:
          return 0;
      }
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) {
        PostMessageW(GetAncestorRoot(window), WM_SYSCOMMAND, SC_CLOSE, 0);
      } else if (wParam == VK_SPACE) {
        OpenMenuFor(window);
      }
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_F1) OpenMenuFor(window);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(static_cast<uintptr_t>(lParam)) != 0) InvalidateRect(window, nullptr, true);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<intptr_t>(w->font);
    case WM_SETICON: {
      HICON icon = reinterpret_cast<HICON>(lParam);
      HICON old = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
      if (wParam == ICON_BIG) {
        w->bigIcon = icon;
      } else {
        w->smallIcon = icon;
      }
      if (IsTopLevel(*w)) Backend().SetIcon(window, w->bigIcon != nullptr ? w->bigIcon : w->smallIcon);
      return reinterpret_cast<intptr_t>(old);
    }
    case WM_GETICON:
      return reinterpret_cast<intptr_t>(wParam == ICON_BIG ? w->bigIcon : w->smallIcon);
    case WM_CANCELMODE:
      if (S().capture && (S().capture == window || IsChild(window, S().capture))) ReleaseCapture();
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_QUERYDRAGICON:
    case WM_GETDLGCODE:
    default:
      return 0;
  }
}

}  // namespace plat
