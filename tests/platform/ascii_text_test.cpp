// Comparisons that know only ASCII letters as having a case: equality of keys
// and the order in which names are listed.
#include "platform/core/ascii_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(AsciiText, EqualityIgnoresTheCaseOfAsciiLettersOnly) {
  struct Case {
    std::u16string a, b;
    bool equal;
  } cases[] = {
      {u"DOE^Jane", u"doe^JANE", true}, {u".DCM", u".dcm", true}, {u"", u"", true},
      {u"DOE", u"DOE ", false},          {u"Ä", u"ä", false},        {u"[", u"{", false},  // '[' + 32 is '{'
  };
  for (const Case& c : cases) EXPECT_EQ(plat::EqualsIgnoringAsciiCase(c.a, c.b), c.equal);
}

TEST(AsciiText, NamesCompareByTheirNumbersAndWithoutAsciiCase) {
  struct Case {
    std::u16string a, b;
    int sign;  // of CompareNamesNaturally(a, b)
  } cases[] = {
      {u"IM9", u"IM10", -1},
      {u"IM10", u"IM9", 1},
      {u"im2", u"IM10", -1},      // case ignored, then the numbers
      {u"IM01", u"IM1", -1},      // equal as names: the code units decide
      {u"IM1", u"IM01", 1},
      {u"IM0010", u"IM10", -1},
      {u"a", u"A", 1},            // equal as names: 'A' before 'a' by code
      {u"x100y2", u"x100y10", -1},
      {u"x99", u"x100", -1},
      {u"IM", u"IM1", -1},        // a prefix comes first
      {u"1.2.840.113619.2.55.3.9", u"1.2.840.113619.2.55.3.10", -1},
      {u"99999999999999999999", u"100000000000000000000", -1},  // longer than any integer type
      {u"IM10", u"IM10", 0},
  };
  for (const Case& c : cases) {
    const int result = plat::CompareNamesNaturally(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a.size() << " " << c.b.size();
  }
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(AsciiText, NaturalOrderSortsSlicesAsTheyAreNumbered) {
  std::vector<std::u16string> expected, names;
  for (int i = 1; i <= 200; ++i) expected.push_back(Ascii("IM" + std::to_string(i)));
  // Every seventh name in another case, and the list in a scrambled order.
  for (int i = 0; i < 200; ++i) names.push_back(expected[(i * 73) % 200]);
  for (size_t i = 0; i < expected.size(); i += 7) expected[i][0] = u'i';
  for (std::u16string& name : names)
    if ((std::stoi(std::string(name.begin() + 2, name.end())) - 1) % 7 == 0) name[0] = u'i';
  std::sort(names.begin(), names.end(),
            [](const std::u16string& a, const std::u16string& b) { return plat::CompareNamesNaturally(a, b) < 0; });
  EXPECT_EQ(names, expected);
}

}  // namespace
