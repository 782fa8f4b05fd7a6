// What the user can reach and read in the work panel: scrolling that stays
// inside the chosen file, lists whose last rows can be scrolled to and
// clicked, double clicks that open the row under the pointer, the floating
// hex panel covering what lies under it, cells that keep to their columns,
// lengths and file names shown whole, and numbers compared as numbers across
// byte orders.
#include "analysis/dicom_element.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

constexpr COLORREF kNameColour = 0xC8C8C8;
constexpr COLORREF kLengthColour = 0xC9C1FB;
constexpr COLORREF kTextGrey = 0xA09894;
constexpr int kListTop = 18;  // the tag list's first row

// A file with `count` text elements of its own after the patient's.
std::vector<uint8_t> FileWithRows(int count, const std::string& patient = "DOE^JOHN") {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, "1.2.3.9." + std::to_string(count));
  b.Text(0x0010, 0x0010, "PN", patient).Text(0x0010, 0x0020, "LO", "ID-" + patient);
  for (int k = 0; k < count; ++k) b.Text(0x0011, uint16_t(0x1000 + k), "LO", "ROW" + std::to_string(k));
  return b.Bytes();
}

class PanelReach : public PanelTest {
 protected:
  int Pitch() { return TextHeight() + 1; }  // a tag row
  int FilePitch() { return TextHeight() + 2; }
  // The first file row of the first patient.
  POINT OnFirstFileRow() { return POINT{40, 4 + FilePitch() + 2}; }
  void WheelDown(POINT at, int notches) {
    for (int i = 0; i < notches; ++i) panel.Wheel(0, -120, at);
  }
  // The serial of the file whose row is under the point after a click.
  int32_t ChosenBy(POINT p) {
    Click(p);
    return panel.currentSerial;
  }
};

TEST_F(PanelReach, AShorterFileChosenAfterScrollingALongOneShowsItsRows) {
  const int32_t longFile = Add(FileWithRows(300, "AAA"), u"/d/long.dcm");
  const int32_t shortFile = Add(FileWithRows(3, "BBB"), u"/d/short.dcm");
  Frame();
  panel.SetCurrentFile(longFile);
  Frame();
  WheelDown(POINT{600, 300}, 200);
  ASSERT_LT(panel.tagScroll, -3000);
  panel.SetCurrentFile(shortFile);
  EXPECT_EQ(panel.tagScroll, 0);
  Frame();
  // Its first row, the patient's name, stands at the top of the list.
  EXPECT_GT(Count(RECT{244, kListTop, 600, kListTop + Pitch()}, kNameColour), 0);

  // A long file chosen after a longer one scrolled to its end keeps as much
  // of the offset as its own content allows.
  const int32_t middle = Add(FileWithRows(100, "CCC"), u"/d/middle.dcm");
  Frame();
  panel.SetCurrentFile(longFile);
  Frame();
  WheelDown(POINT{600, 300}, 200);
  panel.SetCurrentFile(middle);
  EXPECT_EQ(panel.tagScroll, panel.tagViewHeight - kScrollMargin - panel.tagContentHeight);
}

TEST_F(PanelReach, TheLastOfSixtyOneFilePatientsCanBeScrolledToAndClicked) {
  std::vector<int32_t> serials;
  for (int i = 0; i < 60; ++i) {
    std::string name = "P" + std::to_string(100 + i);
    serials.push_back(Add(PatientFile(name, "1.2." + std::to_string(i), i), u"/d/p" + std::u16string(1, u'a' + i % 26) + u".dcm"));
  }
  Frame();
  Frame();
  WheelDown(POINT{100, 300}, 100);
  Frame();
  // The last patient's file row lies inside the view...
  const PatientEntry* last = panel.patients[59];
  const RECT rows = last->studies[0]->series[0]->listRect;
  EXPECT_GE(rows.top, 0);
  EXPECT_LE(rows.bottom, kHeight);
  // ...and answers a click.
  EXPECT_EQ(ChosenBy(POINT{40, rows.top + 2}), serials[59]);
}

