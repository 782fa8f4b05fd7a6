// CFlatButton on a dialog of its own, driven through the window layer's input
// path (the built-in headless backend) and checked by the pixels it paints.
#include "controls/flat_button.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/dialog.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"

using namespace plat;

namespace {

constexpr COLORREF kFace = RGB(34, 37, 43);
constexpr int kCaptioned = 1005;
constexpr int kEmpty = 1013;
constexpr int kDefault = 1;
constexpr int kOther = 1014;

DialogTemplate ButtonDialog() {
  DialogTemplate t;
  t.caption = u"buttons";
  t.cx = 200;
  t.cy = 100;
  t.pointSize = 9;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.items = {
      PushButton(u"脱敏", kCaptioned, 10, 10, 40, 23),
      PushButton(u"", kEmpty, 60, 10, 20, 23),
      DefPushButton(u"确定", kDefault, 100, 10, 40, 14),
      PushButton(u"清除", kOther, 150, 10, 40, 23),
  };
  return t;
}

// Pixels of a button's client area.
struct Shot {
  WindowPixels px;
  int Count(COLORREF c) const {
    int n = 0;
    for (uint32_t p : px.pixels) n += p == PixelFromColor(c);
    return n;
  }
  COLORREF At(int x, int y) const { return ColorFromPixel(px.At(x, y)); }
  // The bounding box of the pixels inside the frame that differ from `c`.
  RECT InkBox(COLORREF c) const {
    RECT box{px.width, px.height, -1, -1};
    for (int y = 1; y < px.height - 1; ++y)
      for (int x = 1; x < px.width - 1; ++x)
        if (px.At(x, y) != PixelFromColor(c)) {
          box.left = std::min<int>(box.left, x);
          box.top = std::min<int>(box.top, y);
          box.right = std::max<int>(box.right, x + 1);
          box.bottom = std::max<int>(box.bottom, y + 1);
        }
    return box;
  }
};

class FlatButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    commands = std::make_shared<std::vector<int>>();
    auto log = commands;
    dialog = CreateDialogIndirectParamW(
        ButtonDialog(), HWND{},
        [log](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
          if (m == WM_COMMAND) log->push_back(LOWORD(w));
          if (m == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) return 0;  // stays open
          if (m == WM_CTLCOLORDLG) {
            DefDlgProcW(h, m, w, l);
            static HBRUSH face = CreateSolidBrush(kFace);
            return reinterpret_cast<intptr_t>(face);
          }
          return DefDlgProcW(h, m, w, l);
        },
        0);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(captioned.SubclassDlgItem(kCaptioned, dialog));
    ASSERT_TRUE(empty.SubclassDlgItem(kEmpty, dialog));
    ASSERT_TRUE(defaultButton.SubclassDlgItem(kDefault, dialog));
    ASSERT_TRUE(other.SubclassDlgItem(kOther, dialog));
    ShowWindow(dialog, SW_SHOW);
    PumpPendingMessages();
  }
  void TearDown() override {
    if (IsWindow(dialog)) DestroyWindow(dialog);
    ResetWindowState();
  }

  // One pointer event at a client point of `over`, then the queue is run.
  void Pointer(InputEvent::Kind kind, HWND over, POINT client, int button = 0) {
    InputEvent e;
    e.kind = kind;
    e.window = GetAncestorRoot(over);
    POINT p = client;
    MapWindowPoints(over, e.window, &p, 1);
    e.point = p;
    e.button = button;
    time_ += 1000;  // far apart: no double-clicks unless asked for
    e.time = time_;
    DeliverInput(e);
    PumpPendingMessages();
  }
  void Click(HWND over, POINT client, uint32_t time) {
    for (auto kind : {InputEvent::ButtonDown, InputEvent::ButtonUp}) {
      InputEvent e;
      e.kind = kind;
      e.window = GetAncestorRoot(over);
      POINT p = client;
      MapWindowPoints(over, e.window, &p, 1);
      e.point = p;
      e.time = time;
      DeliverInput(e);
    }
    PumpPendingMessages();
  }
  Shot Take(const CFlatButton& b) { return Shot{CopyWindowPixels(b.GetSafeHwnd())}; }
  HWND Item(int id) { return GetDlgItem(dialog, id); }

  HWND dialog;
  std::shared_ptr<std::vector<int>> commands;
  CFlatButton captioned, empty, defaultButton, other;
  uint32_t time_ = 10000;
};

