// The compare view: the alignment of two element lists, and the two aligned
// lists drawn side by side with placeholders and value colours.
#include <functional>

#include "analysis/value_text.h"
#include "platform/core/format.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

using fixture::DicomBuilder;

constexpr COLORREF kTagColour = 0xD68F5B;
constexpr COLORREF kPlaceholder = 0x888888;
constexpr COLORREF kValueSame = 0xE7EFE0;
constexpr COLORREF kValueDiffers = 0x4175FB;
constexpr COLORREF kValueOneSide = 0xAEC3FA;
constexpr COLORREF kMainFrame = 0xFDDE4B;
constexpr COLORREF kCompareFrame = 0x77CBFD;

// A file with preamble and meta group whose data set the caller writes; the
// meta groups of two such files are identical.
std::vector<uint8_t> FileOf(const std::function<void(DicomBuilder&)>& dataSet) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4");
  dataSet(b);
  return b.Bytes();
}

// A row as the tests state it: whether each side has the element.
struct Row {
  uint16_t group, element;
  bool main, compare;
  int32_t depth;
  int32_t same;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << std::hex << "(" << r.group << "," << r.element << std::dec << " main " << r.main << " compare "
             << r.compare << " depth " << r.depth << " same " << r.same << ")";
}

class CompareView : public PanelTest {
 protected:
  // Loads both files, makes the first current and the second the compare file.
  void Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    mainSerial = Add(a, u"/data/a/main.dcm");
    compareSerial = Add(b, u"/data/b/other.dcm");
    Frame();
    panel.SetCurrentFile(mainSerial);
    panel.SetCompareFile(compareSerial);
    ASSERT_EQ(panel.compareSerial, compareSerial);
  }
  // The rows after the meta group (which both files share).
  std::vector<Row> DataSetRows() {
    std::vector<Row> rows;
    for (const AlignmentRow& r : panel.alignment) {
      if (r.group == 0x0002) {
        EXPECT_TRUE(r.mainIndex >= 0 && r.compareIndex >= 0 && r.same == 1) << "meta rows pair up";
        continue;
      }
      rows.push_back(Row{r.group, r.element, r.mainIndex >= 0, r.compareIndex >= 0, r.depth, r.same});
    }
    return rows;
  }
  // Index of the alignment row of a tag (the first one).
  int RowOf(uint16_t group, uint16_t element) {
    for (int32_t i = 0; i < panel.alignment.length; ++i)
      if (panel.alignment[i].group == group && panel.alignment[i].element == element) return i;
    ADD_FAILURE() << "no row";
    return 0;
  }
  int Pitch() { return TextHeight() + 1; }
  int RowY(int row) { return 18 + panel.tagScroll + row * Pitch(); }

  int32_t mainSerial = -1;
  int32_t compareSerial = -1;
};