TEST_F(PanelReach, SevenAndTenDigitLengthsShowWhole) {
  const int32_t serial = Add(PatientFile("DOE^JOHN", "1.2.3", 1, 2097152), u"/d/big.dcm");
  Frame();
  panel.SetCurrentFile(serial);
  Frame();
  const DicomFile* f = File(serial);
  int pixelRow = -1;
  for (int32_t i = 0; i < f->elements.length; ++i)
    if (f->elements[i].group == 0x7FE0 && f->elements[i].element == 0x0010) pixelRow = i;
  ASSERT_GE(pixelRow, 0);
  // The digits are right-aligned at the column's right edge, every one of
  // them drawn.
  const ColumnSpec& column = ColumnTable[kColumnLength];
  const int right = 244 + column.x + column.width;
  const int y = kListTop + pixelRow * Pitch();
  const int w = Extent(u"2097152").cx;
  EXPECT_TRUE(ShowsTextAt(POINT{right - w, y}, u"2097152", kLengthColour, RECT{right - w - 2, y, right, y + Pitch()}));
  // The column holds the longest length a file can have.
  EXPECT_GE(column.width, Extent(u"1024000000").cx);
}

TEST_F(PanelReach, TheTagListEndsWithItsLastRowAndTheMarginBelowIt) {
  const int32_t serial = Add(FileWithRows(200), u"/d/long.dcm");
  Frame();
  panel.SetCurrentFile(serial);
  Frame();
  const int rows = File(serial)->elements.length;
  EXPECT_EQ(panel.tagContentHeight, rows * Pitch());
  WheelDown(POINT{600, 300}, 200);
  // Scrolled to the end, the last row's bottom stands the margin above the
  // view's end.
  const int lastBottom = kListTop + panel.tagScroll + rows * Pitch();
  EXPECT_EQ(lastBottom, kListTop + panel.tagViewHeight - kScrollMargin);
}

TEST_F(PanelReach, DoubleClicksOpenTheRowUnderThePointerAndNothingAboveTheList) {
  const int32_t serial = Add(FileWithRows(10), u"/d/a.dcm");
  Frame();
  panel.SetCurrentFile(serial);
  Frame();
  struct Case {
    int y;
    int32_t row;
  } cases[] = {
      {kListTop, 0},
      {kListTop + Pitch() - 1, 0},  // the lowest pixel of row 0
      {kListTop + Pitch(), 1},
      {kListTop + 3 * Pitch() - 1, 2},
      {kListTop - 1, -1},  // the tab "主选" and the path
      {6, -1},
  };
  for (const Case& c : cases) {
    panel.hexRow = -1;
    panel.LeftDoubleClick(0, POINT{400, c.y});
    EXPECT_EQ(panel.hexRow, c.row) << "y " << c.y;
  }
}

TEST_F(PanelReach, TheHexPanelTakesTheClicksOverItAndIsGoneAfterClearing) {
  std::vector<int32_t> serials;
  for (int i = 0; i < 3; ++i) serials.push_back(Add(PatientFile("DOE^JOHN", "1.2.3", i + 1), u"/d/f" + std::u16string(1, u'1' + i) + u".dcm"));
  Frame();
  Click(OnFirstFileRow());
  ASSERT_EQ(panel.currentSerial, serials[0]);
  panel.LeftDoubleClick(0, POINT{400, kListTop + 1});
  ASSERT_EQ(panel.hexRow, 0);
  // The panel over the file list and the tag list.
  panel.hexRect = RECT{0, 0, 560, 400};
  Frame();
  ASSERT_EQ(panel.hexShown, 1);

  // A click on the second file's row inside the panel chooses nothing.
  const POINT second{40, OnFirstFileRow().y + FilePitch()};
  Click(second);
  EXPECT_EQ(panel.currentSerial, serials[0]);
  // A double click inside it over the tag area opens no other row.
  panel.LeftDoubleClick(0, POINT{400, kListTop + 5 * Pitch() + 1});
  EXPECT_EQ(panel.hexRow, 0);
  // Outside it both still work.
  panel.LeftDoubleClick(0, POINT{700, kListTop + 2 * Pitch() + 1});
  EXPECT_EQ(panel.hexRow, 2);

  // After clearing, the place where the panel was is not draggable.
  panel.ClearAll();
  EXPECT_EQ(panel.hexShown, 0);
  const RECT before = panel.hexRect;
  panel.MouseMove(0, POINT{100, 100});
  panel.LeftDown(kLeftButton, POINT{100, 100});
  panel.MouseMove(kLeftButton, POINT{150, 150});
  panel.LeftUp(0, POINT{150, 150});
  EXPECT_EQ(panel.hexRect.left, before.left);
  EXPECT_EQ(panel.hexRect.top, before.top);
}

