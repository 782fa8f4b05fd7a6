// Text values in the character set their data set declares: one case per
// set and form, with the text pydicom decodes as the expected text where
// pydicom reads the bytes right (the cases that say otherwise are where it
// does not, or where this system deliberately reads like the code page).
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "analysis/character_set.h"
#include "analysis/dicom_file.h"
#include "analysis/value_text.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::DicomBuilder;
using fixture::Length;

std::string Utf8(const std::u16string& text) { return plat::Utf16ToUtf8(text); }

// A value's tag by its VR, so that implicit-VR readers would agree.
uint16_t ElementFor(std::string_view vr) {
  if (vr == "PN") return 0x0010;
  if (vr == "LT") return 0x4000;
  return 0x1000;  // Other Patient IDs, LO
}

struct Case {
  const char* what;
  const char* declared;  // the (0008,0005) value; empty: none
  const char* vr;
  const char* bytes;
  const char* text;  // UTF-8
};

// pydicom's person-name text drops an empty last component group ("...="):
// the value text here keeps every byte, as for the other VRs.
const Case kCases[] = {
    {"Latin-1: French, lone 8-bit bytes", "ISO_IR 100", "PN", "Buc^J\xe9r\xf4me", "Buc^Jérôme"},
    {"Latin-1: German", "ISO_IR 100", "PN", "\xc4neas^R\xfc" "diger", "Äneas^Rüdiger"},
    {"GB2312 bytes under ISO_IR 100", "ISO_IR 100", "PN", "\xd5\xc5^\xc8\xfd", "张^三"},
    {"GB2312 bytes under ISO_IR 6", "ISO_IR 6", "LO", "\xb1\xb1\xbe\xa9\xd0\xad\xba\xcd\xd2\xbd\xd4\xba", "北京协和医院"},
    {"GB2312 bytes and a lone byte under ISO_IR 100: Latin-1", "ISO_IR 100", "LO", "\xd5\xc5 \xe9", "ÕÅ é"},
    {"no declaration: the code page", "", "PN", "\xd5\xc5^\xc8\xfd", "张^三"},
    {"an unknown declaration: the code page", "ISO_IR 999", "PN", "\xd5\xc5^\xc8\xfd", "张^三"},
    {"Latin-2", "ISO_IR 101", "PN", "Dvo\xf8\xe1k^Anton\xedn", "Dvořák^Antonín"},
    {"Latin-3", "ISO_IR 109", "LO", "\xa6\xe6\xb6", "Ĥĉĥ"},
    {"Latin-4", "ISO_IR 110", "LO", "\xa3\xbb\xf1", "Ŗģņ"},
    {"Cyrillic", "ISO_IR 144", "PN", "\xbb\xee\xda" "ce\xdc\xd1yp\xd3", "Люкceмбypг"},
    {"Arabic", "ISO_IR 127", "PN", "\xe2\xc8\xc7\xe6\xea^\xe4\xe6\xd2\xc7\xd1", "قباني^لنزار"},
    {"Greek", "ISO_IR 126", "PN", "\xc4\xe9\xef\xed\xf5\xf3\xe9\xef\xf2", "Διονυσιος"},
    {"Hebrew", "ISO_IR 138", "PN", "\xf9\xf8\xe5\xef^\xe3\xe1\xe5\xf8\xe4", "שרון^דבורה"},
    {"Latin-5", "ISO_IR 148", "PN", "\xde" "ahin^\xddsmail", "Şahin^İsmail"},
    {"Thai", "ISO_IR 166", "LO", "\xc1\xd2\xc3\xc7\xd4\xb9", "มารวิน"},
    {"Latin-9 (pydicom reads 0xA4 as Latin-1)", "ISO_IR 203", "LO", "\xa4 12", "€ 12"},
    {"JIS X 0201 katakana", "ISO_IR 13", "PN", "\xd4\xcf\xc0\xde^\xc0\xdb\xb3", "ﾔﾏﾀﾞ^ﾀﾛｳ"},
    {"UTF-8", "ISO_IR 192", "PN", "Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1=", "Wang^XiaoDong=王^小東="},
    {"GB18030", "GB18030", "PN", "Wang^XiaoDong=\xcd\xf5^\xd0\xa1\xb6\xab=", "Wang^XiaoDong=王^小东="},
    {"GB18030, four-byte character", "GB18030", "LO", "\x81" "0\x81" "0", "\u0080"},
    {"GBK", "GBK", "PN", "Wang^XiaoDong=\xcd\xf5^\xd0\xa1\xb6\xab=", "Wang^XiaoDong=王^小东="},
    {"ISO 2022 IR 87: PN groups", "\\ISO 2022 IR 87", "PN", "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B=\x1b$B$d$^$@\x1b(B^\x1b$B$\x3f$m$&\x1b(B", "Yamada^Tarou=山田^太郎=やまだ^たろう"},
    {"ISO 2022 IR 6 stated, IR 87", "ISO 2022 IR 6\\ISO 2022 IR 87", "PN", "\x1b$B$d$^$@\x1b(B^\x1b$B$\x3f$m$&\x1b(B ", "やまだ^たろう "},
    {"ISO 2022 IR 13 and IR 87: katakana, kanji, romaji", "ISO 2022 IR 13\\ISO 2022 IR 87", "PN", "\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x1b$B;3ED\x1b(J^\x1b$BB@O:\x1b(J=\x1b$B$d$^$@\x1b(J^\x1b$B$\x3f$m$&\x1b(J", "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう"},
    {"ISO 2022 IR 149: PN groups", "\\ISO 2022 IR 149", "PN", "Hong^Gildong=\x1b$)C\xfb\xf3^\x1b$)C\xd1\xce\xd4\xd7=\x1b$)C\xc8\xab^\x1b$)C\xb1\xe6\xb5\xbf", "Hong^Gildong=洪^吉洞=홍^길동"},
    {"ISO 2022 IR 149: text", "\\ISO 2022 IR 149", "LT", "\x1b$)C\xb1\xe8\xc8\xf1\xc1\xdf", "김희중"},
    {"ISO 2022 IR 58 (pydicom keeps the escapes)", "\\ISO 2022 IR 58", "PN", "Zhang^San=\x1b$)A\xd5\xc5^\x1b$)A\xc8\xfd", "Zhang^San=张^三"},
    {"ISO 2022 IR 159", "\\ISO 2022 IR 159", "LO", "\x1b$(D0!\x1b(B", "丂"},
    {"IR 87 then IR 159 within one value", "\\ISO 2022 IR 87\\ISO 2022 IR 159", "LO", "\x1b$B;3\x1b$(D0!\x1b(B", "山丂"},
    {"multi-valued, a different set in each value", "ISO 2022 IR 6\\ISO 2022 IR 100\\ISO 2022 IR 126", "LO", "\x1b-A\xe9t\xe9\\\x1b-F\xc4\xe9", "été\\Δι"},
    {"escape sequences within a text", "\\ISO 2022 IR 87", "LT", "abc \x1b$B$\x3f$m$&\x1b(B def", "abc たろう def"},
    {"multi-valued PN", "\\ISO 2022 IR 87", "PN", "\x1b$B$d$^$@\x1b(B^\x1b$B$\x3f$m$&\x1b(B\\\x1b$B$d$^$@\x1b(B^\x1b$B$\x3f$m$&\x1b(B", "やまだ^たろう\\やまだ^たろう"},
    {"ISO 2022 IR 100 alone", "ISO 2022 IR 100", "LO", "M\xfcller", "Müller"},
};

