// The window tree: handles, geometry, the size limits, painting order and
// invalidation, visibility, enabling and focus.
#include "tests/window/window_fixture.h"

#include <algorithm>

namespace {

using namespace plat;
using tesmer_test::MessageLog;
using tesmer_test::RegisterTestClass;
using tesmer_test::WindowTest;

class WindowTreeTest : public WindowTest {};

TEST_F(WindowTreeTest, DestroyedWindowsAndTheirChildrenAreNoLongerWindows) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"top", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, HWND{}, 0);
  HWND child = CreateWindowExW(0, WC_STATIC, u"a", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, 7);
  HWND owned = CreateWindowExW(0, WC_DIALOG, u"owned", WS_POPUP, 0, 0, 50, 50, top, 0);
  ASSERT_TRUE(IsWindow(top));
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(GetDlgItem(top, 7), child);
  EXPECT_EQ(GetOwner(owned), top);

  EXPECT_TRUE(DestroyWindow(top));
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(owned));
  // A stale handle is rejected everywhere, never dereferenced.
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_FALSE(GetDlgItem(top, 7));
  RECT r{};
  EXPECT_FALSE(GetClientRect(child, &r));
  EXPECT_FALSE(PostMessageW(child, WM_USER, 0, 0));
  EXPECT_EQ(SendMessageW(child, WM_GETTEXTLENGTH, 0, 0), 0);

  // New windows never reuse an old handle.
  HWND again = CreateWindowExW(0, WC_DIALOG, u"again", WS_POPUP, 0, 0, 10, 10, HWND{}, 0);
  EXPECT_NE(again, top);
  EXPECT_NE(again, child);
}

TEST_F(WindowTreeTest, DestructionSendsDestroyToParentFirstAndNcDestroyLast) {
  std::vector<std::pair<HWND, uint32_t>> order;
  tesmer_test::DestroyWindowsAtEnd cleanup;
  RegisterTestClass(u"Recorder", [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_DESTROY || m == WM_NCDESTROY) order.emplace_back(h, m);
    return DefWindowProcW(h, m, w, l);
  });
  HWND top = CreateWindowExW(0, u"Recorder", u"", WS_POPUP, 0, 0, 100, 100, HWND{}, 0);
  HWND child = CreateWindowExW(0, u"Recorder", u"", WS_CHILD, 0, 0, 10, 10, top, 1);
  DestroyWindow(top);
  std::vector<std::pair<HWND, uint32_t>> expected = {
      {top, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
}

TEST_F(WindowTreeTest, GeometryConvertsBetweenClientAndScreenExactly) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_CAPTION | WS_THICKFRAME, 100, 50, 400, 300, HWND{}, 0);
  HWND child = CreateWindowExW(0, WC_STATIC, u"", WS_CHILD | WS_VISIBLE, 30, 40, 60, 20, top, 1);
  RECT window{}, client{};
  GetWindowRect(top, &window);
  GetClientRect(top, &client);
  EXPECT_EQ(window.left, 100);
  EXPECT_EQ(window.right - window.left, 400);
  // A captioned, resizable window is wider and taller than its client area.
  EXPECT_LT(client.right, 400);
  EXPECT_LT(client.bottom, 300);

  POINT p{5, 6};
  ClientToScreen(child, &p);
  POINT origin{0, 0};
  ClientToScreen(top, &origin);
  EXPECT_EQ(p.x, origin.x + 30 + 5);
  EXPECT_EQ(p.y, origin.y + 40 + 6);
  ScreenToClient(child, &p);
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 6);

  RECT childOnScreen{};
  GetWindowRect(child, &childOnScreen);
  EXPECT_EQ(childOnScreen.left, origin.x + 30);
  EXPECT_EQ(childOnScreen.bottom - childOnScreen.top, 20);

  MoveWindow(child, 10, 12, 80, 25, true);
  GetWindowRect(child, &childOnScreen);
  EXPECT_EQ(childOnScreen.left, origin.x + 10);
  GetClientRect(child, &client);
  EXPECT_EQ(client.right, 80);
  EXPECT_EQ(client.bottom, 25);
}

