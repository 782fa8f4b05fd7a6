// The tooltip control: tools (areas of windows with a text), mouse messages
// relayed to it, and a small popup with the text shown near the pointer once
// it has rested over a tool for a moment.
#include <algorithm>
#include <memory>

#include "platform/window/internal/state.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/window.h"

namespace plat::internal {

namespace {

constexpr uintptr_t kShowTimer = 1;
constexpr uintptr_t kHideTimer = 2;
constexpr int kPaddingX = 4;
constexpr int kPaddingY = 2;
constexpr int kBelowPointer = 20;

struct TooltipState {
  bool active = true;
  std::vector<TOOLINFOW> tools;
  int maxWidth = -1;
  uint32_t initialDelay = 500;
  uint32_t autopopDelay = 5000;
  int current = -1;      // the tool under the pointer
  bool shown = false;
  bool suppressed = false;  // a click hides the tip until the pointer leaves the tool
  POINT lastPoint;
};

std::shared_ptr<TooltipState> StateOf(HWND tip) {
  Window* w = Find(tip);
  if (w == nullptr) return nullptr;
  if (!w->controlState) w->controlState = std::make_shared<TooltipState>();
  return std::static_pointer_cast<TooltipState>(w->controlState);
}

int FindTool(const TooltipState& s, HWND window, uintptr_t id) {
  for (size_t i = 0; i < s.tools.size(); ++i) {
    if (s.tools[i].hwnd == window && s.tools[i].uId == id) return static_cast<int>(i);
  }
  return -1;
}

// The tool under a client point of `window`, or -1.
int ToolAt(const TooltipState& s, HWND window, POINT p) {
  for (size_t i = 0; i < s.tools.size(); ++i) {
    const TOOLINFOW& t = s.tools[i];
    if (t.uFlags & TTF_IDISHWND) {
      HWND tool{static_cast<uint32_t>(t.uId)};
      if (tool != window) continue;
      RECT client;
      GetClientRect(tool, &client);
      if (PtInRect(client, p)) return static_cast<int>(i);
    } else if (t.hwnd == window && PtInRect(t.rect, p)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void Hide(HWND tip, TooltipState& s) {
  KillTimer(tip, kShowTimer);
  KillTimer(tip, kHideTimer);
  if (s.shown) {
    s.shown = false;
    ShowWindow(tip, SW_HIDE);
  }
}

// Sizes the tip to its text, no wider than the maximum width (the text wraps
// at it), and places it below the pointer, inside the screen.
void Place(HWND tip, const TooltipState& s) {
  if (s.current < 0 || s.current >= static_cast<int>(s.tools.size())) return;
  const std::u16string& text = s.tools[size_t(s.current)].text;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetWindowFont(tip));
  RECT measure{0, 0, s.maxWidth > 0 ? s.maxWidth - 2 * kPaddingX - 2 : 4000, 0};
  DrawTextW(dc, text, measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteDC(dc);
  int width = measure.right - measure.left + 2 * kPaddingX + 2;
  int height = measure.bottom - measure.top + 2 * kPaddingY + 2;
  POINT cursor;
  GetCursorPos(&cursor);
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  int x = std::max(int(screen.left), std::min(int(cursor.x), int(screen.right) - width));
  int y = cursor.y + kBelowPointer;
  if (y + height > screen.bottom) y = cursor.y - height - 2;
  SetWindowPos(tip, HWND{}, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(tip, nullptr, true);
}

void Show(HWND tip, TooltipState& s) {
  KillTimer(tip, kShowTimer);
  if (!s.active || s.current < 0 || s.current >= static_cast<int>(s.tools.size())) return;
  const TOOLINFOW& t = s.tools[size_t(s.current)];
  HWND owner = (t.uFlags & TTF_IDISHWND) ? HWND{static_cast<uint32_t>(t.uId)} : t.hwnd;
  // The pointer must still be over the tool's window.
  POINT cursor;
  GetCursorPos(&cursor);
  POINT p = cursor;
  ScreenToClient(owner, &p);
  if (!IsWindowVisible(owner) || ToolAt(s, owner, p) != s.current) return;
  if (t.text.empty()) return;
  Place(tip, s);
  s.shown = true;
  ShowWindow(tip, SW_SHOWNA);
  SetTimer(tip, kHideTimer, s.autopopDelay);
}

void Relay(HWND tip, TooltipState& s, const MSG& msg) {
  if (!s.active) return;
  switch (msg.message) {
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
      POINT screen = p;
      ClientToScreen(msg.hwnd, &screen);
      int tool = ToolAt(s, msg.hwnd, p);
      if (tool != s.current) {
        Hide(tip, s);
        s.current = tool;
        s.suppressed = false;
        if (tool >= 0) SetTimer(tip, kShowTimer, s.initialDelay);
      } else if (tool >= 0 && !s.shown && !s.suppressed &&
                 (screen.x != s.lastPoint.x || screen.y != s.lastPoint.y)) {
        // The pointer moved: the rest starts again.
        SetTimer(tip, kShowTimer, s.initialDelay);
      }
      s.lastPoint = screen;
      if (tool >= 0) {
        // The leave notification of the tool's window comes through the
        // relay too, so the tip learns when the pointer has gone.
        TRACKMOUSEEVENT track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = msg.hwnd;
        _TrackMouseEvent(&track);
      }
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      Hide(tip, s);
      s.suppressed = true;
      return;
    case WM_MOUSELEAVE:
      Hide(tip, s);
      s.current = -1;
      return;
    default:
      return;
  }
}

void Paint(HWND tip, const TooltipState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(tip, &ps);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(tip, &client);
  FillRect(dc, client, SysColorBrush(COLOR_INFOBK));
  FrameRectColor(dc, client, GetSysColor(COLOR_INFOTEXT));
  if (s.current >= 0 && s.current < static_cast<int>(s.tools.size())) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    RECT text{client.left + 1 + kPaddingX, client.top + 1 + kPaddingY, client.right - 1 - kPaddingX,
              client.bottom - 1 - kPaddingY};
    DrawTextW(dc, s.tools[size_t(s.current)].text, text, DT_WORDBREAK | DT_NOPREFIX);
  }
  EndPaint(tip, &ps);
}

// Relays the mouse messages of a tool window added with TTF_SUBCLASS.
void SubclassTool(HWND tip, HWND tool) {
  WindowProc previous = GetWindowProcedure(tool);
  SubclassWindow(tool, [tip, previous](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if ((m >= WM_MOUSEMOVE && m <= WM_MBUTTONDBLCLK) || m == WM_MOUSELEAVE) {
      MSG msg{h, m, w, l, 0};
      if (IsWindow(tip)) SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<intptr_t>(&msg));
    }
    return CallWindowProcW(previous, h, m, w, l);
  });
}

intptr_t TooltipProc(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<TooltipState> s = StateOf(h);
  if (!s) return 0;
  switch (message) {
    case TTM_ADDTOOLW: {
      const auto* info = reinterpret_cast<const TOOLINFOW*>(lParam);
      if (info == nullptr) return 0;
      s->tools.push_back(*info);
      if (info->uFlags & TTF_SUBCLASS) {
        HWND tool = (info->uFlags & TTF_IDISHWND) ? HWND{static_cast<uint32_t>(info->uId)} : info->hwnd;
        if (IsWindow(tool)) SubclassTool(h, tool);
      }
      return 1;
    }
    case TTM_DELTOOLW: {
      const auto* info = reinterpret_cast<const TOOLINFOW*>(lParam);
      if (info == nullptr) return 0;
      int i = FindTool(*s, info->hwnd, info->uId);
      if (i >= 0) {
        if (i == s->current) Hide(h, *s);
        s->tools.erase(s->tools.begin() + i);
        s->current = -1;
      }
      return 0;
    }
    case TTM_UPDATETIPTEXTW: {
      const auto* info = reinterpret_cast<const TOOLINFOW*>(lParam);
      if (info == nullptr) return 0;
      int i = FindTool(*s, info->hwnd, info->uId);
      if (i < 0) return 0;
      s->tools[size_t(i)].text = info->text;
      if (s->shown && i == s->current) Place(h, *s);
      return 0;
    }
    case TTM_GETTEXTW: {
      auto* info = reinterpret_cast<TOOLINFOW*>(lParam);
      if (info == nullptr) return 0;
      int i = FindTool(*s, info->hwnd, info->uId);
      info->text = i >= 0 ? s->tools[size_t(i)].text : std::u16string();
      return 0;
    }
    case TTM_GETTOOLCOUNT:
      return static_cast<intptr_t>(s->tools.size());
    case TTM_ACTIVATE:
      s->active = wParam != 0;
      if (!s->active) Hide(h, *s);
      return 0;
    case TTM_SETMAXTIPWIDTH: {
      int old = s->maxWidth;
      s->maxWidth = static_cast<int>(lParam);
      return old;
    }
    case TTM_GETMAXTIPWIDTH:
      return s->maxWidth;
    case TTM_SETDELAYTIME: {
      uint32_t ms = static_cast<uint32_t>(LOWORD(static_cast<uintptr_t>(lParam)));
      if (wParam == TTDT_INITIAL || wParam == TTDT_AUTOMATIC) s->initialDelay = ms;
      if (wParam == TTDT_AUTOPOP) s->autopopDelay = ms;
      if (wParam == TTDT_AUTOMATIC) s->autopopDelay = ms * 10;
      return 0;
    }
    case TTM_RELAYEVENT: {
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      if (msg != nullptr) Relay(h, *s, *msg);
      return 0;
    }
    case TTM_POP:
      Hide(h, *s);
      return 0;
    case WM_TIMER:
      if (wParam == kShowTimer) Show(h, *s);
      if (wParam == kHideTimer) Hide(h, *s);
      return 0;
    case WM_PAINT:
      Paint(h, *s);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
      // The pointer reached the tip itself: it makes way.
      Hide(h, *s);
      return 0;
    default:
      return DefWindowProcW(h, message, wParam, lParam);
  }
}

}  // namespace

void RegisterTooltipClass() {
  WNDCLASSW c;
  c.name = std::u16string(TOOLTIPS_CLASS);
  c.proc = TooltipProc;
  RegisterClassW(c);
  S().classes[c.name]->exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
}

}  // namespace plat::internal
