// The tag list: the column table, the cells of a row at their x offsets for
// nested and top-level elements, the frame with its tab, and the selection box.
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "platform/core/format.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

constexpr COLORREF kTagColour = 0xD68F5B;
constexpr COLORREF kPositionColour = 0xFBEC99;
constexpr COLORREF kNameColour = 0xC8C8C8;
constexpr COLORREF kVrColour = 0x67D2BA;
constexpr COLORREF kLengthColour = 0xC9C1FB;
constexpr COLORREF kValueColour = 0xE7EFE0;
constexpr COLORREF kFrame = 0xFDDE4B;
constexpr COLORREF kFrameDimmed = 0xAC9735;
constexpr COLORREF kTabText = 0x2B2522;
constexpr COLORREF kTextGrey = 0xA09894;

// A file with elements at depth 0, a sequence holding a sequence (depth 2 at
// its bottom), and an element of length 0.
std::vector<uint8_t> NestedFile() {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.9");
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 100")
      .Text(0x0008, 0x0060, "CS", "CT")
      .BeginSequence(0x0008, 0x1115)
      .BeginItem()
      .BeginSequence(0x0008, 0x1140)
      .BeginItem()
      .Uid(0x0008, 0x1150, "1.2.840.10008.5.1.4.1.1.2")
      .EndItem()
      .EndSequence()
      .EndItem()
      .EndSequence()
      .Text(0x0010, 0x0010, "PN", "DOE^JOHN")
      .Element(0x0018, 0x0050, "DS", std::string_view())
      .US(0x0028, 0x0010, 512);
  return b.Bytes();
}

class TagList : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    serial = Add(NestedFile(), u"/data/study/nested.dcm");
    Frame();
    panel.SetCurrentFile(serial);
    Frame();
    file = File(serial);
    ASSERT_NE(file, nullptr);
  }
  void TearDown() override {
    InitColumnTable();
    PanelTest::TearDown();
  }

  int IndexOf(uint16_t group, uint16_t element) {
    for (int32_t i = 0; i < file->elements.length; ++i)
      if (file->elements[i].group == group && file->elements[i].element == element) return i;
    ADD_FAILURE() << "no element " << group << "," << element;
    return 0;
  }
  int RowHeight() { return TextHeight() + 1; }
  int RowY(int index) { return 18 + panel.tagScroll + index * RowHeight(); }
  RECT Cell(int x, int width, int index) { return RECT{x, RowY(index), x + width, RowY(index) + RowHeight()}; }
  std::u16string Name(int index) { return NameOfKey(file->elements[index].Key()); }

  int32_t serial = -1;
  DicomFile* file = nullptr;
};

TEST(ColumnTable, StartUpOffsetsWidthAndTheEffectOfToggles) {
  InitColumnTable();
  const int32_t x[] = {0, 0, 74, 0, 362, 386, 454};
  for (int i = 0; i < kColumnCount; ++i) EXPECT_EQ(ColumnTable[i].x, x[i]) << "column " << i;
  EXPECT_EQ(ColumnsWidth(), 732);
  ColumnTable[kColumnPosition].visible = 1;
  LayoutColumns();
  EXPECT_EQ(ColumnTable[kColumnPosition].x, 74);
  EXPECT_EQ(ColumnTable[kColumnName].x, 74 + 88);
  EXPECT_EQ(ColumnTable[kColumnVr].x, 362 + 88);
  EXPECT_EQ(ColumnsWidth(), 820);
  InitColumnTable();
  ColumnTable[kColumnTag].visible = 0;
  LayoutColumns();
  EXPECT_EQ(ColumnTable[kColumnName].x, 0);
  EXPECT_EQ(ColumnTable[kColumnTag].x, 0);  // hidden columns keep their x
  EXPECT_EQ(ColumnsWidth(), 280 + 16 + 60 + 278 + 4 * 8);
  for (ColumnSpec& c : ColumnTable) c.visible = 0;
  EXPECT_EQ(ColumnsWidth(), 0);
  InitColumnTable();
}