TEST_F(CompareView, AlignmentCases) {
  struct Case {
    const char* name;
    std::function<void(DicomBuilder&)> a, b;
    std::vector<Row> rows;
  } cases[] = {
      {"an element missing on one side",
       [](DicomBuilder& b) { b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0008, 0x0008, "CS", "ORIGINAL").Uid(0x0008, 0x0018, "1.2"); },
       [](DicomBuilder& b) {
         b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0008, 0x0008, "CS", "ORIGINAL").Uid(0x0008, 0x0016, "1.9").Uid(0x0008, 0x0018, "1.2");
       },
       {{0x0008, 0x0005, true, true, 0, 1}, {0x0008, 0x0008, true, true, 0, 1}, {0x0008, 0x0016, false, true, 0, 0}, {0x0008, 0x0018, true, true, 0, 1}}},
      {"same tag, different length or bytes",
       [](DicomBuilder& b) { b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x0020, "LO", "AB"); },
       [](DicomBuilder& b) { b.Text(0x0010, 0x0010, "PN", "DOE^JOHNNY").Text(0x0010, 0x0020, "LO", "AC"); },
       {{0x0010, 0x0010, true, true, 0, 0}, {0x0010, 0x0020, true, true, 0, 0}}},
      {"trailing private elements on one side",
       [](DicomBuilder& b) {
         b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0010, 0x0010, "PN", "X").Text(0x0029, 0x0010, "LO", "PRIV");
         for (uint16_t e : {0x1010, 0x1020, 0x1030, 0x1040}) b.Text(0x0029, e, "LO", "V");
       },
       [](DicomBuilder& b) { b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0010, 0x0010, "PN", "X"); },
       {{0x0008, 0x0005, true, true, 0, 1},
        {0x0010, 0x0010, true, true, 0, 1},
        {0x0029, 0x0010, true, false, 0, 0},
        {0x0029, 0x1010, true, false, 0, 0},
        {0x0029, 0x1020, true, false, 0, 0},
        {0x0029, 0x1030, true, false, 0, 0},
        {0x0029, 0x1040, true, false, 0, 0}}},
      {"a deeper element on one side",
       [](DicomBuilder& b) {
         b.BeginSequence(0x0008, 0x1115).BeginItem().Uid(0x0008, 0x1150, "1.2").EndItem().EndSequence().Text(0x0010, 0x0010, "PN", "X");
       },
       [](DicomBuilder& b) {
         b.BeginSequence(0x0008, 0x1115).EndSequence().Uid(0x0008, 0x1150, "1.2").Text(0x0010, 0x0010, "PN", "X");
       },
       {{0x0008, 0x1115, true, true, 0, 0}, {0x0008, 0x1150, true, false, 1, 0}, {0x0008, 0x1150, false, true, 0, 0}, {0x0010, 0x0010, true, true, 0, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    panel.ClearAll();
    Compare(FileOf(c.a), FileOf(c.b));
    EXPECT_EQ(DataSetRows(), c.rows);
    // Every element of both files has exactly one row, in its file's order.
    int32_t lastMain = -1, lastCompare = -1, mains = 0, compares = 0;
    for (const AlignmentRow& r : panel.alignment) {
      if (r.mainIndex >= 0) {
        EXPECT_EQ(r.mainIndex, lastMain + 1);
        lastMain = r.mainIndex;
        ++mains;
      }
      if (r.compareIndex >= 0) {
        EXPECT_EQ(r.compareIndex, lastCompare + 1);
        lastCompare = r.compareIndex;
        ++compares;
      }
    }
    EXPECT_EQ(mains, File(mainSerial)->elements.length);
    EXPECT_EQ(compares, File(compareSerial)->elements.length);
  }
}

TEST_F(CompareView, TheSameFileTwiceIsSameOnEveryRowButSequences) {
  auto bytes = FileOf([](DicomBuilder& b) {
    b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").BeginSequence(0x0008, 0x1115).BeginItem().Uid(0x0008, 0x1150, "1.2").EndItem().EndSequence();
    b.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
  });
  Compare(bytes, bytes);
  for (const AlignmentRow& r : panel.alignment) {
    EXPECT_GE(r.mainIndex, 0);
    EXPECT_GE(r.compareIndex, 0);
    EXPECT_EQ(r.same, r.group == 0x0008 && r.element == 0x1115 ? 0 : 1);
  }
  Frame();
  EXPECT_EQ(Count(RECT{244, 18, kWidth, kHeight}, kValueDiffers), 0);
  EXPECT_EQ(Count(RECT{244, 18, kWidth, kHeight}, kValueOneSide), 0);
  EXPECT_GT(Count(RECT{698, 18, 976, kHeight}, kValueSame), 0);
}

TEST_F(CompareView, PlaceholdersValueColoursAndFrames) {
  Compare(FileOf([](DicomBuilder& b) {
            b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0008, 0x0008, "CS", "ORIGINAL").Uid(0x0008, 0x0018, "1.2");
            b.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
          }),
          FileOf([](DicomBuilder& b) {
            b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Uid(0x0008, 0x0016, "1.9").Uid(0x0008, 0x0018, "1.2");
            b.Text(0x0010, 0x0010, "PN", "ROE^JANE");
          }));
  Frame();
  const int w = 732;
  const int right = 244 + w + 8;
  const int h = TextHeight() + 1;
  // (0008,0008) only on the left: its value in the one-side colour, a
  // placeholder on the right.
  int r = RowOf(0x0008, 0x0008);
  const DicomFile& m = *File(mainSerial);
  const DicomElement& only = m.elements[panel.alignment[r].mainIndex];
  EXPECT_TRUE(ShowsCell(RECT{698, RowY(r), 976, RowY(r) + h}, ValueText(only, m), kValueOneSide, plat::DT_SINGLELINE));
  EXPECT_TRUE(ShowsTextAt(POINT{right, RowY(r)}, u"[0008,0008]", kPlaceholder, RECT{right, RowY(r), kWidth, RowY(r) + h}));
  // (0008,0016) only on the right: a placeholder on the left.
  r = RowOf(0x0008, 0x0016);
  EXPECT_TRUE(ShowsTextAt(POINT{244, RowY(r)}, u"[0008,0016]", kPlaceholder, RECT{244, RowY(r), 976, RowY(r) + h}));
  EXPECT_TRUE(ShowsCell(RECT{right, RowY(r), right + 66, RowY(r) + h}, u"[0008,0016]", kTagColour));
  // Paired rows: equal values in the normal colour, different ones in the
  // differs colour.
  r = RowOf(0x0008, 0x0018);
  EXPECT_TRUE(ShowsCell(RECT{698, RowY(r), 976, RowY(r) + h}, u"1.2", kValueSame, plat::DT_SINGLELINE));
  r = RowOf(0x0010, 0x0010);
  EXPECT_TRUE(ShowsCell(RECT{698, RowY(r), 976, RowY(r) + h}, u"DOE^JOHN", kValueDiffers, plat::DT_SINGLELINE));
  // The two frames, the second 8 pixels right of the first.
  EXPECT_EQ(At(243, 400), kMainFrame);
  EXPECT_EQ(At(244 + w + 1, 400), kMainFrame);
  EXPECT_EQ(At(right - 1, 400), kCompareFrame);
  EXPECT_EQ(At(right + 3, 17 - 3), kCompareFrame);  // its tab
  // The content height counts the alignment's rows.
  EXPECT_EQ(panel.tagContentHeight, panel.tagRowHeight * panel.alignment.length);
}

