// Labels, titles, value texts and log lines of elements, the code page text,
// and the two small text utilities.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/value_text.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::DicomBuilder;

std::string Utf8(const std::u16string& text) { return plat::Utf16ToUtf8(text); }

std::vector<uint8_t> LE32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}
std::vector<uint8_t> LE64(uint64_t v) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}
uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}
uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}
std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(ValueText, RendersEachKindOfValue) {
  float f15 = 1.5f;
  double d15 = 1.5;
  uint32_t fbits;
  uint64_t dbits;
  std::memcpy(&fbits, &f15, 4);
  std::memcpy(&dbits, &d15, 8);
  const std::string name60(60, 'N');

  struct Case {
    const char* what;
    const char* vr;
    std::vector<uint8_t> value;
    const char* text;
  } cases[] = {
      {"US", "US", {0x00, 0x02}, "512"},
      {"US, first of two values", "US", {0x01, 0x00, 0x02, 0x00}, "1"},
      {"SS", "SS", {0xFF, 0xFF}, "-1"},
      {"UL", "UL", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
      {"SL", "SL", {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
      {"FL", "FL", LE32(fbits), "1.5"},
      {"FD", "FD", LE64(dbits), "1.5"},
      {"FL 0.1, the shortest form that reads back", "FL", LE32(Bits(0.1f)), "0.1"},
      {"FD 0.1", "FD", LE64(Bits(0.1)), "0.1"},
      {"FD 1e300, no 301 digits", "FD", LE64(Bits(1e300)), "1e+300"},
      {"FD NaN", "FD", LE64(Bits(std::numeric_limits<double>::quiet_NaN())), "NaN"},
      {"FL minus infinity", "FL", LE32(Bits(-std::numeric_limits<float>::infinity())), "-Infinity"},
      {"FD infinity", "FD", LE64(Bits(std::numeric_limits<double>::infinity())), "Infinity"},
      {"OB", "OB", std::vector<uint8_t>(1000, 7), "{binary data}"},
      {"OW", "OW", {1, 2}, "{binary data}"},
      {"empty", "LO", {}, ""},
      {"text with separators and trailing space", "CS", Bytes("ORIGINAL\\PRIMARY "), "ORIGINAL\\PRIMARY "},
      {"60 characters show 48", "PN", Bytes(name60), "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"},
      {"UI ending with a zero byte", "UI", {'1', '.', '2', '.', '3', 0}, "1.2.3"},
      {"AT as a tag, the first of two", "AT", {0x28, 0x00, 0x10, 0x00, 0x10, 0x00, 0x20, 0x00}, "(0028,0010)"},
      {"invented VR letters", "ZZ", Bytes("AB"), "AB"},
      {"code page text", "LO", {0xD5, 0xC5, 0xC8, 0xFD}, "张三"},
      {"US shorter than a number", "US", {0x05}, ""},
      {"FD shorter than a number", "FD", {1, 2, 3, 4}, ""},
  };
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  for (size_t i = 0; i < std::size(cases); ++i)
    b.Element(0x0009, static_cast<uint16_t>(0x1000 + i), cases[i].vr, cases[i].value);
  DicomFile f;
  f.AnalyseBytes(u"values.dcm", b.Bytes().data(), b.Size());
  ASSERT_EQ(f.status, StatusComplete);
  ASSERT_EQ(f.elements.length, static_cast<int32_t>(3 + std::size(cases)));

  for (size_t i = 0; i < std::size(cases); ++i) {
    const DicomElement& e = f.elements[static_cast<int32_t>(3 + i)];
    int32_t length = -7;
    EXPECT_EQ(Utf8(ValueText(e, f, &length)), cases[i].text) << cases[i].what;
    EXPECT_EQ(length, static_cast<int32_t>(cases[i].value.size())) << cases[i].what;
  }
}

// The whole value: every value of a binary element, all of a text, bulk data
// by its length; and whether the shown text is only part of it.
TEST(ValueText, WholeValues) {
  std::vector<uint8_t> floats70;
  for (int i = 0; i < 70; ++i) {
    const std::vector<uint8_t> v = LE32(Bits(static_cast<float>(i) + 0.5f));
    floats70.insert(floats70.end(), v.begin(), v.end());
  }
  std::string floats64;
  for (int i = 0; i < 64; ++i) floats64 += (i > 0 ? "\\" : "") + std::to_string(i) + ".5";
  const std::string name60(60, 'N');
  std::vector<uint8_t> twoDoubles = LE64(Bits(0.1));
  const std::vector<uint8_t> nan = LE64(Bits(std::numeric_limits<double>::quiet_NaN()));
  twoDoubles.insert(twoDoubles.end(), nan.begin(), nan.end());

  struct Case {
    const char* what;
    const char* vr;
    std::vector<uint8_t> value;
    const char* whole;
    bool partial;  // ValueText shows less
  } cases[] = {
      {"US, two values", "US", {0x01, 0x00, 0x02, 0x00}, "1\\2", true},
      {"US, one value", "US", {0x00, 0x02}, "512", false},
      {"US with a stray byte", "US", {0x01, 0x00, 0x02}, "1", false},
      {"SS", "SS", {0xFF, 0xFF, 0x02, 0x00}, "-1\\2", true},
      {"UL", "UL", {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}, "4294967295\\1", true},
      {"SL", "SL", {0xFE, 0xFF, 0xFF, 0xFF}, "-2", false},
      {"SV", "SV", LE64(static_cast<uint64_t>(-5)), "-5", false},
      {"UV", "UV", LE64(18446744073709551615ull), "18446744073709551615", false},
      {"FD, a number and NaN", "FD", twoDoubles, "0.1\\NaN", true},
      {"AT, two tags", "AT", {0x28, 0x00, 0x10, 0x00, 0x10, 0x00, 0x20, 0x00}, "(0028,0010)\\(0010,0020)", true},
      {"OF, the first 64 of 70", "OF", floats70, nullptr, false},
      {"OB by its length", "OB", std::vector<uint8_t>(1000, 7), "{1000 bytes}", false},
      {"UN by its length", "UN", {1, 2, 3, 4}, "{4 bytes}", false},
      {"a text of 60 characters", "LO", Bytes(name60), name60.c_str(), true},
      {"a text of 60 characters with a zero byte within the first 48", "LO",
       [&] { auto v = Bytes(name60); v[10] = 0; return v; }(), "NNNNNNNNNN", false},
  };
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  for (size_t i = 0; i < std::size(cases); ++i)
    b.Element(0x0009, static_cast<uint16_t>(0x1000 + i), cases[i].vr, cases[i].value);
  DicomFile f;
  f.AnalyseBytes(u"whole.dcm", b.Bytes().data(), b.Size());
  ASSERT_EQ(f.status, StatusComplete);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const DicomElement& e = f.elements[static_cast<int32_t>(3 + i)];
    const std::string expected = cases[i].whole != nullptr ? cases[i].whole : floats64 + "…";
    EXPECT_EQ(Utf8(WholeValueText(e, f)), expected) << cases[i].what;
    EXPECT_EQ(ValueTextIsPartial(e, f), cases[i].partial) << cases[i].what;
  }
  // The command line's element lines carry the whole value.
  EXPECT_EQ(Utf8(ElementLogLine(f.elements[3], f, 4, ValueForm::Whole)), "4:(186-198)[0009,1000]:US,Private tag,1\\2");
}

// Big-endian data sets keep their byte order in every value.
TEST(ValueText, WholeValuesOfBigEndianDataSets) {
  DicomBuilder b(fixture::Encoding::ExplicitBig);
  b.Preamble().Meta(fixture::kExplicitBig);
  b.Element(0x0020, 0x5000, "AT", std::vector<uint8_t>{0x00, 0x28, 0x00, 0x10});
  b.Element(0x0028, 0x0010, "US", std::vector<uint8_t>{0x02, 0x00, 0x00, 0x01});
  DicomFile f;
  f.AnalyseBytes(u"big.dcm", b.Bytes().data(), b.Size());
  ASSERT_EQ(f.status, StatusComplete);
  const int32_t n = f.elements.length;
  EXPECT_EQ(Utf8(WholeValueText(f.elements[n - 2], f)), "(0028,0010)");
  EXPECT_EQ(Utf8(ValueText(f.elements[n - 2], f)), "(0028,0010)");
  EXPECT_EQ(Utf8(WholeValueText(f.elements[n - 1], f)), "512\\1");
}

TEST(ValueText, LabelAndTitle) {
  struct Case {
    uint16_t group, element;
    VrCode code;
    const char* label;
    const char* title;
  } cases[] = {
      {0x0028, 0x0010, vr::US, "[0028,0010]", "[0028,0010]:US,Rows"},
      {0x7FE0, 0x0010, vr::OB, "[7FE0,0010]", "[7FE0,0010]:OB,Pixel Data"},
      {0x0010, 0x0010, vr::PN, "[0010,0010]", "[0010,0010]:PN,Patient's Name"},
      {0x0009, 0x10AB, vr::UN, "[0009,10AB]", "[0009,10AB]:UN,Private tag"},
  };
  for (const Case& c : cases) {
    DicomElement e{c.group, c.element, c.code, 0, 0, 0, 0};
    EXPECT_EQ(Utf8(ElementLabel(e)), c.label);
    EXPECT_EQ(Utf8(ElementTitle(e)), c.title);
  }
}

TEST(ValueText, LogLines) {
  DicomBuilder b;
  b.Preamble().UL(0x0002, 0x0000, 196).Uid(0x0002, 0x0010, fixture::kExplicitLittle);
  DicomFile f;
  f.AnalyseBytes(u"x.dcm", b.Bytes().data(), b.Size());
  ASSERT_EQ(f.elements.length, 2);
  EXPECT_EQ(Utf8(ElementLogLine(f.elements[0], f, 1)), "1:(132-144)[0002,0000]:UL,File Meta Information Group Length,196");
  EXPECT_EQ(Utf8(ElementLogLine(f.elements[1], f, 2)), "2:(144-172)[0002,0010]:UI,Transfer Syntax UID,1.2.840.10008.1.2.1");
  // A sequence's line stops after its name: its end is not known yet.
  const DicomElement sequence{0x0008, 0x1140, vr::SQ, -1, 2010, 2500, 0};
  EXPECT_EQ(Utf8(ElementLogLine(sequence, f, 45)), "45:(2010-****)[0008,1140]:SQ,Referenced Image Sequence");
}

TEST(ValueText, CodePageText) {
  const uint8_t gbk[] = {0xD5, 0xC5, 0xC8, 0xFD, 0x00, 'X'};
  const uint8_t padded[] = {'A', 'B', 0, 0};
  const uint8_t zeroFirst[] = {0, 'A'};
  EXPECT_EQ(Utf8(CodePageText(gbk, 6)), "张三");
  EXPECT_EQ(Utf8(CodePageText(gbk, 2)), "张");
  EXPECT_EQ(CodePageText(padded, 4), u"AB");
  EXPECT_EQ(CodePageText(zeroFirst, 2), u"");
  EXPECT_EQ(CodePageText(nullptr, 10), u"");
}

TEST(ValueText, ClipText) {
  struct Case {
    std::u16string text, suffix, clipped;
  } cases[] = {
      {u"abcdefghijklmnopqrs", u"...", u"abcdefghijklmnopqrs"},       // 19: unchanged
      {u"abcdefghijklmnopqrst", u"...", u"abcdefghijklmnopq..."},     // 20
      {u"abcdefghijklmnopqrstuvwxyz", u"...", u"abcdefghijklmnopq..."},
      {u"张三李四王五赵六孙七周八吴九郑十冯陈褚卫", u"…", u"张三李四王五赵六孙七周八吴九郑十冯陈褚…"},
      {u"", u"...", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClipText(c.text, c.suffix), c.clipped) << Utf8(c.text);
    if (c.text.size() >= 20) {
      EXPECT_EQ(ClipText(c.text, c.suffix).size(), 20u);
    }
  }
}

TEST(ValueText, FolderOfPath) {
  struct Case {
    const char16_t* path;
    const char16_t* folder;
  } cases[] = {
      {u"/data/ct/a.dcm", u"/data/ct/"}, {u"/x.dcm", u"/"}, {u"/data/ct/", u"/data/ct/"},
      {u"a.dcm", u""},                   {u"", u""},         {u"rel/dir/b", u"rel/dir/"},
      {u"C:\\data\\a.dcm", u""},  // a backslash is an ordinary character here
  };
  for (const auto& c : cases) EXPECT_EQ(FolderOfPath(c.path), c.folder) << Utf8(c.path);
}

}  // namespace
