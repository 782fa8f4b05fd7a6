// The built-in controls: push buttons (plain and owner-drawn) and statics
// (text, frames and rectangles, bitmap and icon pictures, owner-drawn).
#include <memory>

#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/window.h"

namespace plat::internal {

namespace {

template <typename T>
T& StateOf(HWND window) {
  Window* w = Find(window);
  if (!w->controlState) w->controlState = std::make_shared<T>();
  return *static_cast<T*>(w->controlState.get());
}

// --- Push button ------------------------------------------------------------

struct ButtonState {
  bool pushed = false;    // drawn pressed
  bool tracking = false;  // the left button went down on it and it holds the capture
  bool spaceDown = false;
  bool focused = false;
};

uint32_t ButtonType(HWND button) { return static_cast<uint32_t>(GetWindowLongW(button, GWL_STYLE)) & BS_TYPEMASK; }

void Click(HWND button) {
  HWND parent = GetParent(button);
  const int id = GetDlgCtrlID(button);
  // The button hears of its own click first, then its parent gets the
  // command.
  SendMessageW(button, OCM_COMMAND, MAKEWPARAM(uint32_t(id), BN_CLICKED), button.id);
  if (IsWindow(parent)) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(uint32_t(id), BN_CLICKED), button.id);
}

void SetPushed(HWND button, bool pushed) {
  ButtonState& s = StateOf<ButtonState>(button);
  if (s.pushed == pushed) return;
  s.pushed = pushed;
  InvalidateRect(button, nullptr, false);
}

void PaintButton(HWND button) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(button, &ps);
  if (dc == nullptr) return;
  ButtonState& s = StateOf<ButtonState>(button);
  RECT client;
  GetClientRect(button, &client);
  const bool disabled = !IsWindowEnabled(button);
  if (ButtonType(button) == BS_OWNERDRAW) {
    DRAWITEMSTRUCT item;
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<uint32_t>(GetDlgCtrlID(button));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = (s.pushed ? ODS_SELECTED : 0u) | (disabled ? ODS_DISABLED : 0u) | (s.focused ? ODS_FOCUS : 0u);
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = client;
    SendMessageW(GetParent(button), WM_DRAWITEM, item.CtlID, reinterpret_cast<intptr_t>(&item));
    EndPaint(button, &ps);
    return;
  }
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(GetParent(button), WM_CTLCOLORBTN, reinterpret_cast<uintptr_t>(dc), button.id));
  if (brush == nullptr || GetObjectType(brush) != OBJ_BRUSH) {
    brush = SysColorBrush(COLOR_BTNFACE);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  FillRect(dc, client, brush);
  const bool isDefault = ButtonType(button) == BS_DEFPUSHBUTTON;
  FrameRectColor(dc, client, GetSysColor(COLOR_WINDOWFRAME));
  RECT inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
  if (isDefault) FrameRectColor(dc, inner, GetSysColor(COLOR_WINDOWFRAME));
  RECT text = client;
  if (s.pushed) OffsetRect(text, 1, 1);
  SetBkMode(dc, TRANSPARENT);
  if (disabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  DrawTextW(dc, GetWindowTextW(button), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (s.focused) {
    HPEN pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ old = SelectObject(dc, pen);
    RECT f{client.left + 3, client.top + 3, client.right - 3, client.bottom - 3};
    MoveToEx(dc, f.left, f.top);
    LineTo(dc, f.right - 1, f.top);
    LineTo(dc, f.right - 1, f.bottom - 1);
    LineTo(dc, f.left, f.bottom - 1);
    LineTo(dc, f.left, f.top);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  EndPaint(button, &ps);
}

intptr_t ButtonProc(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (Find(h) == nullptr) return 0;
  ButtonState& s = StateOf<ButtonState>(h);
  // Holds the state while a handler runs, even if the handler destroys the
  // button.
  std::shared_ptr<void> keep = Find(h)->controlState;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(h);
      SetCapture(h);
      if (!IsWindow(h)) return 0;
      s.tracking = true;
      SetPushed(h, true);
      return 0;
    case WM_MOUSEMOVE:
      if (s.tracking) {
        RECT client;
        GetClientRect(h, &client);
        SetPushed(h, PtInRect(client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!s.tracking) return 0;
      const bool inside = s.pushed;
      s.tracking = false;
      SetPushed(h, false);
      if (GetCapture() == h) ReleaseCapture();
      if (inside && IsWindow(h)) Click(h);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (s.tracking) {
        s.tracking = false;
        SetPushed(h, false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        s.spaceDown = true;
        SetPushed(h, true);
        return 0;
      }
      return DefWindowProcW(h, message, wParam, lParam);
    case WM_KEYUP:
      if (wParam == VK_SPACE && s.spaceDown) {
        s.spaceDown = false;
        SetPushed(h, false);
        Click(h);
        return 0;
      }
      return DefWindowProcW(h, message, wParam, lParam);
    case WM_SETFOCUS:
      s.focused = true;
      InvalidateRect(h, nullptr, false);
      return 0;
    case WM_KILLFOCUS:
      s.focused = false;
      if (s.spaceDown) {
        s.spaceDown = false;
        SetPushed(h, false);
      }
      InvalidateRect(h, nullptr, false);
      return 0;
    case WM_ENABLE:
      InvalidateRect(h, nullptr, false);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_BUTTON | (ButtonType(h) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
      uint32_t style = static_cast<uint32_t>(GetWindowLongW(h, GWL_STYLE));
      style = (style & ~BS_TYPEMASK) | (static_cast<uint32_t>(wParam) & BS_TYPEMASK);
      SetWindowLongW(h, GWL_STYLE, static_cast<int32_t>(style));
      if (lParam != 0) InvalidateRect(h, nullptr, true);
      return 0;
    }
    case BM_GETSTATE:
      return (s.pushed ? BST_PUSHED : 0u) | (s.focused ? BST_FOCUS : 0u);
    case BM_SETSTATE:
      SetPushed(h, wParam != 0);
      return 0;
    case BM_CLICK:
      Click(h);
      return 0;
    case WM_SETTEXT: {
      intptr_t r = DefWindowProcW(h, message, wParam, lParam);
      InvalidateRect(h, nullptr, true);
      return r;
    }
    case WM_PAINT:
      PaintButton(h);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcW(h, message, wParam, lParam);
  }
}

// --- Static -----------------------------------------------------------------

struct StaticState {
  HBITMAP bitmap = nullptr;
  HICON icon = nullptr;
};

struct FrameKind {
  uint32_t type;
  int color;
  bool filled;
};

constexpr FrameKind kFrames[] = {
    {SS_BLACKRECT, COLOR_WINDOWFRAME, true}, {SS_GRAYRECT, COLOR_BTNSHADOW, true},
    {SS_WHITERECT, COLOR_WINDOW, true},      {SS_BLACKFRAME, COLOR_WINDOWFRAME, false},
    {SS_GRAYFRAME, COLOR_BTNSHADOW, false},  {SS_WHITEFRAME, COLOR_WINDOW, false},
};

void PaintStatic(HWND h) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h, &ps);
  if (dc == nullptr) return;
  StaticState& s = StateOf<StaticState>(h);
  const uint32_t style = static_cast<uint32_t>(GetWindowLongW(h, GWL_STYLE));
  const uint32_t type = style & SS_TYPEMASK;
  RECT client;
  GetClientRect(h, &client);
  HWND parent = GetParent(h);

  for (const FrameKind& f : kFrames) {
    if (f.type != type) continue;
    if (f.filled) {
      FillRect(dc, client, SysColorBrush(f.color));
    } else {
      FrameRectColor(dc, client, GetSysColor(f.color));
    }
    EndPaint(h, &ps);
    return;
  }

  switch (type) {
    case SS_OWNERDRAW: {
      DRAWITEMSTRUCT item;
      item.CtlType = ODT_STATIC;
      item.CtlID = static_cast<uint32_t>(GetDlgCtrlID(h));
      item.itemAction = ODA_DRAWENTIRE;
      item.itemState = IsWindowEnabled(h) ? 0u : uint32_t(ODS_DISABLED);
      item.hwndItem = h;
      item.hDC = dc;
      item.rcItem = client;
      SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<intptr_t>(&item));
      break;
    }
    case SS_BITMAP: {
      if (s.bitmap != nullptr && GetObjectType(s.bitmap) == OBJ_BITMAP) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, s.bitmap);
        PixelView px;
        GetBitmapPixels(s.bitmap, px);
        BitBlt(dc, 0, 0, px.width, px.height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
      }
      break;
    }
    case SS_ICON: {
      auto brush = reinterpret_cast<HBRUSH>(
          SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<uintptr_t>(dc), h.id));
      if (brush != nullptr && GetObjectType(brush) == OBJ_BRUSH) FillRect(dc, client, brush);
      if (s.icon != nullptr) DrawIcon(dc, 0, 0, s.icon);
      break;
    }
    default: {
      // Text: the parent chooses the colours and the background brush.
      auto brush = reinterpret_cast<HBRUSH>(
          SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<uintptr_t>(dc), h.id));
      if (brush == nullptr || GetObjectType(brush) != OBJ_BRUSH) {
        brush = SysColorBrush(COLOR_BTNFACE);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      }
      FillRect(dc, client, brush);
      if (!IsWindowEnabled(h)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
      uint32_t format = DT_WORDBREAK | DT_EXPANDTABS;
      if (type == SS_CENTER) format |= DT_CENTER;
      if (type == SS_RIGHT) format |= DT_RIGHT;
      if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) format = DT_SINGLELINE | DT_EXPANDTABS;
      RECT text = client;
      DrawTextW(dc, GetWindowTextW(h), text, format);
      break;
    }
  }
  EndPaint(h, &ps);
}