TEST_F(TagList, CellsStandAtTheirOffsetsForDepthZeroAndDepthTwo) {
  struct Case {
    uint16_t group, element;
    int depth;
  } cases[] = {{0x0010, 0x0010, 0}, {0x0008, 0x1150, 2}};
  for (const Case& c : cases) {
    const int i = IndexOf(c.group, c.element);
    ASSERT_EQ(file->elements[i].depth, c.depth);
    const int indent = c.depth * 10;
    const DicomElement& e = file->elements[i];
    EXPECT_TRUE(ShowsCell(Cell(244 + indent, 66, i), ElementLabel(e), kTagColour)) << c.depth;
    // (A nested row's name cell reaches under the VR cell at 606.)
    EXPECT_TRUE(ShowsCell(Cell(318 + indent, 280, i), Name(i), kNameColour, 0, 606)) << c.depth;
    EXPECT_TRUE(ShowsCell(Cell(606, 16, i), std::u16string{char16_t(e.vr & 0xFF), char16_t(e.vr >> 8)}, kVrColour));
    EXPECT_TRUE(ShowsCell(Cell(630, 60, i), plat::FormatText(u"%d", {e.length}), kLengthColour, plat::DT_RIGHT));
    EXPECT_TRUE(ShowsCell(Cell(698, 278, i), ValueText(e, *file), kValueColour, plat::DT_SINGLELINE));
  }
}

TEST_F(TagList, AfterADeidentificationRunValuesThatMayIdentifyAPersonTurnYellow) {
  constexpr COLORREF kResidual = 0x00D6FF;
  const int name = IndexOf(0x0010, 0x0010), modality = IndexOf(0x0008, 0x0060);
  const RECT nameValue = Cell(698, 278, name), modalityValue = Cell(698, 278, modality);
  EXPECT_EQ(Count(nameValue, kResidual), 0);
  panel.markResiduals = true;
  Frame();
  // Patient's Name still has its value; the modality is kept by every profile.
  EXPECT_TRUE(ShowsCell(nameValue, ValueText(file->elements[name], *file), kResidual, plat::DT_SINGLELINE));
  EXPECT_TRUE(ShowsCell(modalityValue, ValueText(file->elements[modality], *file), kValueColour, plat::DT_SINGLELINE));
  EXPECT_EQ(Count(modalityValue, kResidual), 0);
  panel.markResiduals = false;
  Frame();
  EXPECT_EQ(Count(nameValue, kResidual), 0);
}

TEST_F(TagList, SequencesShowTwoDotsAndEmptyValuesZero) {
  const int sequence = IndexOf(0x0008, 0x1115);
  EXPECT_TRUE(ShowsCell(Cell(630, 60, sequence), u"..", kLengthColour, plat::DT_RIGHT));
  const int empty = IndexOf(0x0018, 0x0050);
  EXPECT_TRUE(ShowsCell(Cell(630, 60, empty), u"0", kLengthColour, plat::DT_RIGHT));
}

TEST_F(TagList, PositionColumnShiftsTheRestAndShowsOffsetAndEnd) {
  ColumnTable[kColumnPosition].visible = 1;
  LayoutColumns();
  Frame();
  // Row 0 is the meta group length: 12 bytes from offset 132.
  ASSERT_EQ(file->elements[0].offset, 132);
  ASSERT_EQ(file->elements[0].end, 144);
  EXPECT_TRUE(ShowsCell(Cell(318, 80, 0), u"   132 - 144   ", kPositionColour));
  const int i = IndexOf(0x0010, 0x0010);
  EXPECT_TRUE(ShowsCell(Cell(244 + 162, 280, i), Name(i), kNameColour));
  EXPECT_TRUE(ShowsCell(Cell(606 + 88, 16, i), u"PN", kVrColour));
  // The frame follows the wider columns.
  EXPECT_EQ(At(244 + 820 + 1, 300), kFrame);
  EXPECT_EQ(At(244 + 732 + 1, 300), kBackground);
}

