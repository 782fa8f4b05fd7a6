// CvxMessageBox run modally: which buttons each mode shows, what the keys and
// buttons answer, the text and the colours of the box.
#include "controls/message_box.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"

using namespace plat;

namespace {

constexpr uint32_t WM_TEST_ACT = WM_USER + 900;

struct Seen {
  bool yes = false, no = false, ok = false;
  std::u16string text;
  COLORREF face = CLR_INVALID;
  COLORREF band = CLR_INVALID;
  SIZE bandSize{0, 0};
  int focusId = 0;
  HWND box;
  RECT boxRect{}, textRect{}, okRect{};
  std::vector<bool> inkRows;  // per row of the text control: whether it holds a pixel of text
};

// A box that, once running, notes what it shows and then acts.
class ScriptedBox : public CvxMessageBox {
 public:
  std::function<void(ScriptedBox&)> act;
  Seen seen;

 protected:
  bool OnInitDialog() override {
    bool r = CvxMessageBox::OnInitDialog();
    PostMessageW(GetSafeHwnd(), WM_TEST_ACT, 0, 0);
    return r;
  }
  intptr_t WindowProc(uint32_t m, uintptr_t w, intptr_t l) override {
    if (m != WM_TEST_ACT) return CvxMessageBox::WindowProc(m, w, l);
    PumpPendingMessages();  // painted
    HWND h = GetSafeHwnd();
    seen.box = h;
    seen.yes = IsWindowVisible(GetDlgItem(IDYES));
    seen.no = IsWindowVisible(GetDlgItem(IDNO));
    seen.ok = IsWindowVisible(GetDlgItem(IDOK));
    seen.text = GetDlgItemTextW(h, kMessageBoxTextId);
    seen.focusId = GetDlgCtrlID(GetFocus());
    RECT client;
    GetClientRect(h, &client);
    seen.face = GetWindowPixel(h, client.right - 3, client.bottom - 3);
    HWND band = GetChildWindows(h).front();
    RECT r;
    GetWindowRect(band, &r);
    seen.bandSize = SIZE{r.right - r.left, r.bottom - r.top};
    seen.band = GetWindowPixel(band, 200, 5);
    GetWindowRect(h, &seen.boxRect);
    GetWindowRect(GetDlgItem(kMessageBoxTextId), &seen.textRect);
    GetWindowRect(GetDlgItem(IDOK), &seen.okRect);
    HWND text = GetDlgItem(kMessageBoxTextId);
    for (int y = 0; y < seen.textRect.bottom - seen.textRect.top; ++y) {
      bool ink = false;
      for (int x = 0; x < seen.textRect.right - seen.textRect.left && !ink; ++x)
        ink = GetWindowPixel(text, x, y) == RGB(177, 177, 177);
      seen.inkRows.push_back(ink);
    }
    if (act) act(*this);
    return 0;
  }
};

void Key(HWND root, uint32_t key) {
  for (auto kind : {InputEvent::KeyDown, InputEvent::KeyUp}) {
    InputEvent e;
    e.kind = kind;
    e.window = root;
    e.key = key;
    DeliverInput(e);
  }
}

void ClickOn(HWND control) {
  HWND root = GetAncestorRoot(control);
  POINT p{4, 4};
  MapWindowPoints(control, root, &p, 1);
  for (auto kind : {InputEvent::ButtonDown, InputEvent::ButtonUp}) {
    InputEvent e;
    e.kind = kind;
    e.window = root;
    e.point = p;
    DeliverInput(e);
  }
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetWindowState(); }
};