intptr_t StaticProc(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (Find(h) == nullptr) return 0;
  switch (message) {
    case WM_PAINT:
      PaintStatic(h);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return (GetWindowLongW(h, GWL_STYLE) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_SETTEXT: {
      intptr_t r = DefWindowProcW(h, message, wParam, lParam);
      InvalidateRect(h, nullptr, true);
      return r;
    }
    case WM_ENABLE:
      InvalidateRect(h, nullptr, true);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case STM_SETIMAGE: {
      StaticState& s = StateOf<StaticState>(h);
      intptr_t old = 0;
      if (wParam == IMAGE_BITMAP) {
        old = reinterpret_cast<intptr_t>(s.bitmap);
        s.bitmap = reinterpret_cast<HBITMAP>(lParam);
        // A picture control takes the size of its bitmap.
        PixelView px;
        if (s.bitmap != nullptr && GetBitmapPixels(s.bitmap, px)) {
          SetWindowPos(h, HWND{}, 0, 0, px.width, px.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      } else if (wParam == IMAGE_ICON) {
        old = reinterpret_cast<intptr_t>(s.icon);
        s.icon = reinterpret_cast<HICON>(lParam);
        if (s.icon != nullptr) {
          SIZE size = GetIconSize(s.icon);
          SetWindowPos(h, HWND{}, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      }
      InvalidateRect(h, nullptr, true);
      return old;
    }
    case STM_GETIMAGE: {
      StaticState& s = StateOf<StaticState>(h);
      return wParam == IMAGE_BITMAP ? reinterpret_cast<intptr_t>(s.bitmap) : reinterpret_cast<intptr_t>(s.icon);
    }
    default:
      return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace

void RegisterButtonClass() {
  WNDCLASSW c;
  c.name = std::u16string(WC_BUTTON);
  c.proc = ButtonProc;
  c.style = CS_DBLCLKS;
  RegisterClassW(c);
}

void RegisterStaticClass() {
  WNDCLASSW c;
  c.name = std::u16string(WC_STATIC);
  c.proc = StaticProc;
  RegisterClassW(c);
}

void EnsureBuiltInClasses() {
  RegisterButtonClass();
  RegisterStaticClass();
  RegisterTooltipClass();
  RegisterMenuClass();
  WNDCLASSW dialog;
  dialog.name = std::u16string(WC_DIALOG);
  dialog.proc = DefDlgProcW;
  dialog.style = CS_DBLCLKS;
  RegisterClassW(dialog);
}

}  // namespace plat::internal
