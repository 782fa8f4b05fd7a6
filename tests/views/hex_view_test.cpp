// The hex panel: rows of sixteen bytes with their offsets, byte classes by
// position in the element, the character column, the cut-off line, truncated
// files, and the two blocks of the compare view.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/core/format.h"
#include "platform/core/text.h"
#include "tests/support/temp_dir.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

using fixture::DicomBuilder;
using fixture::Encoding;

constexpr COLORREF kTagColour = 0xD68F5B;
constexpr COLORREF kVrColour = 0x67D2BA;
constexpr COLORREF kLengthColour = 0xC9C1FB;
constexpr COLORREF kValueColour = 0xE7EFE0;
constexpr COLORREF kGrey = 0x888888;
constexpr COLORREF kPath = 0xC8C8C8;
constexpr COLORREF kHexBackground = 0x2B2522;

// A file whose element after a padding element starts exactly at `offset`.
// `encoding` is that of the data set.
std::vector<uint8_t> FileWithElementAt(Encoding encoding, int offset,
                                       const std::function<void(DicomBuilder&)>& element) {
  DicomBuilder b(encoding);
  b.Preamble().Meta(encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle : fixture::kExplicitLittle,
                    "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4");
  const int header = encoding == Encoding::ImplicitLittle ? 8 : 12;  // OB: 12 bytes when explicit
  const int pad = offset - static_cast<int>(b.Size()) - header;
  b.Element(0x0009, 0x1000, "OB", std::vector<uint8_t>(static_cast<size_t>(pad), 0x5A));
  EXPECT_EQ(static_cast<int>(b.Size()), offset);
  element(b);
  // Bytes after the element, so that the dump has rows of context after it.
  b.Text(0x0040, 0x0001, "LO", "AFTER THE ELEMENT OF THE TEST ...");
  return b.Bytes();
}

class HexView : public PanelTest {
 protected:
  // Loads the file, makes it current and opens the hex panel on the element
  // with this tag at {20, 20, 580, 420}.
  void Open(const std::vector<uint8_t>& bytes, uint16_t group, uint16_t element) {
    serial = Add(bytes, u"/data/hex/file.dcm");
    Frame();
    panel.SetCurrentFile(serial);
    file = File(serial);
    ASSERT_NE(file, nullptr);
    index = -1;
    for (int32_t i = 0; i < file->elements.length; ++i)
      if (file->elements[i].group == group && file->elements[i].element == element) index = i;
    ASSERT_GE(index, 0);
    panel.hexRect = RECT{20, 20, 580, 420};
    panel.hexRow = index;
    Frame();
    ASSERT_EQ(panel.hexShown, 1);
    cw = Extent(u"00000: ").cx;
    ch = Extent(u"00000: ").cy;
    hw = Extent(u"00 ").cx;
  }
  // Places of the dump that starts at the panel's origin.
  int RowY(int row) { return 36 + ch + 2 + (row + 1) * ch; }
  int CellX(int column) { return 36 + cw + column * hw; }
  RECT CellArea(int row, int column) { return RECT{CellX(column), RowY(row), CellX(column) + hw, RowY(row) + ch}; }
  bool ShowsHexText(POINT at, std::u16string_view text, COLORREF colour, const RECT& area) {
    return ShowsTextAt(at, text, colour, area, kHexBackground);
  }
  bool ShowsByte(int row, int column, uint8_t v, COLORREF colour) {
    return ShowsHexText(POINT{CellX(column), RowY(row)}, plat::FormatText(u"%02X ", {unsigned(v)}), colour, CellArea(row, column));
  }

  int32_t serial = -1;
  DicomFile* file = nullptr;
  int32_t index = -1;
  int cw = 0, ch = 0, hw = 0;
};

