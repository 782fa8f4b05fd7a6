#include "analysis/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/character_set.h"
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

// Reads the binary number of `size` bytes at `at` in the element's byte order.
uint64_t NumberAt(const uint8_t* at, int size, bool bigEndian) {
  uint64_t out = 0;
  for (int i = 0; i < size; ++i) out |= static_cast<uint64_t>(bigEndian ? at[size - 1 - i] : at[i]) << (8 * i);
  return out;
}

// Reads a binary number of `size` bytes from the start of the value, in the
// data set's byte order; false when the value does not hold that many bytes
// inside the file.
bool ReadNumber(const DicomElement& e, const DicomFile& file, int size, uint64_t& out) {
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  if (first == nullptr || count < size || static_cast<int64_t>(e.end) - e.length < 0) return false;
  out = NumberAt(first, size, file.IsBigEndianElement(e));
  return true;
}

// How a binary value is written: as integers, floating-point numbers or
// tags, each value of `size` bytes.
enum class Number { Signed, Unsigned, Float, Tag };

// The shortest text that reads back as the same number; NaN and the
// infinities by name.
template <typename Real>
void AppendReal(std::u16string& out, Real value) {
  if (std::isnan(value)) return AppendAscii(out, "NaN");
  if (std::isinf(value)) return AppendAscii(out, value < 0 ? "-Infinity" : "Infinity");
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  *r.ptr = '\0';
  AppendAscii(out, buffer);
}

void AppendNumber(std::u16string& out, Number kind, int size, uint64_t v) {
  char buffer[32];
  switch (kind) {
    case Number::Signed: {
      const int shift = 64 - 8 * size;
      const int64_t value = static_cast<int64_t>(v << shift) >> shift;  // sign-extended
      *std::to_chars(buffer, buffer + sizeof buffer - 1, value).ptr = '\0';
      break;
    }
    case Number::Unsigned:
      *std::to_chars(buffer, buffer + sizeof buffer - 1, v).ptr = '\0';
      break;
    case Number::Float:
      if (size == 4) {
        const uint32_t bits = static_cast<uint32_t>(v);
        float f;
        std::memcpy(&f, &bits, 4);
        return AppendReal(out, f);
      } else {
        double d;
        std::memcpy(&d, &v, 8);
        return AppendReal(out, d);
      }
    case Number::Tag:
      // Group then element, each a 16-bit number in the data set's order;
      // `v` holds them as read: the group in the low half.
      out.push_back(u'(');
      AppendHexPair(out, static_cast<uint8_t>(v >> 8));
      AppendHexPair(out, static_cast<uint8_t>(v));
      out.push_back(u',');
      AppendHexPair(out, static_cast<uint8_t>(v >> 24));
      AppendHexPair(out, static_cast<uint8_t>(v >> 16));
      out.push_back(u')');
      return;
  }
  AppendAscii(out, buffer);
}

// Reads one AT value: two 16-bit numbers, each in the element's byte order,
// the group in the low half of the result.
uint64_t TagAt(const uint8_t* at, bool bigEndian) {
  return NumberAt(at, 2, bigEndian) | (NumberAt(at + 2, 2, bigEndian) << 16);
}

enum class Render { Empty, Binary, Signed16, Unsigned16, Signed32, Unsigned32, Float32, Float64, Tag, Text };

Render RenderOf(VrCode code) {
  static const struct {
    VrCode vr;
    Render render;
  } kTable[] = {
      {vr::OB, Render::Binary},     {vr::OW, Render::Binary},     {vr::SQ, Render::Empty},
      {vr::SS, Render::Signed16},   {vr::US, Render::Unsigned16}, {vr::SL, Render::Signed32},
      {vr::UL, Render::Unsigned32}, {vr::FL, Render::Float32},    {vr::FD, Render::Float64},
      {vr::AT, Render::Tag},
  };
  for (const auto& row : kTable)
    if (row.vr == code) return row.render;
  return Render::Text;
}

// How the whole value of a VR is written. Values of the VRs not listed are
// text.
struct WholeForm {
  VrCode vr;
  enum { Empty, Length, Numbers } what;
  Number kind;
  int size;
  int32_t limit;  // most values written; 0 for all of them
};
constexpr int32_t kMaxBulkNumbers = 64;
const WholeForm kWholeForms[] = {
    {vr::SQ, WholeForm::Empty, Number::Unsigned, 0, 0},
    {vr::OB, WholeForm::Length, Number::Unsigned, 0, 0},
    {vr::OW, WholeForm::Length, Number::Unsigned, 0, 0},
    {vr::UN, WholeForm::Length, Number::Unsigned, 0, 0},
    {vr::SS, WholeForm::Numbers, Number::Signed, 2, 0},
    {vr::US, WholeForm::Numbers, Number::Unsigned, 2, 0},
    {vr::SL, WholeForm::Numbers, Number::Signed, 4, 0},
    {vr::UL, WholeForm::Numbers, Number::Unsigned, 4, 0},
    {vr::SV, WholeForm::Numbers, Number::Signed, 8, 0},
    {vr::UV, WholeForm::Numbers, Number::Unsigned, 8, 0},
    {vr::FL, WholeForm::Numbers, Number::Float, 4, 0},
    {vr::FD, WholeForm::Numbers, Number::Float, 8, 0},
    {vr::AT, WholeForm::Numbers, Number::Tag, 4, 0},
    {vr::OF, WholeForm::Numbers, Number::Float, 4, kMaxBulkNumbers},
    {vr::OD, WholeForm::Numbers, Number::Float, 8, kMaxBulkNumbers},
    {vr::OL, WholeForm::Numbers, Number::Unsigned, 4, kMaxBulkNumbers},
    {vr::OV, WholeForm::Numbers, Number::Unsigned, 8, kMaxBulkNumbers},
};

