#include "analysis/value_text.h"

#include <cstdio>
#include <cstring>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "platform/core/format.h"
#include "platform/core/text.h"

namespace {

constexpr int32_t kMaxTextBytes = 48;

void AppendHexPair(std::u16string& out, uint8_t byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  out.push_back(static_cast<char16_t>(kDigits[byte >> 4]));
  out.push_back(static_cast<char16_t>(kDigits[byte & 0xF]));
}

void AppendAscii(std::u16string& out, const char* text) {
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(*text)));
}

// Reads a binary number of `size` bytes from the start of the value, in the
// data set's byte order; false when the value does not hold that many bytes
// inside the file.
bool ReadNumber(const DicomElement& e, const DicomFile& file, int size, uint64_t& out) {
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  if (first == nullptr || count < size || static_cast<int64_t>(e.end) - e.length < 0) return false;
  uint8_t b[8];
  std::memcpy(b, first, static_cast<size_t>(size));
  out = 0;
  const bool big = file.IsBigEndianElement(e);
  for (int i = 0; i < size; ++i) out |= static_cast<uint64_t>(big ? b[size - 1 - i] : b[i]) << (8 * i);
  return true;
}

enum class Render { Empty, Binary, Signed16, Unsigned16, Signed32, Unsigned32, Float32, Float64, Text };

Render RenderOf(VrCode code) {
  static const struct {
    VrCode vr;
    Render render;
  } kTable[] = {
      {vr::OB, Render::Binary},     {vr::OW, Render::Binary},     {vr::SQ, Render::Empty},
      {vr::SS, Render::Signed16},   {vr::US, Render::Unsigned16}, {vr::SL, Render::Signed32},
      {vr::UL, Render::Unsigned32}, {vr::FL, Render::Float32},    {vr::FD, Render::Float64},
  };
  for (const auto& row : kTable)
    if (row.vr == code) return row.render;
  return Render::Text;
}

}  // namespace

std::u16string ElementLabel(const DicomElement& e) {
  std::u16string out;
  out.reserve(11);
  out.push_back(u'[');
  AppendHexPair(out, static_cast<uint8_t>(e.group >> 8));
  AppendHexPair(out, static_cast<uint8_t>(e.group));
  out.push_back(u',');
  AppendHexPair(out, static_cast<uint8_t>(e.element >> 8));
  AppendHexPair(out, static_cast<uint8_t>(e.element));
  out.push_back(u']');
  return out;
}

std::u16string ElementTitle(const DicomElement& e) {
  std::u16string out = ElementLabel(e);
  out.push_back(u':');
  out.push_back(static_cast<char16_t>(e.vr & 0xFF));
  out.push_back(static_cast<char16_t>((e.vr >> 8) & 0xFF));
  out.push_back(u',');
  out += NameOfKey(e.Key());
  return out;
}

std::u16string ValueText(const DicomElement& e, const DicomFile& file, int32_t* lengthOut) {
  if (lengthOut != nullptr) *lengthOut = e.length;
  std::u16string out;
  // An empty value, and a value of undefined length that is not a sequence,
  // render as nothing.
  if (e.length <= 0) return out;
  char buffer[64];
  uint64_t v = 0;
  switch (RenderOf(e.vr)) {
    case Render::Empty:
      return out;
    case Render::Binary:
      AppendAscii(out, "{binary data}");
      return out;
    case Render::Signed16:
      if (!ReadNumber(e, file, 2, v)) return out;
      std::snprintf(buffer, sizeof buffer, "%d", static_cast<int16_t>(v));
      break;
    case Render::Unsigned16:
      if (!ReadNumber(e, file, 2, v)) return out;
      std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(static_cast<uint16_t>(v)));
      break;
    case Render::Signed32:
      if (!ReadNumber(e, file, 4, v)) return out;
      std::snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(static_cast<uint32_t>(v)));
      break;
    case Render::Unsigned32:
      if (!ReadNumber(e, file, 4, v)) return out;
      std::snprintf(buffer, sizeof buffer, "%u", static_cast<uint32_t>(v));
      break;
    case Render::Float32: {
      if (!ReadNumber(e, file, 4, v)) return out;
      uint32_t bits = static_cast<uint32_t>(v);
      float f;
      std::memcpy(&f, &bits, 4);
      std::u16string text = plat::FormatText(u"%f", {static_cast<double>(f)});
      return text;
    }
    case Render::Float64: {
      if (!ReadNumber(e, file, 8, v)) return out;
      double d;
      std::memcpy(&d, &v, 8);
      return plat::FormatText(u"%f", {d});
    }
    case Render::Text: {
      const uint8_t* first;
      int32_t count;
      file.ValueSpan(e, first, count);
      return CodePageText(first, count < kMaxTextBytes ? count : kMaxTextBytes);
    }
  }
  AppendAscii(out, buffer);
  return out;
}

std::u16string ElementLogLine(const DicomElement& e, const DicomFile& file, int32_t counter) {
  std::u16string out;
  if (e.vr == vr::SQ) {
    plat::AppendFormat(out, u"%d:(%d-****)", {counter, e.offset});
    out += ElementTitle(e);
    return out;
  }
  plat::AppendFormat(out, u"%d:(%d-%d)", {counter, e.offset, e.end});
  out += ElementTitle(e);
  out.push_back(u',');
  out += ValueText(e, file);
  return out;
}

std::u16string CodePageText(const uint8_t* bytes, int64_t count) {
  if (bytes == nullptr || count <= 0) return std::u16string();
  // The text ends at the first zero byte; a zero byte never occurs inside a
  // multi-byte character of the code pages this system reads.
  const void* zero = std::memchr(bytes, 0, static_cast<size_t>(count));
  if (zero != nullptr) count = static_cast<const uint8_t*>(zero) - bytes;
  return plat::MultiByteToWide(bytes, static_cast<size_t>(count));
}

std::u16string ClipText(const std::u16string& text, const std::u16string& suffix) {
  if (text.size() < 20) return text;
  size_t keep = suffix.size() < 20 ? 20 - suffix.size() : 0;
  return text.substr(0, keep) + suffix;
}

std::u16string FolderOfPath(const std::u16string& path) {
  size_t slash = path.find_last_of(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return path.substr(0, slash + 1);
}