TEST_F(HexView, ByteClassesOfAShortElementInBothEncodings) {
  struct Case {
    Encoding encoding;
    COLORREF at304;  // the VR colour when the header holds a VR, else the length colour
  } cases[] = {{Encoding::ExplicitLittle, kVrColour}, {Encoding::ImplicitLittle, kLengthColour}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding == Encoding::ExplicitLittle ? "explicit" : "implicit");
    panel.ClearAll();
    Open(FileWithElementAt(c.encoding, 300, [](DicomBuilder& b) { b.US(0x0028, 0x0010, 0x4142); }), 0x0028, 0x0010);
    ASSERT_EQ(file->elements[index].offset, 300);
    ASSERT_EQ(file->elements[index].end, 310);
    const uint8_t* bytes = file->fileBytes.data;
    // The path, the column header over the cells, four rows from 272 to 335.
    EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path, kPath, RECT{36, 36, 564, 36 + ch}));
    EXPECT_TRUE(ShowsHexText(POINT{36 + cw + (cw / 7) / 2, 36 + ch + 2}, u"0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f",
                            kGrey, RECT{36, 36 + ch + 2, 564, 36 + 2 * ch + 2}));
    for (int row = 0; row < 4; ++row)
      EXPECT_TRUE(ShowsHexText(POINT{36, RowY(row)}, plat::FormatText(u"%05d: ", {272 + 16 * row}), kGrey,
                              RECT{36, RowY(row), 36 + cw, RowY(row) + ch}))
          << row;
    EXPECT_EQ(Count(RECT{21, RowY(4), 579, RowY(4) + ch}, kGrey), 0) << "no fifth row";
    for (int p = 272; p < 336; ++p) {
      COLORREF colour = kGrey;
      if (p >= 300 && p < 304) colour = kTagColour;
      else if (p >= 304 && p < 306) colour = c.at304;
      else if (p >= 306 && p < 308) colour = kLengthColour;
      else if (p >= 308 && p < 310) colour = kValueColour;
      EXPECT_TRUE(ShowsByte((p - 272) / 16, p % 16, bytes[p], colour)) << "byte " << p;
    }
    // The value 0x4142 is stored little endian: "BA" in the character column
    // of the row of 304, after four spaces for the header bytes 304 to 307.
    EXPECT_TRUE(ShowsHexText(POINT{CellX(16) + 2, RowY(2)}, u"    BA      ", kValueColour,
                            RECT{CellX(16), RowY(2), 579, RowY(2) + ch}));
  }
}

TEST_F(HexView, CharacterColumnShowsPrintableValueBytesAfterSpacesForTheHeader) {
  Open(FileWithElementAt(Encoding::ExplicitLittle, 320,
                         [](DicomBuilder& b) { b.Element(0x0010, 0x0010, "PN", std::vector<uint8_t>{0x41, 0x00, 0x42, 0x00}); }),
       0x0010, 0x0010);
  // The element fills bytes 320 to 331 of the row of 320 (the dump's third
  // row): 8 header bytes, then A, 00, B, 00; the last four bytes are outside.
  EXPECT_TRUE(ShowsHexText(POINT{CellX(16) + 2, RowY(1)}, u"        AB    ", kValueColour,
                          RECT{CellX(16), RowY(1), 579, RowY(1) + ch}));
}

TEST_F(HexView, ElementsAtTheStartOfABareDataSetDumpFromOffsetZero) {
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 100").Text(0x0008, 0x0060, "CS", "CT");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x0020, "LO", "ID-1234567890");
  b.Text(0x0020, 0x000D, "UI", "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.17.18.19.20.21.22.23.24.25.26");
  b.Text(0x0020, 0x000E, "UI", "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.17.18.19.20.21.22.23.24.25.27");
  for (uint16_t element : {0x0005, 0x0060}) {
    panel.ClearAll();
    Open(b.Bytes(), 0x0008, element);
    ASSERT_LT(file->elements[index].offset, 32);
    EXPECT_TRUE(ShowsHexText(POINT{36, RowY(0)}, u"00000: ", kGrey, RECT{36, RowY(0), 36 + cw, RowY(0) + ch}));
    EXPECT_TRUE(ShowsByte(0, 0, file->fileBytes.data[0], file->elements[index].offset == 0 ? kTagColour : kGrey));
  }
}

