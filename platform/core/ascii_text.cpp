#include "platform/core/ascii_text.h"

namespace plat {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

int CompareNamesNaturally(std::u16string_view a, std::u16string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Two runs of digits: the one with more digits after its leading
      // zeros is the larger number; of equally long ones, the first digit
      // that differs decides.
      while (i < a.size() && a[i] == u'0') ++i;
      while (j < b.size() && b[j] == u'0') ++j;
      size_t endA = i, endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
      for (; i < endA; ++i, ++j)
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      continue;
    }
    const char16_t x = AsciiLower(a[i]), y = AsciiLower(b[j]);
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  // Equal by name: the code units decide.
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

}  // namespace plat
