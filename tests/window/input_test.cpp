// Input injected as SDL events, through the same translation as real input:
// transparent statics, double-clicks, leave tracking, the wheel, capture,
// keys, drops and a disabled owner.
#include "tests/window/window_fixture.h"

#include "platform/core/drop.h"

namespace {

using namespace plat;
using tesmer_test::MessageLog;
using tesmer_test::RegisterTestClass;
using tesmer_test::WindowTest;

class InputTest : public WindowTest {
 protected:
  // A shown top-level window of the logging class with a transparent static
  // (10,10)-(60,30), a notifying static (70,10)-(120,30) and a child window of
  // the logging class (10,50)-(110,100).
  void Build(MessageLog& log, uint32_t classStyle = CS_DBLCLKS) {
    RegisterTestClass(u"InputLogged", log.Proc(), classStyle);
    top = CreateWindowExW(WS_EX_ACCEPTFILES, u"InputLogged", u"", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                          HWND{}, 0);
    plain = CreateWindowExW(0, WC_STATIC, u"plain", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, top, 1);
    notify = CreateWindowExW(0, WC_STATIC, u"notify", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 70, 10, 50, 20, top, 2);
    child = CreateWindowExW(0, u"InputLogged", u"", WS_CHILD | WS_VISIBLE, 10, 50, 100, 50, top, 3);
    PumpPendingMessages();
    log.received.clear();
  }