// Restores the process-wide decoding after a test that changes it.
struct DecodingGuard {
  TextDecoding saved = CurrentTextDecoding();
  ~DecodingGuard() { SetTextDecoding(saved); }
};

std::vector<uint8_t> FileWith(const Case& c) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  if (*c.declared != '\0') b.Text(0x0008, 0x0005, "CS", c.declared);
  std::string value(c.bytes);
  if (value.size() % 2 != 0) value.push_back(' ');
  b.Element(0x0010, ElementFor(c.vr), c.vr, value);
  return b.Bytes();
}

TEST(CharacterSet, DecodesEverySetAndForm) {
  DecodingGuard guard;
  SetTextDecoding(TextDecoding::Declared);
  for (const Case& c : kCases) {
    const std::vector<uint8_t> bytes = FileWith(c);
    DicomFile f;
    f.AnalyseBytes(u"charset.dcm", bytes.data(), bytes.size());
    ASSERT_EQ(f.status, StatusComplete) << c.what;
    const DicomElement& e = f.elements[f.elements.length - 1];
    std::string expected = c.text;
    if (std::string(c.bytes).size() % 2 != 0) expected.push_back(' ');
    EXPECT_EQ(Utf8(WholeValueText(e, f)), expected) << c.what;
    std::u16string byKey;
    ASSERT_GT(f.ValueByKey(e.Key(), byKey), 0) << c.what;
    EXPECT_EQ(Utf8(byKey), expected) << c.what;
    // The shown text is the start of the whole one, without a character
    // broken by the cut at 48 bytes.
    const std::u16string shown = ValueText(e, f);
    const std::u16string whole = WholeValueText(e, f);
    EXPECT_EQ(whole.substr(0, shown.size()), shown) << c.what;
    EXPECT_EQ(shown.find(u'\uFFFD'), std::u16string::npos) << c.what;
  }
}

