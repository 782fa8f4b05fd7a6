// Dialogs: templates in dialog units, creation, modal runs, the default dialog
// procedure and the dialog keyboard.
#include "platform/window/dialog.h"

#include <algorithm>

#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/resources.h"

namespace plat {

using namespace internal;

namespace {

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  long long v = static_cast<long long>(a) * b;
  // Rounds half away from zero.
  long long q = (v >= 0 ? v + c / 2 : v - c / 2) / c;
  return static_cast<int>(q);
}

// The font of a dialog: the point size at 96 pixels per inch.
LOGFONTW DialogFont(std::u16string_view face, int pointSize, int weight) {
  LOGFONTW lf;
  lf.lfHeight = -MulDiv(pointSize, 96, 72);
  lf.lfWeight = weight;
  size_t n = std::min<size_t>(face.size(), 31);
  std::copy_n(face.data(), n, lf.lfFaceName);
  lf.lfFaceName[n] = 0;
  return lf;
}

DialogBaseUnits MeasureBaseUnits(HFONT font) {
  DialogBaseUnits units{6, 13};  // the platform's usual units, if nothing can be measured
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return units;
  HGDIOBJ old = SelectObject(dc, font);
  // The average width over the Latin letters, rounded, and the cell height.
  SIZE extent = GetTextExtentPoint32W(dc, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  TEXTMETRICW tm;
  if (extent.cx > 0) units.x = (extent.cx / 26 + 1) / 2;
  if (GetTextMetricsW(dc, tm) && tm.tmHeight > 0) units.y = tm.tmHeight;
  SelectObject(dc, old);
  DeleteDC(dc);
  return units;
}

DialogItem MakeItem(std::u16string className, std::u16string text, int id, int x, int y, int cx, int cy,
                    uint32_t style) {
  DialogItem item;
  item.className = std::move(className);
  item.text = std::move(text);
  item.id = id;
  item.x = x;
  item.y = y;
  item.cx = cx;
  item.cy = cy;
  item.style = style;
  return item;
}

bool IsTabStop(HWND control) {
  return (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0 && IsWindowVisible(control) &&
         IsWindowEnabled(control);
}

HWND FirstTabStop(HWND dialog) {
  for (HWND c : GetChildWindows(dialog)) {
    if (IsTabStop(c)) return c;
  }
  return HWND{};
}

}  // namespace

DialogItem LText(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style) {
  return MakeItem(std::u16string(WC_STATIC), std::move(text), id, x, y, cx, cy, style | SS_LEFT | WS_GROUP);
}

DialogItem CText(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style) {
  return MakeItem(std::u16string(WC_STATIC), std::move(text), id, x, y, cx, cy, style | SS_CENTER | WS_GROUP);
}

DialogItem PushButton(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style) {
  return MakeItem(std::u16string(WC_BUTTON), std::move(text), id, x, y, cx, cy, style | BS_PUSHBUTTON);
}

DialogItem DefPushButton(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style) {
  return MakeItem(std::u16string(WC_BUTTON), std::move(text), id, x, y, cx, cy, style | BS_DEFPUSHBUTTON);
}

DialogItem Control(std::u16string text, int id, std::u16string className, uint32_t style, int x, int y, int cx,
                   int cy, uint32_t exStyle) {
  DialogItem item = MakeItem(std::move(className), std::move(text), id, x, y, cx, cy, style);
  item.exStyle = exStyle;
  return item;
}

DialogBaseUnits GetDialogBaseUnits(std::u16string_view face, int pointSize, int weight) {
  HFONT font = CreateFontIndirectW(DialogFont(face, pointSize, weight));
  DialogBaseUnits units = MeasureBaseUnits(font);
  DeleteObject(font);
  return units;
}

DialogBaseUnits GetDialogBaseUnitsOf(HWND dialog) {
  DialogData* d = DialogOf(dialog);
  return d != nullptr ? d->units : DialogBaseUnits{6, 13};
}

bool MapDialogRect(HWND dialog, RECT* rect) {
  DialogData* d = DialogOf(dialog);
  if (d == nullptr || rect == nullptr) return false;
  rect->left = MulDiv(rect->left, d->units.x, 4);
  rect->right = MulDiv(rect->right, d->units.x, 4);
  rect->top = MulDiv(rect->top, d->units.y, 8);
  rect->bottom = MulDiv(rect->bottom, d->units.y, 8);
  return true;
}

HWND CreateDialogIndirectParamW(const DialogTemplate& t, HWND owner, WindowProc proc, intptr_t initParam) {
  HFONT font = CreateFontIndirectW(DialogFont(t.fontFace, t.pointSize, t.weight));
  DialogBaseUnits units = MeasureBaseUnits(font);
  auto dx = [&](int v) { return MulDiv(v, units.x, 4); };
  auto dy = [&](int v) { return MulDiv(v, units.y, 8); };

  const uint32_t style = (t.style & ~(WS_VISIBLE | WS_CHILD)) | (t.style & WS_CHILD);
  RECT in = NonClientInsets(style, t.exStyle);
  int width = dx(t.cx) + in.left + in.right;
  int height = dy(t.cy) + in.top + in.bottom;
  if (!proc) proc = DefDlgProcW;
  // The dialog's data must exist before its first message (WM_GETMINMAXINFO
  // may already ask for the base units), so it is attached in WM_CREATE's
  // place: through a wrapper that runs once.
  auto data = std::make_shared<std::unique_ptr<DialogData>>(std::make_unique<DialogData>());
  (*data)->units = units;
  (*data)->font = font;
  WindowProc wrapped = [data, proc](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (*data) {
      if (Window* win = Find(h)) {
        win->dialog = std::move(*data);
        win->font = win->dialog->font;
        win->proc = proc;
      }
    }
    return proc(h, m, w, l);
  };
  HWND dialog = CreateWindowWithProc(t.exStyle, WC_DIALOG, t.caption, style, dx(t.x), dy(t.y), width, height,
                                     owner, 0, nullptr, wrapped);
  if (!dialog) {
    if (*data) DeleteObject(font);  // never attached
    return HWND{};
  }
  for (const DialogItem& item : t.items) {
    uint32_t itemStyle = item.style | WS_CHILD;
    HWND c = CreateWindowExW(item.exStyle, item.className, item.text, itemStyle & ~WS_VISIBLE, dx(item.x),
                             dy(item.y), dx(item.cx), dy(item.cy), dialog, item.id);
    if (!c) continue;
    SendMessageW(c, WM_SETFONT, reinterpret_cast<uintptr_t>(font), 0);
    if (item.className == WC_STATIC && item.imageResource != 0) {
      uint32_t type = itemStyle & SS_TYPEMASK;
      if (type == SS_BITMAP) {
        SendMessageW(c, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<intptr_t>(LoadBitmapW(item.imageResource)));
      } else if (type == SS_ICON) {
        SendMessageW(c, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<intptr_t>(LoadIconW(item.imageResource)));
      }
    }
    if (itemStyle & WS_VISIBLE) ShowWindow(c, SW_SHOWNA);
  }
  if (!IsWindow(dialog)) return HWND{};
  HWND first = FirstTabStop(dialog);
  intptr_t setFocus = SendMessageW(dialog, WM_INITDIALOG, first.id, initParam);
  if (!IsWindow(dialog)) return HWND{};
  if (setFocus != 0) {
    HWND target = FirstTabStop(dialog);
    if (target) {
      SetFocus(target);
      if (DialogData* d = DialogOf(dialog)) d->lastFocus = target;
    }
  }
  if ((t.style & WS_VISIBLE) && IsWindow(dialog) && !DialogOf(dialog)->ended) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

intptr_t DialogBoxIndirectParamW(const DialogTemplate& t, HWND owner, WindowProc proc, intptr_t initParam) {
  if (!owner) owner = GetMainWindow();
  owner = GetAncestorRoot(owner);
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, false);
  DialogTemplate hidden = t;
  hidden.style &= ~WS_VISIBLE;
  HWND dialog = CreateDialogIndirectParamW(hidden, owner, std::move(proc), initParam);
  if (!dialog) {
    if (disableOwner && IsWindow(owner)) EnableWindow(owner, true);
    return -1;
  }
  DialogData* d = DialogOf(dialog);
  if (d != nullptr && !d->ended) {
    CenterWindow(dialog, owner);
    ShowWindow(dialog, SW_SHOW);
    RunModalLoopUntil([dialog] {
      DialogData* data = DialogOf(dialog);
      return data == nullptr || data->ended;
    });
  }
  d = DialogOf(dialog);
  intptr_t result = d != nullptr ? d->result : -1;
  // The owner takes input again before the dialog goes, so that activation
  // returns to it.
  if (disableOwner && IsWindow(owner)) EnableWindow(owner, true);
  if (IsWindow(dialog)) {
    ShowWindow(dialog, SW_HIDE);
    DestroyWindow(dialog);
  }
  if (owner && IsWindow(owner) && IsWindowVisible(owner)) SetActiveWindow(owner);
  return result;
}

bool EndDialog(HWND dialog, intptr_t code) {
  DialogData* d = DialogOf(dialog);
  if (d == nullptr) return false;
  d->ended = true;
  d->result = code;
  // Wakes the loop that waits for the end.
  PostMessageW(dialog, WM_NULL, 0, 0);
  return true;
}

intptr_t DefDlgProcW(HWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  DialogData* d = DialogOf(dialog);
  switch (message) {
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORDLG, wParam, dialog.id));
      if (brush == nullptr || GetObjectType(brush) != OBJ_BRUSH) brush = SysColorBrush(COLOR_BTNFACE);
      RECT client;
      GetClientRect(dialog, &client);
      FillRect(dc, client, brush);
      return 1;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK || id == IDCANCEL) {
        HWND control{static_cast<uint32_t>(lParam)};
        if (control && IsWindow(control) && !IsWindowEnabled(control)) return 0;
        EndDialog(dialog, id);
      }
      return 0;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(dialog, IDCANCEL);
      if (cancel && !IsWindowEnabled(cancel)) return 0;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), cancel.id);
      return 0;
    }
    case DM_GETDEFID:
      return d != nullptr && d->defId != 0 ? MAKELPARAM(d->defId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
      if (d != nullptr) d->defId = static_cast<int>(wParam);
      return 1;
    case WM_SETFOCUS: {
      // The focus goes back to the control that had it, or the first tab stop.
      HWND target = d != nullptr && IsChild(dialog, d->lastFocus) ? d->lastFocus : FirstTabStop(dialog);
      if (target) SetFocus(target);
      return 0;
    }
    case WM_ACTIVATE:
      if (wParam == 0 && d != nullptr) {
        HWND focus = GetFocus();
        if (IsChild(dialog, focus)) d->lastFocus = focus;
      }
      return 0;
    case WM_INITDIALOG:
      return 1;
    default:
      return DefWindowProcW(dialog, message, wParam, lParam);
  }
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
  std::vector<HWND> stops;
  for (HWND c : GetChildWindows(dialog)) {
    if (IsTabStop(c) || c == control) stops.push_back(c);
  }
  if (stops.empty()) return HWND{};
  auto it = std::find(stops.begin(), stops.end(), control);
  size_t n = stops.size();
  size_t index = it == stops.end() ? (previous ? 0 : n - 1) : size_t(it - stops.begin());
  for (size_t step = 1; step <= n; ++step) {
    size_t i = previous ? (index + n - step) % n : (index + step) % n;
    if (stops[i] != control && IsTabStop(stops[i])) return stops[i];
  }
  return HWND{};
}

