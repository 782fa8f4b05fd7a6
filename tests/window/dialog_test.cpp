// Dialogs from templates: modal runs and their result codes, the dialog
// keyboard, default focus, dialog units, control colours, owner-drawn
// buttons and the loop's pre-translation step.
#include "tests/window/window_fixture.h"

#include <memory>

namespace {

using namespace plat;
using tesmer_test::MessageLog;
using tesmer_test::WindowTest;

class DialogTest : public WindowTest {};

constexpr uint32_t WM_TEST_ACT = WM_USER + 100;

// A dialog with a text, a "是" (6) and a "否" (7) button, and a hidden "确定" (1).
DialogTemplate QuestionTemplate() {
  DialogTemplate t;
  t.caption = u"问题";
  t.cx = 200;
  t.cy = 100;
  t.items.push_back(CText(u"信息提示", 1014, 10, 20, 180, 8));
  t.items.push_back(PushButton(u"确定", IDOK, 75, 70, 50, 14, WS_TABSTOP));
  t.items.push_back(PushButton(u"是", IDYES, 40, 70, 50, 14));
  t.items.push_back(PushButton(u"否", IDNO, 110, 70, 50, 14));
  return t;
}

// A procedure that, once the dialog runs, performs `act` and otherwise ends
// the run with the id of a button command as the message box does.
WindowProc RunningProc(std::function<void(HWND)> act, std::shared_ptr<std::vector<uint32_t>> seen = nullptr) {
  return [act, seen](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (seen) seen->push_back(m);
    switch (m) {
      case WM_INITDIALOG:
        PostMessageW(h, WM_TEST_ACT, 0, 0);
        return 1;
      case WM_TEST_ACT:
        act(h);
        return 0;
      case WM_COMMAND:
        if (LOWORD(w) == IDYES || LOWORD(w) == IDOK) {
          EndDialog(h, 1);
          return 0;
        }
        if (LOWORD(w) == IDNO) {
          EndDialog(h, 2);
          return 0;
        }
        return DefDlgProcW(h, m, w, l);
      default:
        return DefDlgProcW(h, m, w, l);
    }
  };
}

TEST_F(DialogTest, ModalRunReturnsTheCodeOfTheButtonThatEndedItAndEscGivesTwo) {
  struct Case {
    const char* what;
    std::function<void(HWND)> act;
    intptr_t expected;
  } cases[] = {
      {"click 是", [](HWND d) { InjectClick(GetDlgItem(d, IDYES), POINT{5, 5}); }, 1},
      {"click 否", [](HWND d) { InjectClick(GetDlgItem(d, IDNO), POINT{5, 5}); }, 2},
      {"Esc", [](HWND) { InjectKeyPress(VK_ESCAPE); }, 2},
      {"Enter on the first tab stop", [](HWND) { InjectKeyPress(VK_RETURN); }, 1},
      {"Tab then Enter", [](HWND) {
         InjectKeyPress(VK_TAB);
         InjectKeyPress(VK_RETURN);
       }, 2},
      {"Tab then Space", [](HWND) {
         InjectKeyPress(VK_TAB);
         InjectKeyPress(VK_SPACE);
       }, 2},
      {"close box", [](HWND d) { InjectClose(d); }, 2},
  };
  DialogTemplate t = QuestionTemplate();
  t.items[1].style &= ~WS_VISIBLE;  // "确定" hidden: the first visible tab stop is "是"
  for (const Case& c : cases) {
    EXPECT_EQ(DialogBoxIndirectParamW(t, HWND{}, RunningProc(c.act), 0), c.expected) << c.what;
    EXPECT_TRUE(GetTopLevelWindows().empty()) << c.what;
  }
}

TEST_F(DialogTest, OwnerIsDisabledWhileTheDialogRunsAndEnabledAfter) {
  DialogTemplate main = QuestionTemplate();
  main.style |= WS_VISIBLE;
  HWND owner = CreateDialogIndirectParamW(main, HWND{}, DefDlgProcW, 0);
  SetMainWindow(owner);
  HWND no = GetDlgItem(owner, IDNO);
  SetFocus(no);
  bool ownerEnabledDuringRun = true;
  HWND dialog;
  auto act = [&](HWND d) {
    dialog = d;
    ownerEnabledDuringRun = IsWindowEnabled(owner);
    EndDialog(d, 7);
  };
  // No owner given: the main window owns the dialog.
  EXPECT_EQ(DialogBoxIndirectParamW(QuestionTemplate(), HWND{}, RunningProc(act), 0), 7);
  EXPECT_FALSE(ownerEnabledDuringRun);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(GetActiveWindow(), owner);
  // The owner's control that had the focus has it again.
  EXPECT_EQ(GetFocus(), no);
}

TEST_F(DialogTest, InitialisationComesOnceBeforeShowingAndFocusGoesToTheFirstVisibleTabStop) {
  auto seen = std::make_shared<std::vector<uint32_t>>();
  bool visibleAtInit = true;
  HWND focusAtAct;
  HWND yes;
  WindowProc inner = RunningProc(
      [&](HWND d) {
        focusAtAct = GetFocus();
        yes = GetDlgItem(d, IDYES);
        EndDialog(d, 1);
      },
      seen);
  WindowProc proc = [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_INITDIALOG) {
      visibleAtInit = IsWindowVisible(h);
      ShowWindow(GetDlgItem(h, IDOK), SW_HIDE);
    }
    return inner(h, m, w, l);
  };
  DialogBoxIndirectParamW(QuestionTemplate(), HWND{}, proc, 0);
  EXPECT_EQ(std::count(seen->begin(), seen->end(), uint32_t(WM_INITDIALOG)), 1);
  EXPECT_FALSE(visibleAtInit);
  EXPECT_EQ(focusAtAct, yes);
}