TEST_F(MessageBoxTest, AnswersOfTheQuestionAndTheNotice) {
  struct Case {
    const char* what;
    int32_t mode;
    std::function<void(ScriptedBox&)> act;
    intptr_t expected;
  } cases[] = {
      {"question, Esc", kMessageBoxQuestion, [](ScriptedBox& b) { Key(b.GetSafeHwnd(), VK_ESCAPE); }, 2},
      {"question, Enter on 是", kMessageBoxQuestion, [](ScriptedBox& b) { Key(b.GetSafeHwnd(), VK_RETURN); }, 1},
      {"question, click 是", kMessageBoxQuestion, [](ScriptedBox& b) { ClickOn(b.GetDlgItem(IDYES)); }, 1},
      {"question, click 否", kMessageBoxQuestion, [](ScriptedBox& b) { ClickOn(b.GetDlgItem(IDNO)); }, 2},
      {"question, closed", kMessageBoxQuestion,
       [](ScriptedBox& b) { PostMessageW(b.GetSafeHwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
      {"notice, Enter", kMessageBoxNotice, [](ScriptedBox& b) { Key(b.GetSafeHwnd(), VK_RETURN); }, 1},
      {"notice, Esc", kMessageBoxNotice, [](ScriptedBox& b) { Key(b.GetSafeHwnd(), VK_ESCAPE); }, 2},
  };
  for (const Case& c : cases) {
    ScriptedBox box;
    box.message = u"退出Tesmer？";
    box.mode = c.mode;
    box.act = c.act;
    EXPECT_EQ(box.DoModal(), c.expected) << c.what;
    EXPECT_FALSE(IsWindow(box.seen.box)) << c.what;
  }
}

TEST_F(MessageBoxTest, ModesShowTheirButtonsAndTheFocusStartsOnTheFirst) {
  ScriptedBox notice;
  notice.message = u"脱敏完成";
  notice.mode = kMessageBoxNotice;
  notice.act = [](ScriptedBox& b) { b.EndDialog(1); };
  notice.DoModal();
  EXPECT_TRUE(notice.seen.ok);
  EXPECT_FALSE(notice.seen.yes);
  EXPECT_FALSE(notice.seen.no);
  EXPECT_EQ(notice.seen.text, u"脱敏完成");
  EXPECT_EQ(notice.seen.focusId, IDOK);

  // A box whose mode was never set asks a question.
  ScriptedBox question;
  question.message = u"关闭所有打开的文件？";
  question.act = [](ScriptedBox& b) { b.EndDialog(2); };
  question.DoModal();
  EXPECT_FALSE(question.seen.ok);
  EXPECT_TRUE(question.seen.yes);
  EXPECT_TRUE(question.seen.no);
  EXPECT_EQ(question.seen.text, u"关闭所有打开的文件？");
  EXPECT_EQ(question.seen.focusId, IDYES);
}

TEST_F(MessageBoxTest, AMessageOfSeveralLinesMakesTheBoxTallerAndShowsEveryLine) {
  const auto run = [](const std::u16string& message) {
    ScriptedBox box;
    box.message = message;
    box.mode = kMessageBoxNotice;
    box.act = [](ScriptedBox& b) { b.EndDialog(1); };
    box.DoModal();
    return box.seen;
  };
  const Seen one = run(u"脱敏完成");
  const Seen four = run(u"脱敏完成，3 个文件写入失败\na.dcm：不是DICOM文件\nb.dcm：副本无法写入\n另有 1 个文件未列出");
  const auto height = [](const RECT& r) { return r.bottom - r.top; };
  const int lineHeight = height(one.textRect);
  ASSERT_GT(lineHeight, 0);
  // Three more lines: the text control, the box and the button's place grow
  // by the same amount, at least three lines' worth.
  const int extra = height(four.textRect) - height(one.textRect);
  EXPECT_GE(extra, 3 * lineHeight);
  EXPECT_EQ(height(four.boxRect) - height(one.boxRect), extra);
  EXPECT_EQ(four.okRect.top - four.boxRect.top, one.okRect.top - one.boxRect.top + extra);
  EXPECT_GE(four.okRect.top, four.textRect.bottom);
  // Every line is drawn: the text control is one line high per dialog
  // template, and each of the four line bands of the taller one holds ink.
  const auto inkIn = [](const Seen& seen, int first, int last) {
    for (int y = first; y < last && y < static_cast<int>(seen.inkRows.size()); ++y)
      if (seen.inkRows[static_cast<size_t>(y)]) return true;
    return false;
  };
  EXPECT_TRUE(inkIn(one, 0, lineHeight));
  for (int line = 0; line < 4; ++line) EXPECT_TRUE(inkIn(four, line * lineHeight, (line + 1) * lineHeight)) << line;
}

TEST_F(MessageBoxTest, FaceIsDarkGreyAndTheTitleBandIsTheDarkBitmap) {
  ScriptedBox box;
  box.message = u"";
  box.act = [](ScriptedBox& b) { b.EndDialog(2); };
  box.DoModal();
  EXPECT_EQ(box.seen.text, u"");  // an empty message shows an empty line
  EXPECT_EQ(box.seen.face, RGB(36, 36, 36));
  EXPECT_EQ(box.seen.bandSize.cx, 392);
  EXPECT_EQ(box.seen.bandSize.cy, 37);
  ASSERT_NE(box.seen.band, CLR_INVALID);
  EXPECT_LT(GetRValue(box.seen.band) + GetGValue(box.seen.band) + GetBValue(box.seen.band), 3 * 64);

  PixelView px;
  ASSERT_TRUE(GetBitmapPixels(MessageBoxBandBitmap(), px));
  EXPECT_EQ(px.width, 392);
  EXPECT_EQ(px.height, 37);
}

TEST_F(MessageBoxTest, BrushesAreReleasedWithTheWindow) {
  // A first run makes what lives for the process (the band bitmap, the
  // window layer's system-colour brushes).
  {
    ScriptedBox warm;
    warm.act = [](ScriptedBox& b) { b.EndDialog(1); };
    warm.DoModal();
  }
  GdiObjectCounts before;
  {
    before = GetGdiObjectCounts();
    ScriptedBox box;
    box.act = [](ScriptedBox& b) { b.EndDialog(1); };
    box.DoModal();
    EXPECT_EQ(box.faceBrush, nullptr);
    EXPECT_EQ(box.buttonBrush, nullptr);
  }
  EXPECT_EQ(GetGdiObjectCounts().brushes, before.brushes);
}

}  // namespace
