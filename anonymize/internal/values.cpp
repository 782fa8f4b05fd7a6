#include "anonymize/internal/values.h"

#include "analysis/dicom_file.h"

namespace anonymize_internal {

std::string TrimValue(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  size_t first = 0;
  while (first < text.size() && text[first] == ' ') ++first;
  return text.substr(first);
}

std::vector<std::string> SplitValues(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find('\\', start);
    parts.push_back(TrimValue(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start)));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return parts;
}

std::string RawValue(const DicomFile& file, const DicomElement& e) {
  const uint8_t* first = nullptr;
  int32_t count = 0;
  file.ValueSpan(e, first, count);
  return first == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(first), count);
}

std::string TopLevelValue(const DicomFile& file, uint16_t group, uint16_t element) {
  for (const DicomElement& e : file.elements)
    if (e.depth == 0 && e.group == group && e.element == element) return RawValue(file, e);
  return std::string();
}

bool IsFreeTextVr(VrCode code) {
  switch (code) {
    case vr::AE: case vr::LO: case vr::LT: case vr::PN: case vr::SH: case vr::ST: case vr::UC: case vr::UT:
      return true;
    default:
      return false;
  }
}

}  // namespace anonymize_internal
