// Labels, titles, value texts and log lines of elements, the code page text,
// and the two small text utilities.
#include <gtest/gtest.h>

#include <cstring>
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
      {"FL", "FL", LE32(fbits), "1.500000"},
      {"FD", "FD", LE64(dbits), "1.500000"},
      {"OB", "OB", std::vector<uint8_t>(1000, 7), "{binary data}"},
      {"OW", "OW", {1, 2}, "{binary data}"},
      {"empty", "LO", {}, ""},
      {"text with separators and trailing space", "CS", Bytes("ORIGINAL\\PRIMARY "), "ORIGINAL\\PRIMARY "},
      {"60 characters show 48", "PN", Bytes(name60), "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"},
      {"UI ending with a zero byte", "UI", {'1', '.', '2', '.', '3', 0}, "1.2.3"},
      {"AT as 8-bit text", "AT", {'(', 0x00, 0x10, 0x00}, "("},
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
