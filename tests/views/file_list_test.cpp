// The file list: patient headers, numbered rows, the marks of the current and
// the compare file, collapsing, hit tests, and long lists scrolled far down.
#include <unistd.h>

#include "platform/core/format.h"
#include "platform/core/text.h"
#include "tests/support/temp_dir.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

constexpr COLORREF kTextGrey = 0xA09894;
constexpr COLORREF kExpander = 0x10B122;
constexpr COLORREF kExpanderHover = 0x44EE55;
constexpr COLORREF kPatientText = 0xE8E4E2;
constexpr COLORREF kMainMark = 0xFDDE4B;
constexpr COLORREF kCompareMark = 0x77CBFD;
constexpr COLORREF kTabText = 0x2B2522;
constexpr COLORREF kPressed = 0x808080;
constexpr COLORREF kChangedRed = 0x4175FB;

class FileList : public PanelTest {
 protected:
  int Th() { return TextHeight(); }
  int Pitch() { return TextHeight() + 2; }
  // Row k (from 0, over all series) of a patient whose header is at y.
  int RowTop(int headerY, int k) { return headerY + Th() + 2 + k * Pitch(); }
  RECT RowCell(int headerY, int k) { return RECT{24, RowTop(headerY, k), 224, RowTop(headerY, k) + Th()}; }
};

TEST_F(FileList, PatientHeaderShowsExpanderLabelAndCount) {
  for (int i = 0; i < 4; ++i) Add(PatientFile("DOE^JOHN", "1.2.3", i), u"/d/a.dcm");
  Frame();
  Frame();  // the count follows the files taken over by the frame before
  const int ew = Extent(u"[+]").cx;
  const int lw = Extent(u"DOE^JOHN").cx;
  const int fw = Extent(u" f:").cx;
  const int x2 = 4 + ew + 4;
  const int h = Th();
  EXPECT_TRUE(ShowsTextAt(POINT{4, 4}, u"[+]", kExpander, RECT{0, 0, x2, 4 + h}));
  EXPECT_TRUE(ShowsTextAt(POINT{x2, 4}, u"DOE^JOHN", kPatientText, RECT{x2, 4, x2 + lw, 4 + h}));
  EXPECT_TRUE(ShowsTextAt(POINT{x2 + lw, 4}, u" f:", kPatientText, RECT{x2 + lw, 4, x2 + lw + fw, 4 + h}));
  EXPECT_TRUE(ShowsTextAt(POINT{x2 + lw + fw + 2, 4}, u"4", kPatientText, RECT{x2 + lw + fw, 4, 240, 4 + h}));
  const PatientEntry& p = *panel.patients[0];
  EXPECT_EQ(p.expanderRect.left, 4);
  EXPECT_EQ(p.expanderRect.right, 4 + ew);
  EXPECT_EQ(p.headerRect.left, 4);
  EXPECT_EQ(p.headerRect.right, x2 + lw + fw + 2 + Extent(u"4").cx);

  // Hovering over the expander lights it up; the move asks for a repaint.
  EXPECT_EQ(panel.MouseMove(0, POINT{6, 6}), 1);
  EXPECT_EQ(panel.MouseMove(0, POINT{7, 6}), 0);
  Frame();
  EXPECT_TRUE(ShowsTextAt(POINT{4, 4}, u"[+]", kExpanderHover, RECT{0, 0, x2, 4 + h}));

  // A press on the header draws a dotted outline one pixel around it.
  panel.LeftDown(kLeftButton, POINT{x2 + 2, 6});
  Frame();
  EXPECT_GT(Count(RECT{p.headerRect.left - 1, p.headerRect.top - 1, p.headerRect.right + 2, p.headerRect.top}, kPressed), 0);
  EXPECT_GT(Count(RECT{p.headerRect.right + 1, p.headerRect.top, p.headerRect.right + 2, p.headerRect.bottom + 1}, kPressed), 0);
  panel.LeftUp(0, POINT{x2 + 2, 6});
}