const WholeForm* WholeFormOf(VrCode code) {
  for (const WholeForm& form : kWholeForms)
    if (form.vr == code) return &form;
  return nullptr;
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
    case Render::Float32:
      if (ReadNumber(e, file, 4, v)) AppendNumber(out, Number::Float, 4, v);
      return out;
    case Render::Float64:
      if (ReadNumber(e, file, 8, v)) AppendNumber(out, Number::Float, 8, v);
      return out;
    case Render::Tag: {
      const uint8_t* first;
      int32_t count;
      file.ValueSpan(e, first, count);
      if (first != nullptr && count >= 4) AppendNumber(out, Number::Tag, 4, TagAt(first, file.IsBigEndianElement(e)));
      return out;
    }
    case Render::Text: {
      const uint8_t* first;
      int32_t count;
      file.ValueSpan(e, first, count);
      return ElementText(e, file, first, count < kMaxTextBytes ? count : kMaxTextBytes, count > kMaxTextBytes);
    }
  }
  AppendAscii(out, buffer);
  return out;
}

bool ValueTextIsPartial(const DicomElement& e, const DicomFile& file) {
  if (e.length <= 0) return false;
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  if (first == nullptr) return false;
  static const struct {
    Render render;
    int32_t size;
  } kShownBytes[] = {{Render::Signed16, 2}, {Render::Unsigned16, 2}, {Render::Signed32, 4}, {Render::Unsigned32, 4},
                     {Render::Float32, 4},  {Render::Float64, 8},    {Render::Tag, 4}};
  const Render render = RenderOf(e.vr);
  if (render == Render::Text)
    return count > kMaxTextBytes && std::memchr(first, 0, static_cast<size_t>(kMaxTextBytes)) == nullptr;
  for (const auto& row : kShownBytes)
    if (row.render == render) return count >= 2 * row.size;
  return false;
}

std::u16string WholeValueText(const DicomElement& e, const DicomFile& file) {
  std::u16string out;
  if (e.length <= 0) return out;
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  const WholeForm* form = WholeFormOf(e.vr);
  if (form == nullptr) return ElementText(e, file, first, count);
  if (form->what == WholeForm::Empty) return out;
  if (form->what == WholeForm::Length) {
    plat::AppendFormat(out, u"{%d bytes}", {e.length});
    return out;
  }
  if (first == nullptr) return out;
  const bool big = file.IsBigEndianElement(e);
  const int32_t values = count / form->size;
  const int32_t shown = form->limit > 0 && values > form->limit ? form->limit : values;
  for (int32_t i = 0; i < shown; ++i) {
    if (i > 0) out.push_back(u'\\');
    const uint8_t* at = first + static_cast<ptrdiff_t>(i) * form->size;
    const uint64_t v = form->kind == Number::Tag ? TagAt(at, big) : NumberAt(at, form->size, big);
    AppendNumber(out, form->kind, form->size, v);
  }
  if (shown < values) out += u"…";
  return out;
}

std::u16string ElementText(const DicomElement& e, const DicomFile& file, const uint8_t* bytes, int64_t count,
                           bool clipped) {
  if (bytes == nullptr || count <= 0) return std::u16string();
  if (CurrentTextDecoding() == TextDecoding::CodePage || !FollowsCharacterSet(e.vr)) return CodePageText(bytes, count);
  return DecodeText(bytes, static_cast<size_t>(count), file.CharacterSetOf(e), e.vr, clipped);
}

std::u16string ElementLogLine(const DicomElement& e, const DicomFile& file, int32_t counter, ValueForm form) {
  std::u16string out;
  if (e.vr == vr::SQ) {
    plat::AppendFormat(out, u"%d:(%d-****)", {counter, e.offset});
    out += ElementTitle(e);
    return out;
  }
  plat::AppendFormat(out, u"%d:(%d-%d)", {counter, e.offset, e.end});
  out += ElementTitle(e);
  out.push_back(u',');
  out += form == ValueForm::Whole ? WholeValueText(e, file) : ValueText(e, file);
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
