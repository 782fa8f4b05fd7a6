#include "anonymize/internal/encoding.h"

#include "analysis/dicom_file.h"

namespace anonymize_internal {

HeaderForm FormOf(const DicomFile& file, const DicomElement& e) {
  HeaderForm form{};
  form.explicitVr = file.IsExplicitElement(e) != 0;
  // Sequences share the 12-byte header of the long-value VRs.
  form.longForm = form.explicitVr && (HasLongExplicitHeader(e.vr) || e.vr == vr::SQ);
  form.bigEndian = file.IsBigEndianElement(e);
  return form;
}

void SourceSpan(const DicomFile& file, const DicomElement& e, int64_t& first, int64_t& last) {
  const int64_t size = file.fileBytes.length;
  first = e.offset < 0 ? 0 : e.offset;
  last = e.end;
  if (last > size) last = size;
  if (first > last) first = last;
}

namespace {

bool Put16(ByteBuffer<uint8_t>& out, uint16_t v, bool big) {
  uint8_t b[2];
  b[big ? 1 : 0] = static_cast<uint8_t>(v);
  b[big ? 0 : 1] = static_cast<uint8_t>(v >> 8);
  return out.Append(b, 2);
}

bool Put32(ByteBuffer<uint8_t>& out, uint32_t v, bool big) {
  if (big) return Put16(out, static_cast<uint16_t>(v >> 16), true) && Put16(out, static_cast<uint16_t>(v), true);
  return Put16(out, static_cast<uint16_t>(v), false) && Put16(out, static_cast<uint16_t>(v >> 16), false);
}

}  // namespace

bool AppendHeader(ByteBuffer<uint8_t>& out, uint16_t group, uint16_t element, VrCode vrLetters,
                  uint32_t valueLength, const HeaderForm& form) {
  if (!Put16(out, group, form.bigEndian) || !Put16(out, element, form.bigEndian)) return false;
  if (!form.explicitVr) return Put32(out, valueLength, form.bigEndian);
  const uint8_t letters[2] = {static_cast<uint8_t>(vrLetters & 0xFF), static_cast<uint8_t>((vrLetters >> 8) & 0xFF)};
  if (!out.Append(letters, 2)) return false;
  if (form.longForm) return Put16(out, 0, form.bigEndian) && Put32(out, valueLength, form.bigEndian);
  return Put16(out, static_cast<uint16_t>(valueLength), form.bigEndian);
}

}  // namespace anonymize_internal