TEST_F(HexView, LongElementsAreCutAfterTenRowsWithTheirFullLength) {
  struct Case {
    const char* name;
    std::function<void(DicomBuilder&)> element;
    uint16_t group, elementNumber;
    bool sequence;
  } cases[] = {
      {"pixel data of a million bytes",
       [](DicomBuilder& b) { b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(1000000, 0x33)); }, 0x7FE0, 0x0010, false},
      {"a sequence longer than the limit",
       [](DicomBuilder& b) {
         b.BeginSequence(0x0008, 0x1115).BeginItem();
         for (int i = 0; i < 20; ++i) b.Text(0x0008, static_cast<uint16_t>(0x1150 + i), "LO", "A VALUE OF SIXTEEN");
         b.EndItem().EndSequence();
       },
       0x0008, 0x1115, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    panel.ClearAll();
    Open(FileWithElementAt(Encoding::ExplicitLittle, 320, c.element), c.group, c.elementNumber);
    const DicomElement& e = file->elements[index];
    const int64_t total = c.sequence ? static_cast<int64_t>(e.end) - e.offset - 8 : e.length;
    if (!c.sequence) {
      ASSERT_EQ(total, 1000000);
    }
    ASSERT_EQ(e.length == -1, c.sequence);
    // Ten rows from 304, then the cut-off line one row lower.
    EXPECT_TRUE(ShowsHexText(POINT{36, RowY(9)}, u"00448: ", kGrey, RECT{36, RowY(9), 36 + cw, RowY(9) + ch}));
    EXPECT_TRUE(ShowsHexText(POINT{36 + cw, RowY(10)}, plat::FormatText(u"..... %d(总计字符数)", {static_cast<long long>(total)}),
                            kGrey, RECT{21, RowY(10), 579, RowY(10) + ch}));
    EXPECT_EQ(Count(RECT{21, RowY(11), 579, 419}, kGrey), 0);
  }
}

TEST_F(HexView, ATruncatedLastElementIsDumpedOnlyAsFarAsTheFileGoes) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
  b.Header(0x7FE0, 0x0010, "OW", 4000);  // declares 4000 bytes, holds about 20
  size_t held = 21;
  if ((b.Size() + held) % 16 == 0) ++held;  // leave the last row incomplete
  for (size_t i = 0; i < held; ++i) b.Raw({static_cast<uint8_t>(0x41 + i)});
  Open(b.Bytes(), 0x7FE0, 0x0010);
  const DicomElement& e = file->elements[index];
  ASSERT_GT(e.end, file->fileBytes.length);
  const int length = file->fileBytes.length;
  const int start = e.offset / 16 * 16 - 16;
  const int rows = (length - start + 15) / 16;
  // Every byte of the file from `start` is shown, and no row beyond its end.
  const int lastRow = rows - 1;
  const int lastColumn = (length - 1) % 16;
  EXPECT_TRUE(ShowsByte(lastRow, lastColumn, file->fileBytes.data[length - 1], kValueColour));
  EXPECT_EQ(Count(RECT{CellX(lastColumn + 1), RowY(lastRow), 579, RowY(lastRow) + ch}, kValueColour), 0)
      << "an incomplete last row has no character column";
  EXPECT_EQ(Count(RECT{21, RowY(rows), 579, 419}, kGrey), 0);
  EXPECT_EQ(Count(RECT{21, RowY(rows), 579, 419}, kValueColour), 0);
}

TEST_F(HexView, ARowPastTheLastElementShowsThePathOnly) {
  Open(FileWithElementAt(Encoding::ExplicitLittle, 320, [](DicomBuilder& b) { b.US(0x0028, 0x0010, 1); }), 0x0028, 0x0010);
  panel.hexRow = file->elements.length + 5;
  Frame();
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path, kPath, RECT{21, 21, 579, 36 + ch}));
  EXPECT_EQ(Count(RECT{21, 36 + ch, 579, 419}, kHexBackground), (579 - 21) * (419 - 36 - ch));
}

