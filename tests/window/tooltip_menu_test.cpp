// The tooltip control and the system menu stand-in.
#include "tests/window/window_fixture.h"

#include "platform/core/threads.h"

namespace {

using namespace plat;
using tesmer_test::MessageLog;
using tesmer_test::RegisterTestClass;
using tesmer_test::WindowTest;

class TooltipTest : public WindowTest {};
class SystemMenuTest : public WindowTest {};

// Pumps until `done` or about `limitMs` milliseconds have passed.
template <typename F>
bool PumpUntil(F done, int limitMs = 2000) {
  for (int i = 0; i < limitMs / 10; ++i) {
    PumpPendingMessages();
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

TEST_F(TooltipTest, TipShowsNearThePointerAfterARestWrapsAtTheMaximumWidthAndHidesOnClick) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 200, 200, 400, 200, HWND{}, 0);
  HWND button = CreateWindowExW(0, WC_BUTTON, u"脱敏", WS_CHILD | WS_VISIBLE, 20, 20, 60, 30, top, 1005);
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASS, u"", WS_POPUP, 0, 0, 0, 0, button, 0);
  ASSERT_TRUE(tip);
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 120);
  SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 60);
  TOOLINFOW tool;
  tool.hwnd = button;
  tool.uId = 1;
  GetClientRect(button, &tool.rect);
  tool.text = u"将打开的DICOM文件进行脱敏化";
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<intptr_t>(&tool));
  // The button's messages are relayed by the loop's filter, before dispatch.
  SetPreTranslateFilter(button, [tip](MSG& msg) {
    SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<intptr_t>(&msg));
    return false;
  });
  PumpPendingMessages();
  EXPECT_FALSE(IsWindowVisible(tip));

  InjectMouseMove(button, POINT{10, 10});
  PumpPendingMessages();
  EXPECT_FALSE(IsWindowVisible(tip));  // not at once: only after a rest
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip); }));

  POINT pointer{10, 10};
  ClientToScreen(button, &pointer);
  RECT r{};
  GetWindowRect(tip, &r);
  EXPECT_LE(r.right - r.left, 120);
  EXPECT_GE(r.left, pointer.x - 120);
  EXPECT_GT(r.top, pointer.y);
  EXPECT_LT(r.top, pointer.y + 40);
  // The text wrapped to more than one line.
  DialogBaseUnits units = GetDialogBaseUnits(u"MS Shell Dlg", 8, 400);
  EXPECT_GT(r.bottom - r.top, 2 * units.y);
  // The tip is painted: a frame and the info background.
  EXPECT_EQ(GetWindowPixel(tip, 0, 0), GetSysColor(COLOR_INFOTEXT));
  EXPECT_EQ(GetWindowPixel(tip, 2, 1), GetSysColor(COLOR_INFOBK));

  // One tool per control: replacing the text keeps one tool.
  tool.text = u"导入文件";
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<intptr_t>(&tool));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  TOOLINFOW query;
  query.hwnd = button;
  query.uId = 1;
  SendMessageW(tip, TTM_GETTEXTW, 0, reinterpret_cast<intptr_t>(&query));
  EXPECT_EQ(query.text, u"导入文件");

  InjectMouseButton(button, POINT{10, 10}, 0, true);
  PumpPendingMessages();
  EXPECT_FALSE(IsWindowVisible(tip));
  InjectMouseButton(button, POINT{10, 10}, 0, false);
  // Leaving the button and coming back shows it again.
  InjectMouseMove(top, POINT{300, 150});
  InjectMouseMove(button, POINT{12, 12});
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip); }));

  // An inactive tooltip shows nothing.
  SendMessageW(tip, TTM_ACTIVATE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(tip));
  InjectMouseMove(top, POINT{300, 150});
  InjectMouseMove(button, POINT{14, 14});
  EXPECT_FALSE(PumpUntil([&] { return IsWindowVisible(tip); }, 300));  // five times the delay
}

TEST_F(TooltipTest, SubclassedToolRelaysItsOwnMessages) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, HWND{}, 0);
  HWND button = CreateWindowExW(0, WC_BUTTON, u">", WS_CHILD | WS_VISIBLE, 20, 20, 60, 30, top, 1013);
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASS, u"", WS_POPUP, 0, 0, 0, 0, top, 0);
  SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 30);
  TOOLINFOW tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = top;
  tool.uId = button.id;
  tool.text = u"扩大/缩小工作区";
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<intptr_t>(&tool));
  InjectMouseMove(button, POINT{5, 5});
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(tip); }));
  // Destroying the owner takes the tooltip with it.
  DestroyWindow(top);
  EXPECT_FALSE(IsWindow(tip));
}