bool IsDialogMessageW(HWND dialog, MSG* msg) {
  if (msg == nullptr || !IsWindow(dialog)) return false;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return false;
  if (msg->message == WM_CHAR) {
    // The characters of the keys the dialog used up are dropped too.
    return msg->wParam == u'\r' || msg->wParam == 0x1B || msg->wParam == u'\t';
  }
  if (msg->message != WM_KEYDOWN) return false;
  const intptr_t code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<intptr_t>(msg));
  if (code & DLGC_WANTALLKEYS) return false;
  switch (msg->wParam) {
    case VK_TAB: {
      if (code & DLGC_WANTTAB) return false;
      bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
      HWND next = GetNextDlgTabItem(dialog, GetFocus(), back);
      if (next) SetFocus(next);
      return true;
    }
    case VK_RETURN: {
      HWND focus = GetFocus();
      if (focus && IsChild(dialog, focus) && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
        if (IsWindowEnabled(focus)) {
          SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(uint32_t(GetDlgCtrlID(focus)), BN_CLICKED), focus.id);
        }
        return true;
      }
      intptr_t def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
      int id = HIWORD(static_cast<uintptr_t>(def)) == DC_HASDEFID ? int(LOWORD(static_cast<uintptr_t>(def))) : int(IDOK);
      HWND button = GetDlgItem(dialog, id);
      if (button && !IsWindowEnabled(button)) return true;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(uint32_t(id), BN_CLICKED), button.id);
      return true;
    }
    case VK_ESCAPE: {
      HWND cancel = GetDlgItem(dialog, IDCANCEL);
      if (cancel && !IsWindowEnabled(cancel)) return true;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), cancel.id);
      return true;
    }
    default:
      return false;
  }
}

