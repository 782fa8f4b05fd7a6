// printf-style formatting into UTF-16 for the system's fixed message formats.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/format.h"
#include "platform/core/text.h"

namespace {

using plat::FormatText;

TEST(Format, Conversions) {
  struct Case {
    std::u16string got;
    const char16_t* expected;
  } cases[] = {
      {FormatText(u"文件长度：%d 字节", {1234}), u"文件长度：1234 字节"},
      {FormatText(u"%d:%d 处的类型未知,分析结束", {7, 256}), u"7:256 处的类型未知,分析结束"},
      {FormatText(u"%d", {-2147483647 - 1}), u"-2147483648"},
      {FormatText(u"%d", {static_cast<long long>(-9223372036854775807LL - 1)}), u"-9223372036854775808"},
      {FormatText(u"%u", {4294967295u}), u"4294967295"},
      {FormatText(u"%x %X %04X", {255, 255, 10}), u"ff FF 000A"},
      {FormatText(u"[%c%c]", {char16_t(u'张'), char16_t(u'A')}), u"[张A]"},
      {FormatText(u"%f", {1.5}), u"1.500000"},
      {FormatText(u"%.2f|%8.3f", {3.14159, -2.5}), u"3.14|  -2.500"},
      {FormatText(u"%5d|%-5d|%05d|%05d", {42, 42, 42, -42}), u"   42|42   |00042|-0042"},
      {FormatText(u"100%% done", {}), u"100% done"},
      {FormatText(u"%ld %lld %hd", {1L, 2LL, 3}), u"1 2 3"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << plat::Utf16ToUtf8(c.expected);
}

TEST(Format, TextArgumentsAreNeverFormats) {
  // A path full of conversions is printed as it stands.
  const std::u16string path = u"/data/%s%d%n%x/张三.dcm";
  EXPECT_EQ(FormatText(u"分析文件：%s", {path}), u"分析文件：" + path);
  EXPECT_EQ(FormatText(u"%s|%s", {u"a", std::u16string_view(u"b")}), u"a|b");
}

TEST(Format, MissingOrMismatchedArgumentsPrintNothingForThem) {
  EXPECT_EQ(FormatText(u"%d:%d %s", {5}), u"5: ");
  EXPECT_EQ(FormatText(u"%s", {42}), u"");
  EXPECT_EQ(FormatText(u"ends with %", {1}), u"ends with ");
  EXPECT_EQ(FormatText(u"%q", {1}), u"");
}

TEST(Format, AppendFormatAppends) {
  std::u16string out = u"45:";
  plat::AppendFormat(out, u"(%d-****)", {2010});
  EXPECT_EQ(out, u"45:(2010-****)");
}

}  // namespace
