// The system menu stand-in: the items a window appends to its system menu,
// shown as a small popup under the window's top-left corner when the user
// presses Alt+Space or F1. Choosing an item posts WM_SYSCOMMAND with its id.
#include <algorithm>
#include <memory>

#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/window.h"

namespace plat {

using namespace internal;

namespace {

constexpr std::u16string_view kMenuClass = u"#32768";
constexpr int kItemPaddingX = 16;
constexpr int kItemPaddingY = 3;
constexpr int kSeparatorHeight = 7;

struct PopupState {
  HWND owner;
  HWND previousFocus;
  std::vector<MenuItem> items;
  std::vector<RECT> rows;
  int hot = -1;
  bool closing = false;
};

std::shared_ptr<PopupState> StateOf(HWND popup) {
  Window* w = Find(popup);
  if (w == nullptr || !w->controlState) return nullptr;
  return std::static_pointer_cast<PopupState>(w->controlState);
}

bool Selectable(const MenuItem& item) { return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)); }

int ItemAt(const PopupState& s, POINT p) {
  for (size_t i = 0; i < s.rows.size(); ++i) {
    if (PtInRect(s.rows[i], p) && Selectable(s.items[i])) return static_cast<int>(i);
  }
  return -1;
}

void Close(HWND popup, PopupState& s, uintptr_t chosen, bool choose) {
  if (s.closing) return;
  s.closing = true;
  HWND owner = s.owner;
  HWND previous = s.previousFocus;
  if (GetCapture() == popup) ReleaseCapture();
  S().openMenu = HWND{};
  DestroyWindow(popup);
  if (IsWindow(owner)) {
    SetActiveWindow(owner);
    if (IsWindow(previous)) SetFocus(previous);
    if (choose) PostMessageW(owner, WM_SYSCOMMAND, chosen, 0);
  }
}

void MoveHot(HWND popup, PopupState& s, int direction) {
  int n = static_cast<int>(s.items.size());
  if (n == 0) return;
  int i = s.hot;
  for (int step = 0; step < n; ++step) {
    i = (i + direction + n) % n;
    if (i < 0) i = 0;
    if (Selectable(s.items[size_t(i)])) {
      s.hot = i;
      InvalidateRect(popup, nullptr, false);
      return;
    }
  }
}