TEST_F(TagList, HiddenTagColumnStartsTheNameAtTheIndentedRowStart) {
  ColumnTable[kColumnTag].visible = 0;
  LayoutColumns();
  Frame();
  const int i = IndexOf(0x0008, 0x1150);
  EXPECT_TRUE(ShowsCell(Cell(244 + 20, 280, i), Name(i), kNameColour, 0, 244 + 288));  // the VR cell moved to 288
  EXPECT_EQ(Count(RECT{244, 18, kWidth, kHeight}, kTagColour), 0);
  EXPECT_EQ(At(244 + 666 + 1, 300), kFrame);
}

TEST_F(TagList, DescriptionKeepsTheColourTheEarlierCellsLeft) {
  // With the name hidden, the description follows the tag label in its colour.
  ColumnTable[kColumnName].visible = 0;
  ColumnTable[kColumnDescription].visible = 1;
  LayoutColumns();
  Frame();
  const int i = IndexOf(0x0010, 0x0010);
  EXPECT_TRUE(ShowsCell(Cell(318, 120, i), Name(i), kTagColour));
}

TEST_F(TagList, FrameAndTabSurroundTheListAndDimWhileARowIsChosen) {
  const int w = 732;
  const plat::SIZE label = Extent(u"主选");
  const RECT tab{243, 18 - label.cy - 4, 243 + label.cx + 16, 18};
  // The outline one pixel outside {244, 18, 244 + w, H - 2}.
  EXPECT_EQ(Count(RECT{243, 17, 244 + w + 2, 18}, kFrame), w + 3);
  EXPECT_EQ(Count(RECT{243, 17, 244, kHeight}, kFrame), kHeight - 17);
  EXPECT_EQ(Count(RECT{244 + w + 1, 17, 244 + w + 2, kHeight}, kFrame), kHeight - 17);
  // The tab, its label and the path beside it.
  EXPECT_EQ(At(tab.left, tab.top), kFrame);
  EXPECT_EQ(At(tab.right - 1, tab.bottom - 1), kFrame);
  EXPECT_EQ(At(tab.right, tab.top), kBackground);
  EXPECT_GT(Count(tab, kTabText), 0);
  EXPECT_EQ(Box(kTabText, tab).left - tab.left >= 8, true);
  EXPECT_TRUE(ShowsTextAt(POINT{tab.right + 10, tab.top + 2}, file->displayPath, kTextGrey,
                          RECT{tab.right, 0, kWidth, 17}));

  // A double-click chooses a row: the frame dims and the row is boxed.
  panel.LeftDoubleClick(0, POINT{600, RowY(2) + 2});
  ASSERT_EQ(panel.hexRow, 2);
  Frame();
  EXPECT_EQ(At(243, 300), kFrameDimmed);
  EXPECT_EQ(At(tab.left, tab.top), kFrameDimmed);
  const int y0 = 18 + RowHeight() * 2 - 1;
  EXPECT_EQ(Count(RECT{244, y0, 244 + w + 1, y0 + 1}, kFrame), w + 1);
  EXPECT_EQ(Count(RECT{244, y0 + RowHeight(), 244 + w + 1, y0 + RowHeight() + 1}, kFrame), w + 1);
  // A right click in the tag area takes the choice back.
  EXPECT_EQ(panel.RightUp(0, POINT{600, 300}), 1);
  Frame();
  EXPECT_EQ(At(243, 300), kFrame);
  EXPECT_EQ(Count(RECT{244, y0, 244 + w + 1, y0 + 1}, kFrame), 0);
}