TEST_F(FileList, SeriesRowsAreNumberedPerSeriesOneBelowTheOther) {
  // Two series of 3 and 2 files, all with the same path text, so that the
  // rows differ only by their numbers.
  for (int i = 0; i < 3; ++i) Add(PatientFile("DOE^JOHN", "1.1", i), u"/d/a.dcm");
  for (int i = 0; i < 2; ++i) Add(PatientFile("DOE^JOHN", "2.2", 10 + i), u"/d/a.dcm");
  Add(PatientFile("ROE^JANE", "3.3", 20), u"/d/b.dcm");
  Frame();
  Frame();
  const char16_t* numbers[] = {u"1./d/a.dcm", u"2./d/a.dcm", u"3./d/a.dcm", u"1./d/a.dcm", u"2./d/a.dcm"};
  for (int k = 0; k < 5; ++k)
    EXPECT_TRUE(ShowsCell(RowCell(4, k), numbers[k], kTextGrey)) << "row " << k;
  // The second patient begins (th + 2) x 6 below the first one's top, plus
  // the 4-pixel gap between patients.
  const int next = 4 + Pitch() * 6 + 4;
  EXPECT_EQ(panel.patients[1]->headerRect.top, next);
  EXPECT_TRUE(ShowsTextAt(POINT{4, next}, u"[+]", kExpander, RECT{0, next, 4 + Extent(u"[+]").cx, next + Th()}));
  EXPECT_TRUE(ShowsCell(RowCell(next, 0), u"1./d/b.dcm", kTextGrey));
  // The content height reaches the last row: 14 pixels per header and per
  // file, and the 4-pixel gaps.
  EXPECT_EQ(panel.fileContentHeight, next + Pitch() * 2);
  EXPECT_EQ(panel.fileViewHeight, kHeight);
}

TEST_F(FileList, CurrentAndCompareRowsCarryTheirBoxesAndTabs) {
  for (int i = 0; i < 3; ++i) Add(PatientFile("DOE^JOHN", "1.1", i), u"/d/a.dcm");
  Frame();
  Click(POINT{40, RowTop(4, 0) + 2});
  panel.RightUp(0, POINT{40, RowTop(4, 2) + 2});
  Frame();
  struct Case {
    int row;
    std::u16string_view tab;
    COLORREF colour;
  } cases[] = {{0, u"主", kMainMark}, {2, u"比", kCompareMark}};
  for (const Case& c : cases) {
    const int x = 24;
    const int y = RowTop(4, c.row);
    const int th = Th();
    const int lw = Extent(c.tab).cx;
    // The box: 1-pixel lines from (x - 4, y - 2) to (x + 204, y + th + 2).
    EXPECT_EQ(Count(RECT{x - 4, y - 2, x + 205, y - 1}, c.colour), 209) << c.row;
    EXPECT_EQ(Count(RECT{x + 204, y - 2, x + 205, y + th + 3}, c.colour), th + 5) << c.row;
    if (c.row == 2) {  // the last row: no text below covers its bottom line
      EXPECT_EQ(Count(RECT{x - 4, y + th + 2, x + 205, y + th + 3}, c.colour), 209) << c.row;
    }
    // The tab left of the row, its label in the tab text colour.
    const RECT tab{x - 8 - lw, y - 2, x - 4, y + th + 3};
    EXPECT_EQ(At(tab.left, tab.top), c.colour);
    EXPECT_EQ(At(tab.left, tab.bottom - 1), c.colour);
    EXPECT_EQ(At(tab.left - 1, tab.top + 1), kBackground);
    EXPECT_EQ(At(tab.left + 1, tab.bottom), kBackground);
    EXPECT_GT(Count(tab, kTabText), 0);
    // The row's text is still there inside the box.
    EXPECT_GT(Count(RowCell(4, c.row), kTextGrey), 0);
  }
  // The row between carries no mark (the tab above reaches one pixel into it).
  EXPECT_EQ(Count(RECT{0, RowTop(4, 1) + 1, 24, RowTop(4, 1) + Th()}, kMainMark), 0);
  EXPECT_EQ(Count(RECT{0, RowTop(4, 1) + 1, 24, RowTop(4, 1) + Th()}, kCompareMark), 0);
}

TEST_F(FileList, LongPathsAreCutAt200PixelsWhileTheBoxKeepsItsWidth) {
  int32_t serial = Add(PatientFile("DOE^JOHN"), u"/数据/很长的文件夹名字/病人影像文件名字很长很长很长很长很长很长.dcm");
  Frame();
  panel.SetCurrentFile(serial);
  Frame();
  const int y = RowTop(4, 0);
  EXPECT_GT(Count(RECT{24, y, 224, y + Th()}, kTextGrey), 0);
  EXPECT_EQ(Count(RECT{224, y, 400, y + Th()}, kTextGrey), 0);
  // (The tag area's frame, further right, has the same colour.)
  EXPECT_EQ(Box(kMainMark, RECT{0, y - 2, 240, y - 1}).right, 24 + 204 + 1);
  EXPECT_EQ(Box(kMainMark, RECT{0, y - 2, 240, y - 1}).left, 24 - 8 - Extent(u"主").cx);
}