TEST_F(SystemMenuTest, AppendedItemIsChosenWithAltSpaceF1OrAClickAndSendsItsId) {
  MessageLog log({WM_SYSCOMMAND});
  RegisterTestClass(u"MenuOwner", log.Proc());
  HWND plain = CreateWindowExW(0, u"MenuOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, HWND{}, 0);
  EXPECT_FALSE(GetSystemMenu(plain, false));
  HWND top = CreateWindowExW(0, u"MenuOwner", u"", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 10, 10, 300,
                             200, HWND{}, 0);
  HWND button = CreateWindowExW(0, WC_BUTTON, u"x", WS_CHILD | WS_VISIBLE, 20, 20, 60, 30, top, 1);
  HMENU menu = GetSystemMenu(top, false);
  ASSERT_TRUE(menu);
  EXPECT_EQ(GetSystemMenu(top, false), menu);
  // Nothing appended: Alt+Space opens nothing.
  SetFocus(button);
  InjectKeyPress(VK_SPACE, 0, true);
  PumpPendingMessages();
  EXPECT_FALSE(GetOpenSystemMenu());

  ASSERT_TRUE(AppendMenuW(menu, MF_SEPARATOR, 0, u""));
  ASSERT_TRUE(AppendMenuW(menu, MF_STRING, 0x0010, u"关于Tesmer(&A)..."));
  EXPECT_EQ(GetMenuItemCount(menu), 2);
  // Check marks: set, cleared, and the previous state returned.
  EXPECT_FALSE(IsMenuItemChecked(menu, 0x0010));
  EXPECT_EQ(CheckMenuItem(menu, 0x0010, MF_BYCOMMAND | MF_CHECKED), static_cast<int>(MF_UNCHECKED));
  EXPECT_TRUE(IsMenuItemChecked(menu, 0x0010));
  EXPECT_EQ(CheckMenuItem(menu, 0x0010, MF_BYCOMMAND | MF_UNCHECKED), static_cast<int>(MF_CHECKED));
  EXPECT_FALSE(IsMenuItemChecked(menu, 0x0010));
  EXPECT_EQ(CheckMenuItem(menu, 0x0090, MF_CHECKED), -1);

  InjectKeyPress(VK_SPACE, 0, true);
  PumpPendingMessages();
  ASSERT_TRUE(GetOpenSystemMenu());
  InjectKeyPress(VK_RETURN);
  PumpPendingMessages();
  EXPECT_FALSE(GetOpenSystemMenu());
  ASSERT_EQ(log.received.size(), 1u);
  EXPECT_EQ(log.received[0].window, top);
  EXPECT_EQ(log.received[0].wParam & 0xFFF0, 0x0010u);
  EXPECT_EQ(GetFocus(), button);

  // Esc closes without a command.
  log.received.clear();
  InjectKeyPress(VK_F1);
  PumpPendingMessages();
  ASSERT_TRUE(GetOpenSystemMenu());
  InjectKeyPress(VK_ESCAPE);
  PumpPendingMessages();
  EXPECT_FALSE(GetOpenSystemMenu());
  EXPECT_TRUE(log.received.empty());

  // A click on the item chooses it; the separator does nothing.
  InjectKeyPress(VK_F1);
  PumpPendingMessages();
  HWND popup = GetOpenSystemMenu();
  ASSERT_TRUE(popup);
  RECT client;
  GetClientRect(popup, &client);
  InjectClick(popup, POINT{10, 4});  // the separator
  PumpPendingMessages();
  EXPECT_TRUE(GetOpenSystemMenu());
  InjectClick(popup, POINT{10, client.bottom - 6});
  PumpPendingMessages();
  EXPECT_FALSE(GetOpenSystemMenu());
  ASSERT_EQ(log.received.size(), 1u);
  EXPECT_EQ(log.received[0].wParam, 0x0010u);

  GetSystemMenu(top, true);
  EXPECT_EQ(GetMenuItemCount(menu), 0);
}

}  // namespace