TEST_F(DialogTest, DialogUnitsFollowTheFontsBaseUnits) {
  DialogTemplate t = QuestionTemplate();
  HWND d = CreateDialogIndirectParamW(t, HWND{}, DefDlgProcW, 0);
  ASSERT_TRUE(d);
  DialogBaseUnits units = GetDialogBaseUnitsOf(d);
  DialogBaseUnits measured = GetDialogBaseUnits(t.fontFace, t.pointSize, t.weight);
  EXPECT_EQ(units.x, measured.x);
  EXPECT_EQ(units.y, measured.y);
  EXPECT_GE(units.x, 4);
  EXPECT_GE(units.y, 10);
  RECT client{};
  GetClientRect(d, &client);
  EXPECT_EQ(client.right, (200 * units.x + 2) / 4);
  EXPECT_EQ(client.bottom, (100 * units.y + 4) / 8);
  RECT yes{};
  GetWindowRect(GetDlgItem(d, IDYES), &yes);
  POINT origin{0, 0};
  ClientToScreen(d, &origin);
  EXPECT_EQ(yes.left - origin.x, (40 * units.x + 2) / 4);
  EXPECT_EQ(yes.top - origin.y, (70 * units.y + 4) / 8);
  RECT mapped{40, 70, 90, 84};
  MapDialogRect(d, &mapped);
  EXPECT_EQ(mapped.right - mapped.left, yes.right - yes.left);
  // A bigger font gives bigger units.
  DialogBaseUnits nine = GetDialogBaseUnits(u"MS Shell Dlg", 12, 400);
  EXPECT_GT(nine.y, units.y);
}