  HWND top, plain, notify, child;
};

TEST_F(InputTest, ClickOnStaticWithoutNotifyReachesItsParentInParentCoordinates) {
  MessageLog log({WM_LBUTTONDOWN, WM_LBUTTONUP});
  Build(log);
  InjectClick(plain, POINT{5, 6});
  PumpPendingMessages();
  ASSERT_EQ(log.Messages(), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  EXPECT_EQ(log.received[0].window, top);
  EXPECT_EQ(GET_X_LPARAM(log.received[0].lParam), 15);
  EXPECT_EQ(GET_Y_LPARAM(log.received[0].lParam), 16);
  EXPECT_EQ(log.received[0].wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(log.received[1].wParam & MK_LBUTTON, 0u);
  EXPECT_EQ(WindowFromPoint([&] {
              POINT p{5, 6};
              ClientToScreen(plain, &p);
              return p;
            }()),
            top);

  // A static with the notify style keeps the click.
  log.received.clear();
  InjectClick(notify, POINT{5, 6});
  PumpPendingMessages();
  EXPECT_TRUE(log.received.empty());
}

TEST_F(InputTest, DoubleClickArrivesAsDownUpDoubleClickUp) {
  MessageLog log({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_RBUTTONUP});
  Build(log);
  InjectClick(child, POINT{20, 20});
  InjectClick(child, POINT{21, 20});
  PumpPendingMessages();
  EXPECT_EQ(log.Messages(), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  for (const auto& r : log.received) EXPECT_EQ(r.window, child);

  // A third click starts a new pair; the right button pairs the same way.
  log.received.clear();
  InjectClick(child, POINT{20, 20});
  InjectClick(child, POINT{20, 20}, 1);
  InjectClick(child, POINT{20, 20}, 1);
  PumpPendingMessages();
  EXPECT_EQ(log.Messages(), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP,
                                                   WM_RBUTTONDBLCLK, WM_RBUTTONUP}));
}

TEST_F(InputTest, WindowsWithoutDoubleClickStyleGetTwoPresses) {
  MessageLog log({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
  Build(log, 0);
  InjectClick(child, POINT{20, 20});
  InjectClick(child, POINT{20, 20});
  PumpPendingMessages();
  EXPECT_EQ(log.Messages(), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
}

TEST_F(InputTest, LeaveTrackingFiresOnceWhenThePointerLeaves) {
  MessageLog log({WM_MOUSELEAVE, WM_MOUSEMOVE});
  Build(log);
  InjectMouseMove(child, POINT{5, 5});
  PumpPendingMessages();
  TRACKMOUSEEVENT track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = child;
  ASSERT_TRUE(_TrackMouseEvent(&track));
  InjectMouseMove(child, POINT{6, 5});
  InjectMouseMove(top, POINT{250, 150});
  InjectMouseMove(top, POINT{251, 150});
  InjectPointerLeave(top);
  PumpPendingMessages();
  int leaves = 0;
  for (const auto& r : log.received) {
    if (r.message == WM_MOUSELEAVE) {
      ++leaves;
      EXPECT_EQ(r.window, child);
    }
  }
  EXPECT_EQ(leaves, 1);

  // Asking while the pointer is elsewhere answers at once.
  log.received.clear();
  ASSERT_TRUE(_TrackMouseEvent(&track));
  PumpPendingMessages();
  EXPECT_EQ(log.Messages(), (std::vector<uint32_t>{WM_MOUSELEAVE}));
}

TEST_F(InputTest, WheelGoesToTheFocusWithScreenPointAndSignedDelta) {
  MessageLog log({WM_MOUSEWHEEL});
  Build(log);
  SetFocus(child);
  // The pointer is over the other static, far from the focus window.
  InjectWheel(notify, POINT{1, 2}, -2);
  InjectWheel(notify, POINT{1, 2}, 1);
  PumpPendingMessages();
  // The focus window gets each turn; what it leaves to the default goes up
  // to its parent.
  ASSERT_EQ(log.received.size(), 4u);
  POINT screen{1, 2};
  ClientToScreen(notify, &screen);
  EXPECT_EQ(log.received[0].window, child);
  EXPECT_EQ(log.received[1].window, top);
  EXPECT_EQ(log.received[2].window, child);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(log.received[0].wParam), -240);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(log.received[2].wParam), 120);
  EXPECT_EQ(GET_X_LPARAM(log.received[0].lParam), screen.x);
  EXPECT_EQ(GET_Y_LPARAM(log.received[0].lParam), screen.y);
  EXPECT_EQ(log.received[1].lParam, log.received[0].lParam);
}

TEST_F(InputTest, CaptureKeepsMouseMessagesOutsideTheWindow) {
  MessageLog log({WM_MOUSEMOVE, WM_LBUTTONUP, WM_CAPTURECHANGED});
  Build(log);
  SetCapture(child);
  InjectMouseMove(top, POINT{250, 10});
  InjectMouseButton(top, POINT{250, 10}, 0, false);
  PumpPendingMessages();
  ASSERT_GE(log.received.size(), 2u);
  EXPECT_EQ(log.received[0].window, child);
  EXPECT_EQ(GET_X_LPARAM(log.received[0].lParam), 240);
  EXPECT_EQ(GET_Y_LPARAM(log.received[0].lParam), -40);
  ReleaseCapture();
  EXPECT_EQ(log.received.back().message, uint32_t(WM_CAPTURECHANGED));
  EXPECT_FALSE(GetCapture());
}

TEST_F(InputTest, KeysGoToTheFocusWindowWithAltAsSystemKeys) {
  MessageLog log({WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_CHAR});
  Build(log);
  SetFocus(child);
  InjectKeyPress(VK_RETURN);
  InjectKey('X', true, 0, true);
  InjectText(u"文");
  PumpPendingMessages();
  ASSERT_EQ(log.Messages(), (std::vector<uint32_t>{WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_CHAR}));
  EXPECT_EQ(log.received[0].window, child);
  EXPECT_EQ(log.received[0].wParam, uintptr_t(VK_RETURN));
  EXPECT_EQ(log.received[2].wParam, uintptr_t('X'));
  EXPECT_EQ(log.received[3].wParam, uintptr_t(u'文'));
  EXPECT_TRUE(GetKeyState('X') & 0x8000);
}

TEST_F(InputTest, DropOfThreePathsIsOneMessageWithThePathsInOrder) {
  MessageLog log({WM_DROPFILES});
  Build(log);
  std::vector<std::u16string> paths = {u"/data/ct/b.dcm", u"/data/中文/a.dcm", u"/data/ct"};
  InjectDrop(top, paths);
  PumpPendingMessages();
  ASSERT_EQ(log.received.size(), 1u);
  EXPECT_EQ(log.received[0].window, top);
  auto drop = reinterpret_cast<HDROP>(log.received[0].wParam);
  ASSERT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    uint32_t length = DragQueryFileW(drop, i, nullptr, 0);
    std::u16string path(length, u'\0');
    std::vector<char16_t> buffer(length + 1);
    DragQueryFileW(drop, i, buffer.data(), length + 1);
    EXPECT_EQ(std::u16string(buffer.data()), paths[i]);
  }
  DragFinish(drop);

  // A window that does not accept files gets no drop.
  log.received.clear();
  DragAcceptFiles(top, false);
  InjectDrop(top, paths);
  PumpPendingMessages();
  EXPECT_TRUE(log.received.empty());
}

TEST_F(InputTest, DisabledOwnerTakesNoInputAndActivatesItsDialog) {
  MessageLog log({WM_LBUTTONDOWN, WM_KEYDOWN});
  Build(log);
  HWND dialog = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, top, 0);
  SetActiveWindow(top);
  EnableWindow(top, false);
  InjectClick(child, POINT{5, 5});
  PumpPendingMessages();
  EXPECT_TRUE(log.received.empty());
  EXPECT_EQ(GetActiveWindow(), dialog);
}

}  // namespace
