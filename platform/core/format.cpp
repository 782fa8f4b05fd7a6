#include "platform/core/format.h"

#include <cstdio>

namespace plat {
namespace {

void Pad(std::u16string& out, std::u16string_view body, int width, bool left, bool zero) {
  int pad = width - static_cast<int>(body.size());
  if (pad <= 0 || left) {
    out.append(body);
    if (pad > 0) out.append(static_cast<size_t>(pad), u' ');
    return;
  }
  if (zero && !body.empty() && body[0] == u'-') {
    out.push_back(u'-');
    out.append(static_cast<size_t>(pad), u'0');
    out.append(body.substr(1));
    return;
  }
  out.append(static_cast<size_t>(pad), zero ? u'0' : u' ');
  out.append(body);
}

std::u16string Digits(uint64_t v, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char16_t buffer[24];
  int n = 0;
  do {
    buffer[n++] = static_cast<char16_t>(digits[v % base]);
    v /= base;
  } while (v != 0);
  std::u16string out;
  out.reserve(static_cast<size_t>(n) + 1);
  while (n > 0) out.push_back(buffer[--n]);
  return out;
}

}  // namespace

void AppendFormat(std::u16string& out, std::u16string_view format, std::initializer_list<FormatArg> args) {
  const FormatArg* next = args.begin();
  const FormatArg* last = args.end();
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t ch = format[i];
    if (ch != u'%') {
      out.push_back(ch);
      continue;
    }
    if (++i >= format.size()) break;
    if (format[i] == u'%') {
      out.push_back(u'%');
      continue;
    }
    bool left = false, zero = false;
    for (; i < format.size() && (format[i] == u'-' || format[i] == u'0'); ++i) {
      if (format[i] == u'-') left = true;
      else zero = true;
    }
    int width = 0;
    for (; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) width = width * 10 + (format[i] - u'0');
    int precision = -1;
    if (i < format.size() && format[i] == u'.') {
      precision = 0;
      for (++i; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i)
        precision = precision * 10 + (format[i] - u'0');
    }
    while (i < format.size() && (format[i] == u'h' || format[i] == u'l')) ++i;
    if (i >= format.size()) break;
    char16_t conv = format[i];
    if (next == last) continue;  // no argument left: print nothing for it
    const FormatArg& a = *next++;
    std::u16string body;
    switch (conv) {
      case u'd':
      case u'i': {
        int64_t v = a.kind == FormatArg::Unsigned ? static_cast<int64_t>(a.u)
                    : a.kind == FormatArg::Char   ? static_cast<int64_t>(a.c)
                                                  : a.i;
        body = v < 0 ? u"-" + Digits(static_cast<uint64_t>(0) - static_cast<uint64_t>(v), 10, false)
                     : Digits(static_cast<uint64_t>(v), 10, false);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        uint64_t v = a.kind == FormatArg::Int ? static_cast<uint64_t>(a.i)
                     : a.kind == FormatArg::Char ? static_cast<uint64_t>(a.c)
                                                 : a.u;
        body = Digits(v, conv == u'u' ? 10 : 16, conv == u'X');
        break;
      }
      case u'c':
      case u'C':
        body.push_back(a.kind == FormatArg::Char ? a.c : static_cast<char16_t>(a.kind == FormatArg::Int ? a.i : a.u));
        break;
      case u's':
      case u'S':
        if (a.kind == FormatArg::Text) body.assign(a.s);
        break;
      case u'f': {
        double v = a.kind == FormatArg::Float ? a.f : a.kind == FormatArg::Int ? static_cast<double>(a.i) : static_cast<double>(a.u);
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.*f", precision < 0 ? 6 : precision, v);
        for (const char* p = buffer; *p; ++p) body.push_back(static_cast<char16_t>(*p));
        break;
      }
      default:
        break;
    }
    Pad(out, body, width, left, zero && conv != u's');
  }
}

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  AppendFormat(out, format, args);
  return out;
}

}  // namespace plat