TEST_F(FlatButtonTest, HoverLightsFrameAndCaptionAndLeavingRestoresThem) {
  HWND b = Item(kCaptioned);
  Shot before = Take(captioned);
  EXPECT_EQ(before.At(1, 0), kFlatFrameNormal);
  EXPECT_GT(before.Count(kFlatTextNormal), 0);
  EXPECT_EQ(before.Count(kFlatTextHover), 0);
  // The corners stay unpainted: the parent's face shows there.
  EXPECT_EQ(before.At(0, 0), kFace);
  EXPECT_EQ(before.At(before.px.width - 1, before.px.height - 1), kFace);

  Pointer(InputEvent::MouseMove, b, POINT{5, 5});
  EXPECT_TRUE(captioned.hover);
  Shot over = Take(captioned);
  EXPECT_EQ(over.At(1, 0), kFlatFrameHover);
  EXPECT_EQ(over.At(0, 1), kFlatFrameHover);
  EXPECT_EQ(over.At(over.px.width - 1, 1), kFlatFrameHover);
  EXPECT_EQ(over.At(1, over.px.height - 1), kFlatFrameHover);
  EXPECT_EQ(over.At(0, 0), kFace);
  EXPECT_GT(over.Count(kFlatTextHover), 0);
  EXPECT_EQ(over.Count(kFlatTextNormal), 0);

  // Onto the dialog's face: the leave notification ends the hover.
  Pointer(InputEvent::MouseMove, dialog, POINT{2, 2});
  EXPECT_FALSE(captioned.hover);
  Shot after = Take(captioned);
  EXPECT_EQ(after.At(1, 0), kFlatFrameNormal);
  EXPECT_GT(after.Count(kFlatTextNormal), 0);
  EXPECT_EQ(after.Count(kFlatTextHover), 0);
}

TEST_F(FlatButtonTest, DragFromOutsideDoesNotLightTheButtonUntilReleased) {
  HWND b = Item(kCaptioned);
  Pointer(InputEvent::ButtonDown, dialog, POINT{2, 2});
  Pointer(InputEvent::MouseMove, b, POINT{5, 5});
  EXPECT_FALSE(captioned.hover);
  EXPECT_EQ(Take(captioned).At(1, 0), kFlatFrameNormal);
  Pointer(InputEvent::ButtonUp, b, POINT{5, 5});
  Pointer(InputEvent::MouseMove, b, POINT{6, 6});
  EXPECT_TRUE(captioned.hover);
  EXPECT_EQ(Take(captioned).At(1, 0), kFlatFrameHover);
}

TEST_F(FlatButtonTest, PressedCaptionMovesOnePixelRightAndDown) {
  HWND b = Item(kCaptioned);
  Pointer(InputEvent::MouseMove, b, POINT{5, 5});
  RECT up = Take(captioned).InkBox(kFace);
  Pointer(InputEvent::ButtonDown, b, POINT{5, 5});
  EXPECT_TRUE(captioned.pressed);
  Shot down = Take(captioned);
  RECT pressed = down.InkBox(kFace);
  EXPECT_GT(down.Count(kFlatTextHover), 0);  // hovering and pressed
  EXPECT_EQ(pressed.left, up.left + 1);
  EXPECT_EQ(pressed.top, up.top + 1);
  EXPECT_EQ(pressed.right, up.right + 1);
  EXPECT_EQ(pressed.bottom, up.bottom + 1);
  Pointer(InputEvent::ButtonUp, b, POINT{5, 5});
  EXPECT_FALSE(captioned.pressed);
  EXPECT_EQ(*commands, std::vector<int>{kCaptioned});
  // The click gave the button the focus.
  EXPECT_EQ(GetFocus(), b);
}

