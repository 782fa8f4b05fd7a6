#include "app/cli/json_text.h"

// A JSON string of UTF-16 text, written as UTF-8; a lone surrogate becomes
// U+FFFD. Written through a pointer into room made beforehand: one UTF-16
// unit takes at most six bytes (a control character's \u00XX escape).
void AppendJsonString(std::string& out, std::u16string_view text) {
  static const char kHex[] = "0123456789abcdef";
  const size_t start = out.size();
  out.resize(start + text.size() * 6 + 2);
  char* w = out.data() + start;
  *w++ = '"';
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        *w++ = '\\';
        *w++ = static_cast<char>(c);
      } else if (c < 0x20) {
        *w++ = '\\';
        *w++ = 'u';
        *w++ = '0';
        *w++ = '0';
        *w++ = kHex[c >> 4];
        *w++ = kHex[c & 0xF];
      } else {
        *w++ = static_cast<char>(c);
      }
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *w++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *w++ = static_cast<char>(0xE0 | (c >> 12));
      *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *w++ = static_cast<char>(0xF0 | (c >> 18));
      *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *w++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  *w++ = '"';
  out.resize(static_cast<size_t>(w - out.data()));
}

// A JSON string of static UTF-8 text (dictionary names).
void AppendJsonUtf8(std::string& out, const char* text) {
  out.push_back('"');
  for (; *text; ++text) {
    if (*text == '"' || *text == '\\') out.push_back('\\');
    out.push_back(*text);
  }
  out.push_back('"');
}
