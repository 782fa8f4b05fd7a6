#include "platform/core/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace plat {
namespace {

const char* CodePageName() {
  static const char* name = [] {
    const char* env = std::getenv("TESMER_CODEPAGE");
    return (env && *env) ? env : "GB18030";
  }();
  return name;
}

// iconv descriptors are not safe to share between threads, and opening one
// costs far more than a short conversion, so every thread keeps its own pair.
struct ThreadConverters {
  iconv_t toWide = reinterpret_cast<iconv_t>(-1);
  iconv_t fromWide = reinterpret_cast<iconv_t>(-1);
  ~ThreadConverters() {
    if (toWide != reinterpret_cast<iconv_t>(-1)) iconv_close(toWide);
    if (fromWide != reinterpret_cast<iconv_t>(-1)) iconv_close(fromWide);
  }
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  if (converters.toWide == reinterpret_cast<iconv_t>(-1)) {
    converters.toWide = iconv_open("UTF-16LE", CodePageName());
    if (converters.toWide == reinterpret_cast<iconv_t>(-1)) converters.toWide = iconv_open("UTF-16LE", "GB18030");
  }
  if (converters.fromWide == reinterpret_cast<iconv_t>(-1)) {
    converters.fromWide = iconv_open(CodePageName(), "UTF-16LE");
    if (converters.fromWide == reinterpret_cast<iconv_t>(-1)) converters.fromWide = iconv_open("GB18030", "UTF-16LE");
  }
  return converters;
}

bool IsAscii(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] >= 0x80) return false;
  return true;
}

// Decodes one UTF-8 sequence at s[i]; returns the code point, or -1 when the
// bytes there do not start a valid sequence. Advances i past the sequence.
int32_t DecodeUtf8(std::string_view s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  uint8_t b0 = byte(i);
  if (b0 < 0x80) { ++i; return b0; }
  int extra;
  int32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) { extra = 1; cp = b0 & 0x1F; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) { extra = 2; cp = b0 & 0x0F; }
  else if (b0 >= 0xF0 && b0 <= 0xF4) { extra = 3; cp = b0 & 0x07; }
  else return -1;
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= s.size()) return -1;
    uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  // Reject overlong forms, surrogates and values beyond U+10FFFF.
  if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return -1;
  i += extra + 1;
  return cp;
}

void AppendCodePoint(std::u16string& out, int32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8CodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Converts with an open descriptor; see ConvertToWide.
std::u16string ConvertWith(iconv_t cd, const uint8_t* bytes, size_t count, bool dropIncompleteTail) {
  std::u16string out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string buffer(count * 4 + 8, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t inLeft = count;
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    size_t produced = buffer.size() - outLeft;
    for (size_t k = 0; k + 1 < produced; k += 2)
      out.push_back(static_cast<char16_t>(static_cast<uint8_t>(buffer[k]) |
                                          (static_cast<uint8_t>(buffer[k + 1]) << 8)));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A character cut off by the end of a clipped text is left out.
      if (errno == EINVAL && dropIncompleteTail) break;
      // An invalid or incomplete sequence: one replacement character for the
      // offending byte, then go on after it.
      out.push_back(u'\uFFFD');
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

// Descriptors for named encodings, per thread (see ThreadConverters).
struct NamedConverters {
  std::vector<std::pair<std::string, iconv_t>> open;
  ~NamedConverters() {
    for (auto& [name, cd] : open)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

iconv_t ConverterFor(const char* encoding) {
  thread_local NamedConverters converters;
  for (auto& [name, cd] : converters.open)
    if (name == encoding) return cd;
  converters.open.emplace_back(encoding, iconv_open("UTF-16LE", encoding));
  return converters.open.back().second;
}

}  // namespace

std::u16string MultiByteToWide(const uint8_t* bytes, size_t count) {
  std::u16string out;
  if (bytes == nullptr || count == 0) return out;
  if (IsAscii(bytes, count)) {
    out.assign(bytes, bytes + count);
    return out;
  }
  iconv_t cd = Converters().toWide;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (size_t i = 0; i < count; ++i) out.push_back(bytes[i] < 0x80 ? bytes[i] : u'\uFFFD');
    return out;
  }
  return ConvertWith(cd, bytes, count, false);
}

bool ConvertToWide(const char* encoding, const uint8_t* bytes, size_t count, std::u16string& out,
                   bool dropIncompleteTail) {
  iconv_t cd = ConverterFor(encoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  if (bytes == nullptr || count == 0) return true;
  out += ConvertWith(cd, bytes, count, dropIncompleteTail);
  return true;
}

std::string WideToMultiByte(std::u16string_view text) {
  std::string out;
  bool ascii = true;
  for (char16_t c : text)
    if (c >= 0x80) { ascii = false; break; }
  if (ascii) {
    out.assign(text.begin(), text.end());
    return out;
  }
  iconv_t cd = Converters().fromWide;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string input(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    input[2 * i] = static_cast<char>(text[i] & 0xFF);
    input[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  std::string buffer(text.size() * 4 + 8, '\0');
  char* in = input.data();
  size_t inLeft = input.size();
  while (inLeft > 1) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      out.push_back('?');
      in += 2;
      inLeft -= 2;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8CodePoint(out, c);
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(out, text);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    int32_t cp = DecodeUtf8(text, i);
    if (cp < 0) {
      out.push_back(u'\uFFFD');
      ++i;
    } else {
      AppendCodePoint(out, cp);
    }
  }
  return out;
}

std::u16string PathFromNative(std::string_view native) {
  std::u16string out;
  out.reserve(native.size());
  for (size_t i = 0; i < native.size();) {
    int32_t cp = DecodeUtf8(native, i);
    if (cp < 0) {
      out.push_back(static_cast<char16_t>(0xDC00 + static_cast<uint8_t>(native[i])));
      ++i;
    } else {
      AppendCodePoint(out, cp);
    }
  }
  return out;
}

std::string PathToNative(std::u16string_view path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    uint32_t c = path[i];
    if (c >= 0xDC80 && c <= 0xDCFF) {
      out.push_back(static_cast<char>(c - 0xDC00));  // an escaped raw byte
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
               path[i + 1] <= 0xDFFF) {
      AppendUtf8CodePoint(out, 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendUtf8CodePoint(out, 0xFFFD);
    } else {
      AppendUtf8CodePoint(out, c);
    }
  }
  return out;
}

}  // namespace plat
