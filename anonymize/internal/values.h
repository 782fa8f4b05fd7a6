// Element values as text, shared by the confidentiality profile's writer,
// its run over a collection and the audit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/dicom_element.h"

class DicomFile;

namespace anonymize_internal {

// The text without its padding: trailing spaces and zero bytes, and leading
// spaces.
std::string TrimValue(std::string text);
// The values of a multi-valued text, split at '\', each trimmed.
std::vector<std::string> SplitValues(const std::string& text);
// The value bytes of an element that lie inside the file.
std::string RawValue(const DicomFile& file, const DicomElement& e);
// The value bytes of the first top-level element with this tag; empty when
// there is none.
std::string TopLevelValue(const DicomFile& file, uint16_t group, uint16_t element);
// The VRs of free text, where names and identifiers can hide.
bool IsFreeTextVr(VrCode code);

}  // namespace anonymize_internal
