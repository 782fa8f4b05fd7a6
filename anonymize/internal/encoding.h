// Byte-level helpers of the actions and the writer: element headers in the
// form and byte order of the data set they are written into.
#pragma once

#include <cstdint>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_element.h"

class DicomFile;

namespace anonymize_internal {

// How one element's header is encoded in its file.
struct HeaderForm {
  bool explicitVr;  // the header holds the two VR letters
  bool longForm;    // explicit with two reserved bytes and a 4-byte length (12 bytes in all)
  bool bigEndian;   // tag and length are stored big endian
};

HeaderForm FormOf(const DicomFile& file, const DicomElement& e);

// The bytes [offset, end) of the element that lie inside the file.
void SourceSpan(const DicomFile& file, const DicomElement& e, int64_t& first, int64_t& last);

// Appends a header for (group, element) with the given VR letters and value
// length in `form`. Returns false when memory runs out.
bool AppendHeader(ByteBuffer<uint8_t>& out, uint16_t group, uint16_t element, VrCode vrLetters,
                  uint32_t valueLength, const HeaderForm& form);

}  // namespace anonymize_internal