TEST_F(DialogTest, ControlColourAnswerColoursTheTextOfAStatic) {
  HBRUSH face = CreateSolidBrush(RGB(34, 37, 43));
  DialogTemplate t;
  t.cx = 100;
  t.cy = 40;
  t.style |= WS_VISIBLE;
  t.items.push_back(LText(u"██████", 1003, 0, 0, 100, 20));
  HWND d = CreateDialogIndirectParamW(
      t, HWND{},
      [face](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
        if (m == WM_CTLCOLORSTATIC || m == WM_CTLCOLORDLG) {
          DefDlgProcW(h, m, w, l);
          SetTextColor(reinterpret_cast<HDC>(w), RGB(255, 0, 0));
          SetBkColor(reinterpret_cast<HDC>(w), RGB(34, 37, 43));
          return reinterpret_cast<intptr_t>(face);
        }
        return DefDlgProcW(h, m, w, l);
      },
      0);
  PumpPendingMessages();
  HWND text = GetDlgItem(d, 1003);
  WindowPixels px = CopyWindowPixels(text);
  int red = 0, faceColour = 0, other = 0;
  for (uint32_t p : px.pixels) {
    COLORREF c = ColorFromPixel(p);
    if (c == RGB(255, 0, 0)) {
      ++red;
    } else if (c == RGB(34, 37, 43)) {
      ++faceColour;
    } else {
      ++other;
    }
  }
  EXPECT_GT(red, 20);
  EXPECT_GT(faceColour, 20);
  // The dialog's own face comes from its answer too.
  RECT client;
  GetClientRect(d, &client);
  EXPECT_EQ(GetWindowPixel(d, client.right - 1, client.bottom - 1), RGB(34, 37, 43));
  DestroyWindow(d);
  DeleteObject(face);
}

TEST_F(DialogTest, ControlMayAnswerItsOwnColourQueryThroughReflection) {
  HBRUSH own = CreateSolidBrush(RGB(0, 128, 0));
  DialogTemplate t;
  t.cx = 100;
  t.cy = 40;
  t.style |= WS_VISIBLE;
  t.items.push_back(LText(u"", 1003, 0, 0, 100, 20));
  HWND d = CreateDialogIndirectParamW(t, HWND{}, DefDlgProcW, 0);
  HWND text = GetDlgItem(d, 1003);
  WindowProc previous = GetWindowProcedure(text);
  SubclassWindow(text, [own, previous](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == OCM__BASE + WM_CTLCOLORSTATIC) return reinterpret_cast<intptr_t>(own);
    return CallWindowProcW(previous, h, m, w, l);
  });
  InvalidateRect(text, nullptr, true);
  PumpPendingMessages();
  EXPECT_EQ(GetWindowPixel(text, 5, 5), RGB(0, 128, 0));
  DestroyWindow(d);
  DeleteObject(own);
}

TEST_F(DialogTest, OwnerDrawnButtonGetsDrawItemWithSelectedFocusAndDisabledBits) {
  auto states = std::make_shared<std::vector<uint32_t>>();
  DialogTemplate t;
  t.cx = 100;
  t.cy = 50;
  t.style |= WS_VISIBLE;
  t.items.push_back(Control(u"A", 1005, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 10, 10,
                            30, 14));
  t.items.push_back(Control(u"B", 1009, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 50, 10,
                            30, 14));
  auto commands = std::make_shared<int>(0);
  HWND d = CreateDialogIndirectParamW(
      t, HWND{},
      [states, commands](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
        if (m == WM_DRAWITEM) {
          const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
          if (item->CtlID == 1005) states->push_back(item->itemState);
          return 1;
        }
        if (m == WM_COMMAND && LOWORD(w) == 1005) ++*commands;
        return DefDlgProcW(h, m, w, l);
      },
      0);
  HWND a = GetDlgItem(d, 1005);
  PumpPendingMessages();
  ASSERT_FALSE(states->empty());
  EXPECT_EQ(states->back() & (ODS_SELECTED | ODS_DISABLED), 0u);
  EXPECT_EQ(states->back() & ODS_FOCUS, uint32_t(ODS_FOCUS));  // the first tab stop has the focus

  InjectMouseMove(a, POINT{3, 3});
  InjectMouseButton(a, POINT{3, 3}, 0, true);
  PumpPendingMessages();
  EXPECT_EQ(states->back() & ODS_SELECTED, uint32_t(ODS_SELECTED));
  InjectMouseButton(a, POINT{3, 3}, 0, false);
  PumpPendingMessages();
  EXPECT_EQ(states->back() & ODS_SELECTED, 0u);
  EXPECT_EQ(*commands, 1);

  SetFocus(GetDlgItem(d, 1009));
  EnableWindow(a, false);
  PumpPendingMessages();
  EXPECT_EQ(states->back() & ODS_DISABLED, uint32_t(ODS_DISABLED));
  EXPECT_EQ(states->back() & ODS_FOCUS, 0u);

  // Released outside: no command.
  EnableWindow(a, true);
  InjectMouseButton(a, POINT{3, 3}, 0, true);
  InjectMouseMove(d, POINT{1, 1});
  InjectMouseButton(d, POINT{1, 1}, 0, false);
  PumpPendingMessages();
  EXPECT_EQ(*commands, 1);
}

