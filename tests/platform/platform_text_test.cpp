// Text conversions of the platform layer: the ANSI code page stand-in, UTF-8
// and lossless file-system paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/core/text.h"

namespace {

std::u16string Wide(const std::string& bytes) {
  return plat::MultiByteToWide(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(CodePage, ConvertsGbkTextBothWays) {
  ASSERT_EQ(std::getenv("TESMER_CODEPAGE"), nullptr) << "the default code page is under test";
  struct Case {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"DOE^JOHN", u"DOE^JOHN"},
      {"\xD5\xC5\xC8\xFD", u"张三"},
      {"\xC0\xEE^\xCB\xC4 ", u"李^四 "},
      {"\x81\x30\x81\x30", u"\u0080"},          // a four-byte GB18030 sequence
      {"\x90\x30\x81\x30", u"\U00010000"},      // beyond the BMP: a surrogate pair
      {std::string("A\0B", 3), std::u16string(u"A\0B", 3)},  // zero bytes convert too
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Wide(c.bytes), c.text) << c.bytes;
    if (c.bytes.find('\0') == std::string::npos) {
      EXPECT_EQ(plat::WideToMultiByte(c.text), c.bytes);
    }
  }
}

TEST(CodePage, BytesThatDoNotConvertBecomeReplacementCharacters) {
  struct Case {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"\xFF", u"\uFFFD"},                 // never a lead byte
      {"A\xD5", u"A\uFFFD"},               // a lead byte cut off at the end
      {"\xD5\xC5\xFF\xC8\xFD", u"张\uFFFD三"},  // one bad byte among good ones
  };
  for (const Case& c : cases) EXPECT_EQ(Wide(c.bytes), c.text);
  EXPECT_EQ(plat::MultiByteToWide(nullptr, 5), u"");
  EXPECT_EQ(plat::WideToMultiByte(u"\u00E9\u4E00"), "\xA8\xA6\xD2\xBB");
  EXPECT_EQ(plat::WideToMultiByte(u"\xD800"), "?") << "a lone surrogate cannot convert";
}

TEST(Utf8, RoundTripsAndRepairs) {
  const std::u16string samples[] = {u"", u"ASCII", u"分析文件：", u"\U0001F600 emoji", u"mixed é 中 \U00010348"};
  for (const auto& s : samples) EXPECT_EQ(plat::Utf8ToUtf16(plat::Utf16ToUtf8(s)), s);
  struct Case {
    std::string utf8;
    std::u16string text;
  } invalid[] = {
      {"\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"\xE4\xB8", u"\uFFFD\uFFFD"},          // cut off
      {"a\x80z", u"a\uFFFDz"},
  };
  for (const auto& c : invalid) EXPECT_EQ(plat::Utf8ToUtf16(c.utf8), c.text);
  EXPECT_EQ(plat::Utf16ToUtf8(u"\xDC00x"), "\xEF\xBF\xBDx") << "a lone surrogate becomes U+FFFD";
  std::string appended = "> ";
  plat::AppendUtf8(appended, u"张");
  EXPECT_EQ(appended, "> \xE5\xBC\xA0");
}

TEST(Paths, EveryByteStringSurvivesTheRoundTrip) {
  const std::string names[] = {
      "/data/ct/a.dcm",
      "/data/\xE5\xBC\xA0\xE4\xB8\x89/IM0001",  // UTF-8 张三
      "/data/\xD5\xC5\xC8\xFD/IM0001",          // GBK bytes: not UTF-8
      "/x/\xFF\xFE\x80",
      "/x/\xED\xA0\x80",                          // an encoded surrogate is not valid UTF-8
      "/x/\xC0\xAF",
      "/x/\xF0\x9F\x98\x80.dcm",                  // four-byte UTF-8
  };
  for (const std::string& native : names) {
    const std::u16string path = plat::PathFromNative(native);
    EXPECT_EQ(plat::PathToNative(path), native) << native;
  }
  // Valid UTF-8 reads as its characters; other bytes as U+DC80..U+DCFF.
  EXPECT_EQ(plat::PathFromNative("/data/\xE5\xBC\xA0"), u"/data/张");
  EXPECT_EQ(plat::PathFromNative("/\xD5\xC5"), u"/\xDCD5\xDCC5");
}

}  // namespace
