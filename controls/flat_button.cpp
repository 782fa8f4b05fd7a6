#include "controls/flat_button.h"

#include "platform/window/dialog.h"

using namespace plat;

namespace {

// The button-type bits of a button's style.
constexpr uint32_t kTypeBits = 0x1F;
constexpr uint32_t kDefaultPushType = 0x01;
constexpr uint32_t kOwnerDrawnType = 0x0B;
constexpr int kTooltipMaxWidth = 400;
constexpr uintptr_t kToolId = 1;
// The reflected control-colour query of a button.
constexpr uint32_t OCM_CTLCOLORBTN = OCM__BASE + WM_CTLCOLORBTN;

uint32_t WithOwnerDrawnType(uint32_t style) { return (style & ~kTypeBits) | kOwnerDrawnType; }

}  // namespace

CFlatButton::~CFlatButton() { Detach(); }

bool CFlatButton::SubclassDlgItem(int id, HWND dialog) { return Attach(GetDlgItem(dialog, id)); }

bool CFlatButton::Attach(HWND button) {
  if (!IsWindow(button) || window_) return false;
  window_ = button;
  // A default push button keeps its role for the dialog keyboard while it
  // draws itself.
  uint32_t style = static_cast<uint32_t>(GetWindowLongW(button, GWL_STYLE));
  if ((style & kTypeBits) == kDefaultPushType) isDefault = true;
  SetWindowLongW(button, GWL_STYLE, static_cast<int32_t>(WithOwnerDrawnType(style)));
  SetWindowPos(button, HWND{}, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  previous_ = SubclassWindow(button, [this](HWND h, uint32_t m, uintptr_t w, intptr_t l) {
    return Procedure(h, m, w, l);
  });
  SetPreTranslateFilter(button, [this](MSG& msg) { return PreTranslate(msg); });
  InvalidateRect(button, nullptr, true);
  return true;
}

void CFlatButton::Detach() {
  ReleaseBackground();
  if (IsWindow(tooltip_)) DestroyWindow(tooltip_);
  tooltip_ = HWND{};
  toolAdded_ = false;
  if (IsWindow(window_)) {
    SetPreTranslateFilter(window_, {});
    if (previous_) SubclassWindow(window_, previous_);
  }
  window_ = HWND{};
  previous_ = {};
}

// --- Messages ---------------------------------------------------------------

intptr_t CFlatButton::Procedure(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // Keeps the procedure to pass on alive even when a handler detaches.
  WindowProc previous = previous_;
  switch (message) {
    case OCM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item != nullptr) DrawItem(*item);
      return 1;
    }
    case WM_MOUSEMOVE: {
      intptr_t r = CallWindowProcW(previous, h, message, wParam, lParam);
      if (IsWindow(h)) TrackHover(wParam, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return r;
    }
    case WM_MOUSELEAVE:
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
      intptr_t r = CallWindowProcW(previous, h, message, wParam, lParam);
      EndHover();
      return r;
    }
    case WM_ENABLE: {
      intptr_t r = CallWindowProcW(previous, h, message, wParam, lParam);
      if (wParam == 0 && IsWindow(h)) {
        // A disabled button cannot keep the focus: it moves on to the next
        // tab stop, or to the dialog itself.
        HWND parent = GetParent(h);
        HWND next = GetNextDlgTabItem(parent, h, false);
        SetFocus(next ? next : parent);
        EndHover();
      }
      return r;
    }
    case WM_GETDLGCODE: {
      intptr_t code = CallWindowProcW(previous, h, message, wParam, lParam);
      code &= ~(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
      return code | (isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE: {
      const uint32_t type = static_cast<uint32_t>(wParam) & kTypeBits;
      if (type == 0 || type == kDefaultPushType) isDefault = type == kDefaultPushType;
      return CallWindowProcW(previous, h, message, WithOwnerDrawnType(static_cast<uint32_t>(wParam)), lParam);
    }
    case WM_SYSCOLORCHANGE: {
      intptr_t r = CallWindowProcW(previous, h, message, wParam, lParam);
      ReleaseBackground();  // taken again at the next paint
      const COLORREF text = GetSysColor(COLOR_BTNTEXT);
      hoverPressedTextColor = text;
      focusedTextColor = text;
      normalTextColor = text;
      InvalidateRect(h, nullptr, true);
      return r;
    }
    case OCM_COMMAND:
      // The button's own click: it takes the focus; the dialog still gets
      // its command.
      if (HIWORD(wParam) == BN_CLICKED) SetFocus(h);
      return CallWindowProcW(previous, h, message, wParam, lParam);
    case OCM_CTLCOLORBTN:
      // The painting covers the whole button; no brush is wanted.
      return reinterpret_cast<intptr_t>(GetStockObject(NULL_BRUSH));
    case WM_NCDESTROY: {
      ReleaseBackground();
      if (IsWindow(tooltip_)) DestroyWindow(tooltip_);
      tooltip_ = HWND{};
      toolAdded_ = false;
      window_ = HWND{};
      previous_ = {};
      return CallWindowProcW(previous, h, message, wParam, lParam);
    }
    default:
      return CallWindowProcW(previous, h, message, wParam, lParam);
  }
}

bool CFlatButton::PreTranslate(MSG& msg) {
  EnsureTooltip();
  if (IsWindow(tooltip_)) SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<intptr_t>(&msg));
  // A quick second click counts as a click of its own.
  if (msg.message == WM_LBUTTONDBLCLK) msg.message = WM_LBUTTONDOWN;
  return false;
}

// --- Hover ------------------------------------------------------------------

void CFlatButton::TrackHover(uintptr_t keys, POINT client) {
  POINT screen = client;
  ClientToScreen(window_, &screen);
  HWND under = WindowFromPoint(screen);
  // A drag that enters the button does not light it up.
  if ((keys & MK_LBUTTON) != 0 && !hover) return;
  if (under == window_) {
    if (!hover) {
      hover = true;
      InvalidateRect(window_, nullptr, true);
      TRACKMOUSEEVENT track;
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = window_;
      _TrackMouseEvent(&track);
    }
  } else if (hover) {
    hover = false;
    InvalidateRect(window_, nullptr, false);
  }
}

void CFlatButton::EndHover() {
  if (!hover) return;
  hover = false;
  if (IsWindow(window_)) InvalidateRect(window_, nullptr, false);
}

// --- Painting ---------------------------------------------------------------

void CFlatButton::CaptureBackground(int width, int height) {
  HWND parent = GetParent(window_);
  if (!IsWindow(parent) || width <= 0 || height <= 0) return;
  POINT at{0, 0};
  MapWindowPoints(window_, parent, &at, 1);
  HDC parentContext = GetDC(parent);
  if (parentContext == nullptr) return;
  backgroundContext_ = CreateCompatibleDC(parentContext);
  backgroundBitmap_ = CreateCompatibleBitmap(parentContext, width, height);
  if (backgroundContext_ == nullptr || backgroundBitmap_ == nullptr) {
    ReleaseDC(parent, parentContext);
    ReleaseBackground();
    return;
  }
  backgroundReplaced_ = SelectObject(backgroundContext_, backgroundBitmap_);
  BitBlt(backgroundContext_, 0, 0, width, height, parentContext, at.x, at.y, SRCCOPY);
  ReleaseDC(parent, parentContext);
}

void CFlatButton::ReleaseBackground() {
  if (backgroundContext_ != nullptr && backgroundReplaced_ != nullptr)
    SelectObject(backgroundContext_, backgroundReplaced_);
  if (backgroundBitmap_ != nullptr) DeleteObject(backgroundBitmap_);
  if (backgroundContext_ != nullptr) DeleteDC(backgroundContext_);
  backgroundContext_ = nullptr;
  backgroundBitmap_ = nullptr;
  backgroundReplaced_ = nullptr;
}

void CFlatButton::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  pressed = (item.itemState & ODS_SELECTED) != 0;
  focused = (item.itemState & ODS_FOCUS) != 0;
  disabled = (item.itemState & ODS_DISABLED) != 0;
  SetBkMode(dc, TRANSPARENT);

  const RECT r = item.rcItem;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (backgroundContext_ == nullptr) CaptureBackground(width, height);
  if (backgroundContext_ != nullptr) BitBlt(dc, 0, 0, width, height, backgroundContext_, 0, 0, SRCCOPY);

  // The frame: four lines that leave the corner pixels out.
  HPEN pen = CreatePen(PS_SOLID, 1, hover ? kFlatFrameHover : kFlatFrameNormal);
  HGDIOBJ previousPen = SelectObject(dc, pen);
  MoveToEx(dc, r.left + 1, r.top);
  LineTo(dc, r.right - 1, r.top);
  MoveToEx(dc, r.left, r.top + 1);
  LineTo(dc, r.left, r.bottom - 1);
  MoveToEx(dc, r.right - 1, r.bottom - 2);
  LineTo(dc, r.right - 1, r.top);
  MoveToEx(dc, r.left + 1, r.bottom - 1);
  LineTo(dc, r.right - 1, r.bottom - 1);
  if (previousPen != nullptr) SelectObject(dc, previousPen);
  DeleteObject(pen);

  const std::u16string caption = GetWindowTextW(window_);
  if (caption.empty()) return;
  HGDIOBJ previousFont = SelectObject(dc, GetWindowFont(window_));
  RECT area = r;
  if (pressed) OffsetRect(area, pressedOffset.x, pressedOffset.y);
  RECT text = area;
  DrawTextW(dc, caption, text, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
  OffsetRect(text, ((area.right - area.left) - (text.right - text.left)) / 2,
             ((area.bottom - area.top) - (text.bottom - text.top)) / 2);
  if (disabled) {
    OffsetRect(text, -1, -1);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  } else if (hover) {
    SetTextColor(dc, pressed ? hoverPressedTextColor : hoverTextColor);
  } else {
    SetTextColor(dc, focused ? focusedTextColor : normalTextColor);
  }
  DrawTextW(dc, caption, text, DT_WORDBREAK | DT_CENTER);
  if (previousFont != nullptr) SelectObject(dc, previousFont);
}

// --- Tooltip ----------------------------------------------------------------

void CFlatButton::EnsureTooltip() {
  if (IsWindow(tooltip_) || !IsWindow(window_)) return;
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASS, u"", WS_POPUP, 0, 0, 0, 0, window_, 0);
  if (!tooltip_) return;
  SendMessageW(tooltip_, TTM_ACTIVATE, 0, 0);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kTooltipMaxWidth);
  toolAdded_ = false;
}

void CFlatButton::AttachTooltip(const char16_t* text) {
  if (text == nullptr || !IsWindow(window_)) return;
  EnsureTooltip();
  if (!IsWindow(tooltip_)) return;
  TOOLINFOW tool;
  tool.hwnd = window_;
  tool.uId = kToolId;
  tool.text = text;
  GetClientRect(window_, &tool.rect);
  if (!toolAdded_) {
    toolAdded_ = SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<intptr_t>(&tool)) != 0;
  } else {
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<intptr_t>(&tool));
  }
  SendMessageW(tooltip_, TTM_ACTIVATE, 1, 0);
}