TEST_F(CompareView, HidingTheTagColumnRemovesPlaceholdersAndKeepsRows) {
  Compare(FileOf([](DicomBuilder& b) { b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Uid(0x0008, 0x0018, "1.2"); }),
          FileOf([](DicomBuilder& b) {
            b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Uid(0x0008, 0x0016, "1.9").Uid(0x0008, 0x0018, "1.2");
          }));
  ColumnTable[kColumnTag].visible = 0;
  LayoutColumns();
  Frame();
  EXPECT_EQ(Count(RECT{0, 0, kWidth, kHeight}, kPlaceholder), 0);
  const int r = RowOf(0x0008, 0x0018);
  const int h = TextHeight() + 1;
  const int valueX = 244 + ColumnTable[kColumnValue].x;
  EXPECT_TRUE(ShowsCell(RECT{valueX, RowY(r), valueX + ColumnTable[kColumnValue].width, RowY(r) + h}, u"1.2", kValueSame, plat::DT_SINGLELINE));
  InitColumnTable();
}

TEST_F(CompareView, DoubleClickBoxesTheRowOnBothSides) {
  auto bytes = FileOf([](DicomBuilder& b) { b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0010, 0x0010, "PN", "X"); });
  Compare(bytes, bytes);
  Frame();
  panel.LeftDoubleClick(0, POINT{500, RowY(3) + 2});
  ASSERT_EQ(panel.hexRow, 3);
  Frame();
  const int w = 732;
  const int y0 = 18 + panel.tagRowHeight * 3 - 1;
  EXPECT_EQ(Count(RECT{244, y0, 244 + w + 1, y0 + 1}, kMainFrame), w + 1);
  EXPECT_EQ(Count(RECT{244 + w + 8, y0, kWidth, y0 + 1}, kMainFrame), kWidth - (244 + w + 8));
  // The "主选" frame keeps its colour while a row is chosen.
  EXPECT_EQ(At(243, 700), kMainFrame);
}

TEST_F(CompareView, ALongComparisonScrolledToItsMiddleDrawsItsVisibleRows) {
  auto many = [](int count) {
    return FileOf([count](DicomBuilder& b) {
      b.Text(0x0008, 0x0005, "CS", "ISO_IR 100");
      for (int i = 0; i < count; ++i) b.Text(0x0009, static_cast<uint16_t>(0x1000 + i), "LO", "V" + std::to_string(i % 7));
    });
  };
  Compare(many(3000), many(2990));
  ASSERT_GT(panel.alignment.length, 3000);
  panel.tagScroll = -(Pitch() * 1500) - 4;
  Frame();
  const int h = TextHeight() + 1;
  // Row 1500 stands 4 pixels above the list's top, cut by it.
  EXPECT_EQ(RowY(1500), 14);
  EXPECT_EQ(Count(RECT{244, 0, kWidth, 17}, kTagColour), 0);
  for (int r : {1501, 1520, 1550}) {
    const AlignmentRow& row = panel.alignment[r];
    std::u16string label = plat::FormatText(u"[%04X,%04X]", {unsigned(row.group), unsigned(row.element)});
    EXPECT_TRUE(ShowsCell(RECT{244, RowY(r), 310, RowY(r) + h}, label, kTagColour)) << r;
  }
}

}  // namespace
}  // namespace viewtest