TEST_F(HexView, CompareViewShowsBothFilesOneBelowTheOther) {
  auto a = FileWithElementAt(Encoding::ExplicitLittle, 320, [](DicomBuilder& b) { b.US(0x0028, 0x0010, 1); });
  auto c = FileWithElementAt(Encoding::ExplicitLittle, 320, [](DicomBuilder& b) {
    b.US(0x0028, 0x0010, 1).US(0x0028, 0x0011, 2);
  });
  int32_t main = Add(a, u"/data/hex/a.dcm");
  int32_t other = Add(c, u"/data/hex/c.dcm");
  Frame();
  panel.SetCurrentFile(main);
  panel.SetCompareFile(other);
  panel.hexRect = RECT{20, 20, 580, 420};
  ch = Extent(u"00000: ").cy;
  // The row of (0028,0011), which only the compare file has.
  int row = -1;
  for (int32_t i = 0; i < panel.alignment.length; ++i)
    if (panel.alignment[i].group == 0x0028 && panel.alignment[i].element == 0x0011) row = i;
  ASSERT_GE(row, 0);
  ASSERT_EQ(panel.alignment[row].mainIndex, -1);
  panel.hexRow = row;
  Frame();
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, u"/data/hex/a.dcm", kPath, RECT{21, 21, 579, 36 + ch}));
  const int second = 36 + ch + 2 + 16;
  EXPECT_EQ(Count(RECT{21, 36 + ch, 579, second}, kHexBackground), 558 * (second - 36 - ch));
  EXPECT_TRUE(ShowsHexText(POINT{36, second}, u"/data/hex/c.dcm", kPath, RECT{21, second, 579, second + ch}));
  EXPECT_GT(Count(RECT{21, second + ch, 579, 419}, kTagColour), 0);
  // A row outside the alignment leaves the panel empty.
  panel.hexRow = panel.alignment.length;
  Frame();
  EXPECT_EQ(panel.hexShown, 1);
  EXPECT_EQ(Count(RECT{21, 21, 579, 419}, kHexBackground), 558 * 398);
}

}  // namespace
TEST_F(HexView, ADeflatedFileShowsItsInflatedBytesAndSaysSo) {
  Open(fixture::BuildDeflatedFile({}), 0x0010, 0x0010);
  ASSERT_TRUE(file->Deflated());
  const DicomElement& e = file->elements[index];
  const ByteBuffer<uint8_t>& inflated = file->WalkedBytes();
  ASSERT_GT(e.end, file->fileBytes.length / 2) << "the fixture should compress";
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path + u"  [解压后的数据集]", kPath, RECT{36, 36, 564, 36 + ch}));
  // The element's tag bytes as inflated, at their offsets in the inflated data.
  const int start = e.offset / 16 * 16 - 16;
  EXPECT_TRUE(ShowsHexText(POINT{36, RowY(0)}, plat::FormatText(u"%05d: ", {start}), kGrey,
                          RECT{36, RowY(0), 36 + cw, RowY(0) + ch}));
  for (int p = e.offset; p < e.offset + 4; ++p)
    EXPECT_TRUE(ShowsByte((p - start) / 16, p % 16, inflated.data[p], kTagColour)) << "byte " << p;
  EXPECT_EQ(inflated.data[e.offset], 0x10);  // (0010,0010) little endian
}

TEST_F(HexView, PixelDataOfAFileChangedOnTheDiskSaysSo) {
  // A file viewed in place: its Pixel Data value is the one part that still
  // reads the disk, so only that element's dump says the file changed.
  fixture::TempDir dir;
  fixture::SimpleFile recipe;
  recipe.pixelBytes = kViewedFileMinimum;
  const std::string path = dir.Write("viewed.dcm", fixture::BuildSimpleFile(recipe));
  auto* loaded = new DicomFile;
  loaded->Analyse(plat::PathFromNative(path));
  ASSERT_TRUE(loaded->fileBytes.Adopted());
  serial = loaded->serial;
  ASSERT_TRUE(panel.collection.AddAnalysedFile(loaded));
  Frame();
  panel.SetCurrentFile(serial);
  file = File(serial);
  int32_t pixels = -1, name = -1;
  for (int32_t i = 0; i < file->elements.length; ++i) {
    if (file->elements[i].Key() == MakeTagKey(0x7FE0, 0x0010)) pixels = i;
    if (file->elements[i].Key() == MakeTagKey(0x0010, 0x0010)) name = i;
  }
  ASSERT_GE(pixels, 0);
  ASSERT_GE(name, 0);
  panel.hexRect = RECT{20, 20, 580, 420};
  panel.hexRow = pixels;
  Frame();
  ch = Extent(u"00000: ").cy;
  const RECT title{36, 36, 564, 36 + ch};
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path, kPath, title));

  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(file->fileBytes.length) + 4096), 0);  // another program grows it
  Frame();
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path + u"  [文件在载入后已更改]", kPath, title));
  panel.hexRow = name;  // held in memory: still what was analysed
  Frame();
  EXPECT_TRUE(ShowsHexText(POINT{36, 36}, file->path, kPath, title));
}

}  // namespace viewtest