TEST_F(WindowTreeTest, MinimumTrackingSizeLimitsResizesAndSizeMessagesFollow) {
  std::vector<std::pair<int, int>> sizes;
  tesmer_test::DestroyWindowsAtEnd cleanup;
  RegisterTestClass(u"MinSize", [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_GETMINMAXINFO) {
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      info->ptMinTrackSize = POINT{1024, 768};
      return 0;
    }
    if (m == WM_SIZE) sizes.emplace_back(LOWORD(uintptr_t(l)), HIWORD(uintptr_t(l)));
    return DefWindowProcW(h, m, w, l);
  });
  HWND top = CreateWindowExW(0, u"MinSize", u"", WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_VISIBLE, 0, 0, 1200,
                             900, HWND{}, 0);
  SetWindowPos(top, HWND{}, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  RECT r{};
  GetWindowRect(top, &r);
  EXPECT_EQ(r.right - r.left, 1024);
  EXPECT_EQ(r.bottom - r.top, 768);
  SetWindowPos(top, HWND{}, 0, 0, 1756, 800, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(top, &r);
  EXPECT_EQ(r.right - r.left, 1756);
  RECT client{};
  GetClientRect(top, &client);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().first, client.right);
  EXPECT_EQ(sizes.back().second, client.bottom);
  EXPECT_LT(client.right, 1756);

  // A resize by the user through the native window obeys the same limit.
  InjectResize(top, SIZE{300, 200});
  PumpPendingMessages();
  GetWindowRect(top, &r);
  EXPECT_EQ(r.right - r.left, 1024);
  EXPECT_EQ(r.bottom - r.top, 768);
}

TEST_F(WindowTreeTest, InvalidatedWindowsPaintParentsBeforeChildrenOnceTheQueueIsEmpty) {
  std::vector<HWND> painted;
  tesmer_test::DestroyWindowsAtEnd cleanup;
  auto proc = [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_PAINT) painted.push_back(h);
    return DefWindowProcW(h, m, w, l);
  };
  RegisterTestClass(u"Painter", proc);
  HWND top = CreateWindowExW(0, u"Painter", u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, HWND{}, 0);
  HWND left = CreateWindowExW(0, u"Painter", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, 1);
  HWND right = CreateWindowExW(0, u"Painter", u"", WS_CHILD | WS_VISIBLE, 100, 100, 50, 50, top, 2);
  PumpPendingMessages();
  ASSERT_GE(painted.size(), 3u);
  EXPECT_EQ(painted.front(), top);
  painted.clear();

  // Nothing to paint: no paint message.
  PumpPendingMessages();
  EXPECT_TRUE(painted.empty());

  // The part of the parent over one child repaints that child too, not the other.
  RECT area{10, 10, 20, 20};
  InvalidateRect(top, &area, true);
  PumpPendingMessages();
  EXPECT_EQ(painted, (std::vector<HWND>{top, left}));
  painted.clear();

  // Invalidating the child alone leaves the parent alone.
  InvalidateRect(right, nullptr, false);
  PostMessageW(top, WM_NULL, 0, 0);
  PumpPendingMessages();
  EXPECT_EQ(painted, (std::vector<HWND>{right}));
  painted.clear();

  // Hidden windows do not paint.
  ShowWindow(right, SW_HIDE);
  InvalidateRect(right, nullptr, true);
  PumpPendingMessages();
  EXPECT_EQ(std::count(painted.begin(), painted.end(), right), 0);
}

TEST_F(WindowTreeTest, WindowDrawingContextDrawsAtTheWindowsPlaceClippedToIt) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, HWND{}, 0);
  HWND child = CreateWindowExW(0, WC_STATIC, u"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 20, 30, 10, 10, top, 1);
  PumpPendingMessages();
  HDC dc = GetDC(child);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, RECT{-50, -50, 500, 500}, red);
  ReleaseDC(child, dc);
  DeleteObject(red);
  EXPECT_EQ(GetWindowPixel(top, 20, 30), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(top, 29, 39), RGB(255, 0, 0));
  EXPECT_NE(GetWindowPixel(top, 19, 30), RGB(255, 0, 0));
  EXPECT_NE(GetWindowPixel(top, 30, 39), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(child, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(child, 10, 0), CLR_INVALID);
}

