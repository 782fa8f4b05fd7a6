// printf-style formatting into UTF-16, for the system's fixed message formats.
// The format is always a literal of the program; texts from files and paths
// are only ever arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace plat {

struct FormatArg {
  enum Kind { Int, Unsigned, Float, Text, Char } kind;
  int64_t i = 0;
  uint64_t u = 0;
  double f = 0;
  std::u16string_view s;
  char16_t c = 0;

  FormatArg(int v) : kind(Int), i(v) {}
  FormatArg(long v) : kind(Int), i(v) {}
  FormatArg(long long v) : kind(Int), i(v) {}
  FormatArg(unsigned v) : kind(Unsigned), u(v) {}
  FormatArg(unsigned long v) : kind(Unsigned), u(v) {}
  FormatArg(unsigned long long v) : kind(Unsigned), u(v) {}
  FormatArg(double v) : kind(Float), f(v) {}
  FormatArg(std::u16string_view v) : kind(Text), s(v) {}
  FormatArg(const std::u16string& v) : kind(Text), s(v) {}
  FormatArg(const char16_t* v) : kind(Text), s(v) {}
  FormatArg(char16_t v) : kind(Char), c(v) {}
};

// Supports %d %i %u %x %X %c %C %s %f %% with the flags '-' and '0', a field
// width, a precision for %f, and the length modifiers h, l and ll (ignored).
// A conversion without an argument, or of the wrong kind, prints as far as it
// can and never reads beyond the arguments given.
std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args);

// Appends to `out` instead of returning a new text.
void AppendFormat(std::u16string& out, std::u16string_view format, std::initializer_list<FormatArg> args);

}  // namespace plat