TEST_F(FlatButtonTest, DoubleClickGivesTwoCommandsAndTheButtonNeverSeesADoubleClick) {
  HWND b = Item(kOther);
  auto seen = std::make_shared<std::vector<uint32_t>>();
  WindowProc inner = GetWindowProcedure(b);
  SubclassWindow(b, [seen, inner](HWND h, uint32_t m, uintptr_t w, intptr_t l) {
    if (m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK) seen->push_back(m);
    return CallWindowProcW(inner, h, m, w, l);
  });
  Click(b, POINT{5, 5}, 50000);
  Click(b, POINT{5, 5}, 50100);  // within the double-click time
  EXPECT_EQ(*commands, (std::vector<int>{kOther, kOther}));
  EXPECT_EQ(*seen, (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
  SubclassWindow(b, inner);
}

TEST_F(FlatButtonTest, EmptyCaptionDrawsOnlyBackgroundAndFrame) {
  Shot s = Take(empty);
  const int w = s.px.width;
  const int h = s.px.height;
  int frame = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
      const bool edge = !corner && (x == 0 || y == 0 || x == w - 1 || y == h - 1);
      COLORREF c = s.At(x, y);
      if (edge) {
        frame += c == kFlatFrameNormal;
      } else {
        ASSERT_EQ(c, kFace) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(frame, 2 * (w - 2) + 2 * (h - 2));
}

TEST_F(FlatButtonTest, AttachTooltipTwiceKeepsOneToolWithTheSecondText) {
  captioned.AttachTooltip(nullptr);
  EXPECT_FALSE(captioned.Tooltip() && SendMessageW(captioned.Tooltip(), TTM_GETTOOLCOUNT, 0, 0) > 0);
  captioned.AttachTooltip(u"将打开的DICOM文件进行脱敏化");
  captioned.AttachTooltip(u"第二个提示");
  HWND tip = captioned.Tooltip();
  ASSERT_TRUE(IsWindow(tip));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 400);
  TOOLINFOW info;
  info.hwnd = captioned.GetSafeHwnd();
  info.uId = 1;
  SendMessageW(tip, TTM_GETTEXTW, 0, reinterpret_cast<intptr_t>(&info));
  EXPECT_EQ(info.text, u"第二个提示");
}

TEST_F(FlatButtonTest, KeyboardCodesFollowTheDefaultFlagAndTheStyleStaysOwnerDrawn) {
  EXPECT_TRUE(defaultButton.isDefault);
  EXPECT_FALSE(captioned.isDefault);
  const intptr_t push = DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON;
  EXPECT_EQ(SendMessageW(Item(kDefault), WM_GETDLGCODE, 0, 0) & push, DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(Item(kCaptioned), WM_GETDLGCODE, 0, 0) & push, DLGC_UNDEFPUSHBUTTON);
  for (HWND b : {Item(kCaptioned), Item(kDefault)})
    EXPECT_EQ(GetWindowLongW(b, GWL_STYLE) & 0x1F, 0x0B);

  SendMessageW(Item(kCaptioned), BM_SETSTYLE, BS_DEFPUSHBUTTON, 1);
  SendMessageW(Item(kDefault), BM_SETSTYLE, BS_PUSHBUTTON, 1);
  EXPECT_TRUE(captioned.isDefault);
  EXPECT_FALSE(defaultButton.isDefault);
  EXPECT_EQ(SendMessageW(Item(kCaptioned), WM_GETDLGCODE, 0, 0) & push, DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongW(Item(kCaptioned), GWL_STYLE) & 0x1F, 0x0B);
  EXPECT_EQ(GetWindowLongW(Item(kDefault), GWL_STYLE) & 0x1F, 0x0B);
}

TEST_F(FlatButtonTest, DisablingMovesTheFocusOnAndDrawsTheCaptionInShadow) {
  HWND b = Item(kCaptioned);
  Pointer(InputEvent::MouseMove, b, POINT{5, 5});
  SetFocus(b);
  EnableWindow(b, false);
  PumpPendingMessages();
  EXPECT_FALSE(captioned.hover);
  EXPECT_NE(GetFocus(), b);
  EXPECT_TRUE(GetFocus() == dialog || IsChild(dialog, GetFocus()));
  Shot s = Take(captioned);
  EXPECT_TRUE(captioned.disabled);
  EXPECT_GT(s.Count(GetSysColor(COLOR_BTNSHADOW)), 0);
  EXPECT_EQ(s.Count(kFlatTextNormal), 0);
}

TEST_F(FlatButtonTest, SystemColourChangeTakesTheButtonTextColourAndRecapturesTheBackground) {
  EXPECT_TRUE(captioned.HasCapturedBackground());
  SendMessageW(Item(kCaptioned), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_FALSE(captioned.HasCapturedBackground());
  const COLORREF text = GetSysColor(COLOR_BTNTEXT);
  EXPECT_EQ(captioned.normalTextColor, text);
  EXPECT_EQ(captioned.focusedTextColor, text);
  EXPECT_EQ(captioned.hoverPressedTextColor, text);
  EXPECT_EQ(captioned.hoverTextColor, kFlatTextHover);
  PumpPendingMessages();
  EXPECT_TRUE(captioned.HasCapturedBackground());
  Shot s = Take(captioned);
  EXPECT_EQ(s.At(0, 0), kFace);
  EXPECT_GT(s.Count(text), 0);
}

TEST_F(FlatButtonTest, DestroyingTheObjectFirstGivesTheWindowItsOwnProcedureBack) {
  HWND b;
  {
    CFlatButton temporary;
    b = CreateWindowExW(0, WC_BUTTON, u"临时", WS_CHILD | WS_VISIBLE, 0, 60, 40, 20, dialog, 2000);
    ASSERT_TRUE(temporary.Attach(b));
    temporary.AttachTooltip(u"提示");
    PumpPendingMessages();
  }
  // The window lives on and still draws and clicks as a plain button.
  InvalidateRect(b, nullptr, true);
  PumpPendingMessages();
  Click(b, POINT{5, 5}, 90000);
  EXPECT_EQ(commands->back(), 2000);
  DestroyWindow(b);
}

}  // namespace