TEST(CharacterSet, ClippedValuesEndOnAWholeCharacter) {
  DecodingGuard guard;
  SetTextDecoding(TextDecoding::Declared);
  std::string utf8 = "A", gbk = "A";
  for (int i = 0; i < 20; ++i) utf8 += "\xe7\x8e\x8b";  // 王
  for (int i = 0; i < 30; ++i) gbk += "\xd5\xc5";        // 张
  struct {
    const char* declared;
    std::string value;
    std::u16string shown;
  } cases[] = {
      {"ISO_IR 192", utf8 + " ", u"A" + std::u16string(15, u'王')},
      {"ISO_IR 100", gbk + " ", u"A" + std::u16string(23, u'张')},
      {"\\ISO 2022 IR 149", "A\x1b$)C" + std::string(50, '\xb1') + " ", u"A" + std::u16string(21, u'굇')},
  };
  for (const auto& c : cases) {
    DicomBuilder b;
    b.Preamble().Meta(fixture::kExplicitLittle).Text(0x0008, 0x0005, "CS", c.declared).Element(0x0010, 0x0010, "PN", c.value);
    DicomFile f;
    f.AnalyseBytes(u"clipped.dcm", b.Bytes().data(), b.Size());
    const DicomElement& e = f.elements[f.elements.length - 1];
    EXPECT_TRUE(ValueTextIsPartial(e, f)) << c.declared;
    const std::u16string shown = ValueText(e, f);
    EXPECT_EQ(shown.find(u'\uFFFD'), std::u16string::npos) << c.declared;
    EXPECT_EQ(shown, c.shown) << c.declared;
    const std::u16string whole = WholeValueText(e, f);
    EXPECT_GT(whole.size(), shown.size()) << c.declared;
    EXPECT_EQ(whole.substr(0, shown.size()), shown) << c.declared;
  }
}