TEST_F(WindowTreeTest, EnableShowAndFocusSendTheirMessages) {
  MessageLog log({WM_ENABLE, WM_SETFOCUS, WM_KILLFOCUS, WM_SHOWWINDOW, WM_CANCELMODE});
  RegisterTestClass(u"Logged", log.Proc());
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, HWND{}, 0);
  HWND a = CreateWindowExW(0, u"Logged", u"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top, 1);
  HWND b = CreateWindowExW(0, u"Logged", u"", WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, top, 2);
  log.received.clear();

  SetFocus(a);
  EXPECT_EQ(GetFocus(), a);
  SetFocus(b);
  EXPECT_EQ(GetFocus(), b);
  ASSERT_EQ(log.received.size(), 3u);
  EXPECT_EQ(log.received[0].window, a);
  EXPECT_EQ(log.received[0].message, uint32_t(WM_SETFOCUS));
  EXPECT_EQ(log.received[1].window, a);
  EXPECT_EQ(log.received[1].message, uint32_t(WM_KILLFOCUS));
  EXPECT_EQ(log.received[1].wParam, b.id);
  EXPECT_EQ(log.received[2].window, b);
  log.received.clear();

  // Disabling the focus window ends its modes, takes the focus away, then
  // says so.
  SetCapture(b);
  EXPECT_FALSE(EnableWindow(b, false));
  EXPECT_FALSE(IsWindowEnabled(b));
  EXPECT_FALSE(GetFocus());
  EXPECT_FALSE(GetCapture());
  EXPECT_EQ(log.Messages(), (std::vector<uint32_t>{WM_CANCELMODE, WM_KILLFOCUS, WM_ENABLE}));
  EXPECT_EQ(log.received.back().wParam, 0u);
  EXPECT_TRUE(EnableWindow(b, true));
  EXPECT_TRUE(IsWindowEnabled(b));
  log.received.clear();
  EnableWindow(b, true);  // no change, no message
  EXPECT_TRUE(log.received.empty());

  EXPECT_TRUE(ShowWindow(a, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(a));
  EXPECT_FALSE(ShowWindow(a, SW_HIDE));
  EXPECT_FALSE(ShowWindow(a, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(a));
  EXPECT_TRUE(GetWindowLongW(a, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WindowTreeTest, TextOfWindowsAndDialogItems) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"caption", WS_POPUP, 0, 0, 100, 100, HWND{}, 0);
  CreateWindowExW(0, WC_STATIC, u"输出信息", WS_CHILD | WS_VISIBLE, 0, 0, 80, 10, top, 1003);
  EXPECT_EQ(GetWindowTextW(top), u"caption");
  EXPECT_EQ(GetDlgItemTextW(top, 1003), u"输出信息");
  EXPECT_TRUE(SetDlgItemTextW(top, 1003, u"文件加载3/10"));
  EXPECT_EQ(GetDlgItemTextW(top, 1003), u"文件加载3/10");
  EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(top, 1003)), 8);
  EXPECT_FALSE(SetDlgItemTextW(top, 9999, u"x"));
}

TEST_F(WindowTreeTest, TimersArriveRepeatedlyUntilKilled) {
  int ticks = 0;
  tesmer_test::DestroyWindowsAtEnd cleanup;
  HWND w{};
  RegisterTestClass(u"Ticker", [&](HWND h, uint32_t m, uintptr_t wp, intptr_t l) -> intptr_t {
    if (m == WM_TIMER && wp == 5 && ++ticks == 3) {
      KillTimer(h, 5);
      PostQuitMessage(0);
    }
    return DefWindowProcW(h, m, wp, l);
  });
  w = CreateWindowExW(0, u"Ticker", u"", WS_POPUP, 0, 0, 10, 10, HWND{}, 0);
  SetTimer(w, 5, 10);
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_EQ(ticks, 3);
}

}  // namespace