TEST_F(TagList, RowsScrolledAboveTheListDrawNothingOutsideIt) {
  panel.tagScroll = -5;
  Frame();
  EXPECT_EQ(Count(RECT{244, 0, kWidth, 17}, kTagColour), 0);
  EXPECT_EQ(Count(RECT{244, 0, kWidth, 17}, kNameColour), 0);
  // Row 1 is whole, at its scrolled place.
  const DicomElement& e = file->elements[1];
  EXPECT_TRUE(ShowsCell(Cell(244, 66, 1), ElementLabel(e), kTagColour));
}

TEST_F(TagList, ValuesOfABigEndianDataSetReadInItsByteOrder) {
  fixture::SimpleFile recipe;
  recipe.encoding = fixture::Encoding::ExplicitBig;
  recipe.patientName = "BIG^ENDIAN";
  int32_t big = Add(fixture::BuildSimpleFile(recipe), u"/data/big/b.dcm");
  Frame();
  panel.SetCurrentFile(big);
  Frame();
  file = File(big);
  ASSERT_NE(file, nullptr);
  const int rows = IndexOf(0x0028, 0x0010);  // US 4, stored as 00 04
  EXPECT_TRUE(ShowsCell(Cell(698, 278, rows), u"4", kValueColour, plat::DT_SINGLELINE));
  EXPECT_TRUE(ShowsCell(Cell(630, 60, rows), u"2", kLengthColour, plat::DT_RIGHT));
}

// A value the cell shows only in part ends in an ellipsis: a text cut at 48
// bytes, the first of several numbers, and a text wider than the cell.
TEST_F(TagList, ClippedValuesEndInAnEllipsis) {
  const std::string long60(60, 'N');
  std::string wide;
  for (int i = 0; i < 22; ++i) wide += "\xe7\x8e\x8b";  // 22 of 王 in UTF-8: 66 bytes
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 192");
  b.Text(0x0010, 0x0010, "PN", long60);
  b.Text(0x0010, 0x0020, "LO", "SHORT");
  b.Text(0x0010, 0x1000, "LO", wide);
  b.Element(0x0028, 0x0010, "US", std::vector<uint8_t>{1, 0, 2, 0});
  const int32_t other = Add(b.Bytes(), u"/data/study/long.dcm");
  panel.SetCurrentFile(other);
  Frame();
  DicomFile* f = File(other);
  ASSERT_NE(f, nullptr);
  // The expected text: the shown part and an ellipsis, as much of it as fits.
  const auto fitted = [&](std::u16string text) {
    while (Extent(text + u"…").cx > ColumnTable[kColumnValue].width) text.pop_back();
    return text + u"…";
  };
  const auto row = [&](uint16_t group, uint16_t element) {
    for (int32_t i = 0; i < f->elements.length; ++i)
      if (f->elements[i].group == group && f->elements[i].element == element) return i;
    return -1;
  };
  struct Case {
    uint16_t group, element;
    std::u16string shown;
  } cases[] = {
      {0x0010, 0x0010, fitted(std::u16string(48, u'N'))},
      {0x0010, 0x0020, u"SHORT "},
      {0x0010, 0x1000, fitted(std::u16string(16, u'王'))},
      {0x0028, 0x0010, u"1…"},
  };
  for (const Case& c : cases) {
    const int i = row(c.group, c.element);
    ASSERT_GE(i, 0);
    EXPECT_TRUE(ShowsCell(Cell(698, 278, i), c.shown, kValueColour, plat::DT_SINGLELINE)) << c.element;
  }
}

TEST_F(TagList, ContentHeightAndRowHeightFollowTheFont) {
  EXPECT_EQ(panel.tagRowHeight, RowHeight());
  EXPECT_EQ(panel.tagViewHeight, kHeight - 18);
  // The content height, computed at selection time, ends with the last row.
  EXPECT_EQ(panel.tagContentHeight, RowHeight() * file->elements.length);
}

}  // namespace
}  // namespace viewtest
