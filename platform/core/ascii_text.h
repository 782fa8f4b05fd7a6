// Comparisons of names and keys that treat only the ASCII letters A to Z as
// having a case, as file names and DICOM key values are compared here.
#pragma once

#include <string_view>

namespace plat {

// The character with A to Z turned into a to z; every other one unchanged.
constexpr char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Whether the texts are equal when the case of ASCII letters is ignored.
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// The order in which names are listed: ASCII case ignored, and a run of
// digits compared by its number, so that IM9 comes before IM10 and im2
// beside IM2. Names that are equal by that rule ("IM01" and "IM1", "a" and
// "A") are ordered by their code units, so the order is total. Negative,
// zero or positive, as a is before, equal to or after b.
int CompareNamesNaturally(std::u16string_view a, std::u16string_view b);

}  // namespace plat
