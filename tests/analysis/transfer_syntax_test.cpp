// Recognising the transfer syntax from (0002,0010) and its effect on the walk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/dicom_file.h"
#include "analysis/transfer_syntax.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::DicomBuilder;

// A file whose meta group carries the given (0002,0010) value as written,
// with nothing after it.
std::unique_ptr<DicomFile> WithSyntaxValue(std::string_view value) {
  DicomBuilder b;
  b.Preamble().UL(0x0002, 0x0000, 0).Element(0x0002, 0x0010, "UI", value);
  auto f = std::make_unique<DicomFile>();
  f->AnalyseBytes(u"ts.dcm", b.Bytes().data(), b.Size());
  return f;
}

TEST(TransferSyntax, RecognisesValues) {
  struct Case {
    std::string_view value;
    int32_t row, explicitVr, littleEndian;
  } cases[] = {
      {"1.2.840.10008.1.2", 0, 0, 1},
      {std::string_view("1.2.840.10008.1.2\0", 18), 0, 0, 1},
      {"1.2.840.10008.1.2.1", 1, 1, 1},  // row 1, not row 2 which it begins
      {std::string_view("1.2.840.10008.1.2.1\0", 20), 1, 1, 1},
      {"1.2.840.10008.1.2.1 ", 1, 1, 1},
      {"1.2.840.10008.1.2.1.99", 2, 1, 1},
      {"1.2.840.10008.1.2.2", 3, 1, 0},
      {"1.2.840.10008.1.2.4.50", 4, 1, 1},
      {"1.2.840.10008.1.2.4.5", 4, 1, 1},  // truncated: the first row it begins
      {"1.2.840.10008.1.2.4.100", 30, 1, 1},
      {"1.2.840.10008.1.2.5", 39, 1, 1},
      {"", 0, 0, 1},                         // empty: row 0, implicit VR
      {"ABC", 0, 0, 1},                      // no leading digits: row 0
      {"1.2.3.4.5.6.7.8", 0, 1, 1},          // private: no row, flags unchanged
      {"1.2.840.10008.1.2.4.999", 0, 1, 1},  // no row begins with it
  };
  for (const auto& c : cases) {
    auto f = WithSyntaxValue(c.value);
    SCOPED_TRACE(std::string(c.value));
    EXPECT_EQ(f->transferSyntaxIndex, c.row);
    EXPECT_EQ(f->explicitVr, c.explicitVr);
    EXPECT_EQ(f->littleEndian, c.littleEndian);
  }
}

TEST(TransferSyntax, EveryRowIsFoundByItsOwnUid) {
  for (int32_t i = 0; i < kTransferSyntaxCount; ++i) {
    const TransferSyntaxRow& row = TransferSyntaxAt(i);
    EXPECT_EQ(row.index, static_cast<uint64_t>(i));
    auto f = WithSyntaxValue(row.uid);
    EXPECT_EQ(f->transferSyntaxIndex, i) << row.uid;
    EXPECT_NE(row.description[0], u'\0');
    EXPECT_NE(row.shortName[0], u'\0');
  }
}

TEST(TransferSyntax, TableNamesAndAcceptedRows) {
  struct Case {
    int32_t row;
    const char* uid;
    const char16_t* description;
    const char16_t* shortName;
  } cases[] = {
      {0, "1.2.840.10008.1.2", u"Implicit VR Little Endian: Default Transfer Syntax for DICOM", u"隐藏VR的小端模式[D]"},
      {3, "1.2.840.10008.1.2.2", u"Explicit VR Big Endian (Retired)", u"显式VR的大端模式（废弃）"},
      {32, "1.2.840.10008.1.2.4.102", nullptr, u"MPEG-4 AVC/H.264 "},
      {36, "1.2.840.10008.1.2.4.106", nullptr, u"立体声MPEG-4 AVC/H.264 "},
      {39, "1.2.840.10008.1.2.5", u"RLE Lossless", u"无损RLE"},
      {41, "1.2.840.10008.1.2.6.2", nullptr, u"XML编码（废弃）"},
  };
  for (const auto& c : cases) {
    const TransferSyntaxRow& row = TransferSyntaxAt(c.row);
    EXPECT_STREQ(row.uid, c.uid);
    if (c.description) {
      EXPECT_EQ(std::u16string(row.description), c.description);
    }
    EXPECT_EQ(std::u16string(row.shortName), c.shortName);
  }
  for (int32_t i = 0; i < kTransferSyntaxCount; ++i) {
    const bool accepted = i == 0 || i == 1 || i == 2 || i == 3 || i == 21 || i == 24 || i == 25;
    EXPECT_EQ(IsAcceptedImageSyntax(i), accepted) << i;
  }
}

TEST(TransferSyntax, DecidesBetweenImageAndComplete) {
  struct Case {
    std::string_view uid;
    int32_t status;
  } cases[] = {
      {fixture::kJpegBaseline, StatusComplete},
      {"1.2.840.10008.1.2.4.91", StatusImage},
      {"1.2.840.10008.1.2.4.70", StatusImage},
      {"1.2.840.10008.1.2.5", StatusComplete},
      {"1.2.3.4.5", StatusImage},  // private: row 0 is kept, which is accepted
  };
  for (const auto& c : cases) {
    DicomBuilder b;
    b.Preamble().Meta(c.uid).Text(0x0010, 0x0010, "PN", "A").EncapsulatedPixelData({{1, 2}});
    DicomFile f;
    f.AnalyseBytes(u"e.dcm", b.Bytes().data(), b.Size());
    EXPECT_EQ(f.status, c.status) << std::string(c.uid);
  }
}

TEST(TransferSyntax, BigEndianStartsAfterTheMetaGroup) {
  DicomBuilder b(fixture::Encoding::ExplicitBig);
  b.Preamble().Meta(fixture::kExplicitBig).US(0x0028, 0x0010, 0x0102);
  DicomFile f;
  f.AnalyseBytes(u"be.dcm", b.Bytes().data(), b.Size());
  ASSERT_EQ(f.status, StatusComplete);
  const DicomElement& rows = f.elements[f.elements.length - 1];
  EXPECT_EQ(rows.group, 0x0028);
  EXPECT_EQ(rows.element, 0x0010);
  EXPECT_EQ(f.elements[0].group, 0x0002);
}

}  // namespace