void Paint(HWND popup, const PopupState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(popup, &ps);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(popup, &client);
  FillRect(dc, client, SysColorBrush(COLOR_MENU));
  FrameRectColor(dc, client, GetSysColor(COLOR_BTNSHADOW));
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < s.items.size(); ++i) {
    const MenuItem& item = s.items[i];
    RECT row = s.rows[i];
    if (item.flags & MF_SEPARATOR) {
      RECT line{row.left + 4, row.top + kSeparatorHeight / 2, row.right - 4, row.top + kSeparatorHeight / 2 + 1};
      FillRect(dc, line, SysColorBrush(COLOR_BTNSHADOW));
      continue;
    }
    const bool hot = static_cast<int>(i) == s.hot;
    if (hot) FillRect(dc, row, SysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(!Selectable(item) ? COLOR_GRAYTEXT : hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    RECT text{row.left + kItemPaddingX, row.top, row.right - kItemPaddingX, row.bottom};
    DrawTextW(dc, item.text, text, DT_SINGLELINE | DT_VCENTER);
    if (item.flags & MF_CHECKED) {
      RECT mark{row.left + 3, row.top, row.left + kItemPaddingX, row.bottom};
      DrawTextW(dc, u"\u2713", mark, DT_SINGLELINE | DT_VCENTER);
    }
  }
  EndPaint(popup, &ps);
}

intptr_t PopupProc(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<PopupState> s = StateOf(h);
  if (!s) return DefWindowProcW(h, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      Paint(h, *s);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      int hot = ItemAt(*s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (hot != s->hot && hot >= 0) {
        s->hot = hot;
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      RECT client;
      GetClientRect(h, &client);
      if (!PtInRect(client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) Close(h, *s, 0, false);
      return 0;
    }
    case WM_LBUTTONUP: {
      int item = ItemAt(*s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (item >= 0) Close(h, *s, s->items[size_t(item)].id, true);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      switch (wParam) {
        case VK_UP:
          MoveHot(h, *s, -1);
          return 0;
        case VK_DOWN:
          MoveHot(h, *s, 1);
          return 0;
        case VK_RETURN:
          if (s->hot >= 0) Close(h, *s, s->items[size_t(s->hot)].id, true);
          return 0;
        case VK_ESCAPE:
        case VK_SPACE:
        case VK_F1:
        case VK_MENU:
          Close(h, *s, 0, false);
          return 0;
        default:
          return 0;
      }
    case WM_CANCELMODE:
      Close(h, *s, 0, false);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;
    default:
      return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace

void internal::RegisterMenuClass() {
  WNDCLASSW c;
  c.name = std::u16string(kMenuClass);
  c.proc = PopupProc;
  RegisterClassW(c);
  S().classes[c.name]->exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
}

HMENU GetSystemMenu(HWND window, bool revert) {
  Window* w = Find(window);
  if (w == nullptr || !IsTopLevel(*w) || !(w->style & WS_SYSMENU)) return HMENU{};
  State& s = S();
  if (revert) {
    if (w->systemMenu) s.menus[w->systemMenu.id].items.clear();
    return HMENU{};
  }
  if (!w->systemMenu) {
    w->systemMenu = HMENU{++s.lastMenuId};
    s.menus[w->systemMenu.id].owner = window;
  }
  return w->systemMenu;
}

bool AppendMenuW(HMENU menu, uint32_t flags, uintptr_t id, std::u16string_view text) {
  auto it = S().menus.find(menu.id);
  if (!menu || it == S().menus.end()) return false;
  it->second.items.push_back(MenuItem{flags, id, std::u16string(text)});
  return true;
}

int CheckMenuItem(HMENU menu, uintptr_t id, uint32_t check) {
  auto it = S().menus.find(menu.id);
  if (it == S().menus.end()) return -1;
  for (MenuItem& item : it->second.items) {
    if (item.id != id || (item.flags & MF_SEPARATOR)) continue;
    const int previous = static_cast<int>(item.flags & MF_CHECKED);
    item.flags = (item.flags & ~MF_CHECKED) | (check & MF_CHECKED);
    return previous;
  }
  return -1;
}

bool IsMenuItemChecked(HMENU menu, uintptr_t id) {
  auto it = S().menus.find(menu.id);
  if (!menu || it == S().menus.end()) return false;
  for (const MenuItem& item : it->second.items)
    if (item.id == id && !(item.flags & MF_SEPARATOR)) return (item.flags & MF_CHECKED) != 0;
  return false;
}

int GetMenuItemCount(HMENU menu) {
  auto it = S().menus.find(menu.id);
  return it == S().menus.end() ? -1 : static_cast<int>(it->second.items.size());
}

bool OpenSystemMenu(HWND window) {
  State& st = S();
  HWND root = GetAncestorRoot(window);
  Window* w = Find(root);
  if (w == nullptr || !w->systemMenu || (w->style & WS_DISABLED)) return false;
  auto it = st.menus.find(w->systemMenu.id);
  if (it == st.menus.end() || it->second.items.empty()) return false;
  if (IsWindow(st.openMenu)) return true;

  auto state = std::make_shared<PopupState>();
  state->owner = root;
  state->previousFocus = GetFocus();
  state->items = it->second.items;

  // Rows measured in the default font.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  int width = 120;
  int y = 2;
  for (const MenuItem& item : state->items) {
    int height = kSeparatorHeight;
    if (!(item.flags & MF_SEPARATOR)) {
      RECT r{0, 0, 0, 0};
      DrawTextW(dc, item.text, r, DT_CALCRECT | DT_SINGLELINE);
      width = std::max(width, int(r.right - r.left) + 2 * kItemPaddingX);
      height = (r.bottom - r.top) + 2 * kItemPaddingY;
    }
    state->rows.push_back(RECT{2, y, 0, y + height});
    y += height;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  for (RECT& r : state->rows) r.right = 2 + width;

  POINT at{0, 0};
  ClientToScreen(root, &at);
  HWND popup = CreateWindowExW(0, kMenuClass, u"", WS_POPUP, at.x, at.y, width + 4, y + 2, root, 0);
  if (!popup) return false;
  Find(popup)->controlState = state;
  st.openMenu = popup;
  ShowWindow(popup, SW_SHOWNA);
  SetCapture(popup);
  // Keys go to the popup while it is open.
  SetFocus(popup);
  for (size_t i = 0; i < state->items.size(); ++i) {
    if (Selectable(state->items[i])) {
      state->hot = static_cast<int>(i);
      break;
    }
  }
  InvalidateRect(popup, nullptr, true);
  return true;
}

HWND GetOpenSystemMenu() { return IsWindow(S().openMenu) ? S().openMenu : HWND{}; }

}  // namespace plat