TEST_F(DialogTest, ButtonStyleAndDialogCodes) {
  HWND d = CreateDialogIndirectParamW(QuestionTemplate(), HWND{}, DefDlgProcW, 0);
  HWND yes = GetDlgItem(d, IDYES);
  EXPECT_EQ(SendMessageW(yes, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
  SendMessageW(yes, BM_SETSTYLE, BS_DEFPUSHBUTTON, 1);
  EXPECT_EQ(SendMessageW(yes, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
  SendMessageW(yes, BM_SETSTYLE, BS_OWNERDRAW, 1);
  EXPECT_EQ(uint32_t(GetWindowLongW(yes, GWL_STYLE)) & BS_TYPEMASK, uint32_t(BS_OWNERDRAW));
  EXPECT_TRUE(GetWindowLongW(yes, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(DialogTest, PreTranslationCanSwallowAndRewriteMessagesBeforeDispatch) {
  auto got = std::make_shared<std::vector<uint32_t>>();
  auto clicks = std::make_shared<int>(0);
  DialogTemplate t = QuestionTemplate();
  t.items[1].style &= ~WS_VISIBLE;
  intptr_t result = DialogBoxIndirectParamW(
      t, HWND{},
      [got, clicks](HWND d, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
        if (m == WM_INITDIALOG) {
          PostMessageW(d, WM_TEST_ACT, 0, 0);
          return 1;
        }
        if (m == WM_COMMAND && LOWORD(w) == IDYES) {
          // Two presses of the button are two commands.
          if (++*clicks == 2) EndDialog(d, 5);
          return 0;
        }
        if (m != WM_TEST_ACT) return DefDlgProcW(d, m, w, l);
        HWND yes = GetDlgItem(d, IDYES);
        // Enter and Esc are swallowed by the dialog's filter.
        SetPreTranslateFilter(d, [](MSG& msg) {
          return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
        });
        // The button's filter turns a double-click into a second press.
        SetPreTranslateFilter(yes, [got](MSG& msg) {
          if (msg.message == WM_LBUTTONDBLCLK) msg.message = WM_LBUTTONDOWN;
          got->push_back(msg.message);
          return false;
        });
        InjectKeyPress(VK_ESCAPE);
        InjectKeyPress(VK_RETURN);
        InjectClick(yes, POINT{4, 4});
        InjectClick(yes, POINT{4, 4});
        return 0;
      },
      0);
  EXPECT_EQ(result, 5);
  EXPECT_EQ(*clicks, 2);
  std::vector<uint32_t> buttons;
  for (uint32_t m : *got) {
    if (m == WM_LBUTTONDOWN || m == WM_LBUTTONUP || m == WM_LBUTTONDBLCLK) buttons.push_back(m);
  }
  EXPECT_EQ(buttons, (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(DialogTest, DialogWindowClassRunsItsVirtualOperations) {
  class Box : public DialogWindow {
   public:
    using DialogWindow::DialogWindow;
    bool initialised = false;

   protected:
    bool OnInitDialog() override {
      initialised = true;
      SetDlgItemTextW(GetSafeHwnd(), 1014, u"退出Tesmer？");
      PostMessageW(GetSafeHwnd(), WM_TEST_ACT, 0, 0);
      return true;
    }
    intptr_t WindowProc(uint32_t m, uintptr_t w, intptr_t l) override {
      if (m == WM_TEST_ACT) {
        EXPECT_EQ(GetDlgItemTextW(GetSafeHwnd(), 1014), u"退出Tesmer？");
        InjectKeyPress(VK_ESCAPE);
        return 0;
      }
      return DialogWindow::WindowProc(m, w, l);
    }
  };
  Box box(QuestionTemplate());
  EXPECT_EQ(box.DoModal(), IDCANCEL);
  EXPECT_TRUE(box.initialised);
  EXPECT_FALSE(IsWindow(box.GetSafeHwnd()));
}

}  // namespace