TEST_F(FileList, CollapsingHidesTheRowsAndTheyNoLongerAnswerClicks) {
  int32_t first = Add(PatientFile("DOE^JOHN", "1.1", 1), u"/d/a.dcm");
  Add(PatientFile("DOE^JOHN", "1.1", 2), u"/d/a.dcm");
  int32_t other = Add(PatientFile("ROE^JANE", "2.2", 3), u"/d/b.dcm");
  Frame();
  Frame();
  const int rowY = RowTop(4, 0) + 2;
  Click(POINT{5, 5});  // the expander
  EXPECT_EQ(panel.patients[0]->collapsed, 1);
  Frame();
  // (The press left the header outlined, one pixel outside these areas.)
  EXPECT_TRUE(ShowsTextAt(POINT{4, 4}, u"[-]", kExpanderHover, RECT{4, 4, 4 + Extent(u"[-]").cx, 4 + Th()}));
  // The count stays; the next patient moves up under the header.
  const RECT& header = panel.patients[0]->headerRect;
  EXPECT_TRUE(ShowsTextAt(POINT{header.right - Extent(u"2").cx, 4}, u"2", kPatientText,
                          RECT{header.right - Extent(u"2").cx - 2, 4, header.right + 1, 4 + Th()}));
  const int next = 4 + Pitch() + 4;
  EXPECT_EQ(panel.patients[1]->headerRect.top, next);
  // Where the hidden rows used to be, a click selects nothing hidden.
  Click(POINT{40, rowY});
  panel.RightUp(0, POINT{40, rowY + Pitch()});
  EXPECT_NE(panel.currentSerial, first);
  EXPECT_NE(panel.compareSerial, first);
  EXPECT_TRUE(announced.empty());
  // The other patient's row, now in that place, answers.
  Click(POINT{40, RowTop(next, 0) + 2});
  EXPECT_EQ(panel.currentSerial, other);
  // Expanding again brings the rows back, and they answer again.
  panel.MouseMove(0, POINT{5, 5});
  Click(POINT{5, 5});
  Frame();
  Click(POINT{40, rowY});
  EXPECT_EQ(panel.currentSerial, first);
}

TEST_F(FileList, FilesAddedLaterAppearNumberedAfterTheShownOnes) {
  for (int i = 0; i < 2; ++i) Add(PatientFile("DOE^JOHN", "1.1", i), u"/d/a.dcm");
  Frame();
  EXPECT_EQ(Count(RowCell(4, 2), kTextGrey), 0);
  Add(PatientFile("DOE^JOHN", "1.1", 7), u"/d/a.dcm");
  Frame();
  EXPECT_TRUE(ShowsCell(RowCell(4, 2), u"3./d/a.dcm", kTextGrey));
}

TEST_F(FileList, ALongListScrolledFarDownDrawsAndAnswersItsVisibleRows) {
  constexpr int kFiles = 600;
  std::vector<int32_t> serials;
  for (int i = 0; i < kFiles; ++i) serials.push_back(Add(PatientFile("DOE^JOHN", "1.1", i), u"/d/a.dcm"));
  Frame();
  Frame();
  ASSERT_EQ(panel.fileContentHeight, 4 + 14 * (kFiles + 1));
  // Scroll so that row 400 stands 5 pixels above the top of the frame.
  panel.fileScroll = -(4 + Th() + 2 + 400 * Pitch()) - 5;
  Frame();
  const int header = panel.fileScroll + 4;
  ASSERT_EQ(RowTop(header, 400), -5);
  for (int k : {400, 401, 420, 440}) {
    const int y = RowTop(header, k);
    EXPECT_TRUE(ShowsCell(RECT{24, y, 224, y + Th()}, plat::FormatText(u"%d./d/a.dcm", {k + 1}), kTextGrey)) << k;
  }
  EXPECT_EQ(Count(RECT{0, 0, 240, kHeight}, kExpander), 0);
  // The hit tests use this frame's places.
  Click(POINT{40, RowTop(header, 420) + 2});
  EXPECT_EQ(panel.currentSerial, serials[420]);
}

}  // namespace
TEST_F(FileList, AFileWhoseSourceChangedSinceLoadingIsMarked) {
  fixture::TempDir dir;
  fixture::SimpleFile recipe;
  recipe.pixelBytes = kViewedFileMinimum;  // viewed in place
  const std::string path = dir.Write("d/v.dcm", fixture::BuildSimpleFile(recipe));
  auto* file = new DicomFile;
  file->Analyse(plat::PathFromNative(path));
  ASSERT_TRUE(file->fileBytes.Adopted());
  const std::u16string row = u"1." + file->shortPath;
  ASSERT_TRUE(panel.collection.AddAnalysedFile(file));
  Frame();
  Frame();
  EXPECT_TRUE(ShowsCell(RowCell(4, 0), row, kTextGrey));
  ASSERT_EQ(::truncate(path.c_str(), 300), 0);
  Frame();
  // The mark makes the row longer than the list is wide, so its end is
  // shortened by width; its start is the number, the mark and the path's
  // first characters, all in red.
  const RECT cell = RowCell(4, 0);
  EXPECT_TRUE(ShowsCell(cell, u"1.[已更改]" + file->shortPath, kChangedRed, 0, cell.left + 80));
}

}  // namespace viewtest