// --- DialogWindow -----------------------------------------------------------

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, HWND parent)
    : template_(dialogTemplate), parent_(parent) {}

DialogWindow::~DialogWindow() {
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

::plat::WindowProc DialogWindow::MakeProc() {
  return [this](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (!hwnd_) {
      hwnd_ = h;
      SetPreTranslateFilter(h, [this](MSG& msg) { return PreTranslateMessage(msg); });
    }
    intptr_t r = WindowProc(m, w, l);
    if (m == WM_NCDESTROY) hwnd_ = HWND{};
    return r;
  };
}

intptr_t DialogWindow::DoModal() {
  hwnd_ = HWND{};
  return DialogBoxIndirectParamW(template_, parent_, MakeProc(), 0);
}

bool DialogWindow::Create() {
  hwnd_ = HWND{};
  return static_cast<bool>(CreateDialogIndirectParamW(template_, parent_, MakeProc(), 0));
}

void DialogWindow::EndDialog(intptr_t code) { plat::EndDialog(hwnd_, code); }

intptr_t DialogWindow::Default(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return DefDlgProcW(hwnd_, message, wParam, lParam);
}

intptr_t DialogWindow::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? 1 : 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        return 0;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return 0;
      }
      return Default(message, wParam, lParam);
    default:
      return Default(message, wParam, lParam);
  }
}

}  // namespace plat