// (0008,0005) in an item applies to that item and what it nests; other items
// and the elements after the sequence keep the data set's set.
TEST(CharacterSet, ItemsDeclareTheirOwnSet) {
  DecodingGuard guard;
  SetTextDecoding(TextDecoding::Declared);
  const char* kJapanese = "\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x1b$B;3ED\x1b(J^\x1b$BB@O:\x1b(J";
  const char* kUtf8 = "\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1";
  for (Length length : {Length::Undefined, Length::Defined}) {
    DicomBuilder b;
    b.Preamble().Meta(fixture::kExplicitLittle);
    b.Text(0x0008, 0x0005, "CS", "ISO_IR 192");
    b.Text(0x0010, 0x0010, "PN", kUtf8);
    b.BeginSequence(0x0032, 0x1064, length);
    b.BeginItem(length);
    b.Text(0x0008, 0x0005, "CS", "ISO 2022 IR 13\\ISO 2022 IR 87");
    b.Text(0x0010, 0x0010, "PN", kJapanese);
    b.BeginSequence(0x0040, 0xA730, length).BeginItem(length);
    b.Text(0x0040, 0xA123, "PN", kJapanese);  // nested, no set of its own
    b.EndItem().EndSequence();
    b.EndItem();
    b.BeginItem(length);
    b.Text(0x0010, 0x0010, "PN", kUtf8);  // a sibling item without a set
    b.EndItem();
    b.EndSequence();
    b.Text(0x4008, 0x0114, "PN", kUtf8);
    DicomFile f;
    f.logToText = 1;
    f.AnalyseBytes(u"items.dcm", b.Bytes().data(), b.Size());
    ASSERT_EQ(f.status, StatusComplete);
    // The log, written while the walk goes, reads each name in its set too.
    const std::string log = Utf8(f.logText);
    EXPECT_NE(log.find("Patient's Name,王^小東"), std::string::npos) << log;
    EXPECT_NE(log.find("Patient's Name,ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎"), std::string::npos) << log;
    EXPECT_EQ(log.find("\xEF\xBF\xBD"), std::string::npos) << "no U+FFFD in " << log;
    std::vector<std::string> names;
    for (const DicomElement& e : f.elements)
      if (e.vr == vr::PN) names.push_back(Utf8(WholeValueText(e, f)));
    const std::vector<std::string> expected = {"王^小東", "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎", "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎",
                                               "王^小東", "王^小東"};
    EXPECT_EQ(names, expected) << (length == Length::Defined ? "defined lengths" : "undefined lengths");
  }
}

// The system code page stays a choice: every value then reads as GBK,
// whatever the file declares.
TEST(CharacterSet, CodePageChoiceIgnoresTheDeclaration) {
  DecodingGuard guard;
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 192");
  b.Text(0x0010, 0x0010, "PN", "Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1=");
  DicomFile f;
  f.AnalyseBytes(u"utf8.dcm", b.Bytes().data(), b.Size());
  const DicomElement& name = f.elements[f.elements.length - 1];
  SetTextDecoding(TextDecoding::CodePage);
  EXPECT_EQ(Utf8(WholeValueText(name, f)), "Wang^XiaoDong=鐜媈灏忔澅= ");
  SetTextDecoding(TextDecoding::Declared);
  EXPECT_EQ(Utf8(WholeValueText(name, f)), "Wang^XiaoDong=王^小東= ");
}

TEST(CharacterSet, ParsesDeclarations) {
  struct {
    const char* value;
    bool declared;
    int count;
  } cases[] = {
      {"", false, 0},
      {"  ", false, 1},
      {"ISO_IR 100", true, 1},
      {"ISO_IR 100 ", true, 1},
      {"\\ISO 2022 IR 87", true, 2},
      {"ISO 2022 IR 13\\ISO 2022 IR 87", true, 2},
      {"ISO 2022 IR 6\\ISO 2022 IR 999\\ISO 2022 IR 126", true, 2},  // the unknown one is left out
      {"ISO_IR 999", false, 0},
      {"GB18030", true, 1},
  };
  for (const auto& c : cases) {
    const std::string_view v(c.value);
    const CharacterSet set = ParseCharacterSet(reinterpret_cast<const uint8_t*>(v.data()), v.size());
    EXPECT_EQ(set.declared, c.declared) << c.value;
    if (c.declared) {
      EXPECT_EQ(set.count, c.count) << c.value;
    }
  }
}

}  // namespace