TEST_F(PanelReach, NestedNamesStopWhereTheVrColumnBegins) {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, "1.2.3.9");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN")
      .BeginSequence(0x0008, 0x1115)
      .BeginItem()
      .Text(0x0012, 0x0082, "LO", "APPROVAL")  // a 56-letter name, at depth 1
      .EndItem()
      .EndSequence();
  const int32_t serial = Add(b.Bytes(), u"/d/nested.dcm");
  Frame();
  panel.SetCurrentFile(serial);
  Frame();
  const DicomFile* f = File(serial);
  int row = -1;
  for (int32_t i = 0; i < f->elements.length; ++i)
    if (f->elements[i].group == 0x0012 && f->elements[i].element == 0x0082) row = i;
  ASSERT_GE(row, 0);
  ASSERT_EQ(f->elements[row].depth, 1);
  const int y = kListTop + row * Pitch();
  const int vrLeft = 244 + ColumnTable[kColumnVr].x;
  const RECT ink = Box(kNameColour, RECT{244, y, kWidth, y + Pitch()});
  EXPECT_GT(ink.right, 244 + ColumnTable[kColumnName].x + 200);  // the name is there
  EXPECT_LE(ink.right, vrLeft - 8);
}

// A file of one patient with three binary numbers in the given encoding.
std::vector<uint8_t> NumbersFile(fixture::Encoding encoding, uint16_t rows, const std::string& uid) {
  const bool big = encoding == fixture::Encoding::ExplicitBig;
  fixture::DicomBuilder b(encoding);
  b.Preamble().Meta(big ? fixture::kExplicitBig : fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.4", uid);
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x0020, "LO", "PID");
  b.US(0x0028, 0x0010, rows).US(0x0028, 0x0011, 256).UL(0x0028, 0x9001, 70000);
  return b.Bytes();
}

TEST_F(PanelReach, EqualNumbersOfBothByteOrdersCompareEqual) {
  const int32_t m = Add(NumbersFile(fixture::Encoding::ExplicitLittle, 64, "1.2.3.1"), u"/d/le.dcm");
  const int32_t c = Add(NumbersFile(fixture::Encoding::ExplicitBig, 64, "1.2.3.2"), u"/d/be.dcm");
  const int32_t d = Add(NumbersFile(fixture::Encoding::ExplicitBig, 65, "1.2.3.3"), u"/d/be65.dcm");
  Frame();
  panel.SetCurrentFile(m);
  panel.SetCompareFile(c);
  ASSERT_EQ(File(m)->littleEndian, 1);
  ASSERT_EQ(File(c)->littleEndian, 0);
  auto sameOf = [&](uint16_t element) {
    for (const AlignmentRow& row : panel.alignment)
      if (row.group == 0x0028 && row.element == element && row.mainIndex >= 0 && row.compareIndex >= 0) return row.same;
    ADD_FAILURE() << "no row (0028," << std::hex << element << ")";
    return -1;
  };
  EXPECT_EQ(sameOf(0x0010), 1);  // Rows 64 | 64
  EXPECT_EQ(sameOf(0x0011), 1);
  EXPECT_EQ(sameOf(0x9001), 1);
  // Different numbers still differ.
  panel.SetCompareFile(d);
  EXPECT_EQ(sameOf(0x0010), 0);
  EXPECT_EQ(sameOf(0x0011), 1);
}

TEST_F(PanelReach, AWideFileNameIsShortenedSoThatItsEndStaysVisible) {
  const std::u16string path = u"/data/王小东_Ultrasound/检查图像文件.dcm";
  Add(PatientFile("DOE^JOHN"), path);
  Frame();
  const int y = OnFirstFileRow().y - 2;
  const RECT row{24, y, 24 + kFileListRight, y + TextHeight()};
  const RECT ink = Box(kTextGrey, row);
  ASSERT_LT(ink.left, ink.right);
  // The row ends with ".dcm", drawn whole just left of the row's end.
  const int w = Extent(u".dcm").cx;
  bool found = false;
  for (int x = ink.right - w - 3; x <= ink.right - w + 3 && !found; ++x)
    found = ShowsTextAt(POINT{x, y}, u".dcm", kTextGrey, RECT{x, y, x + w, y + TextHeight()});
  EXPECT_TRUE(found);
  EXPECT_LE(ink.right, 24 + kFileListRight);
}

}  // namespace
}  // namespace viewtest
