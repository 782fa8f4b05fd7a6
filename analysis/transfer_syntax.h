// The transfer syntaxes the system recognises and their effect on the walk.
#pragma once

#include <cstdint>

class DicomFile;
struct DicomElement;

struct TransferSyntaxRow {
  uint64_t index;
  const char* uid;
  const char16_t* description;  // the UID's name in the standard's UID registry
  const char16_t* shortName;    // a short Chinese name; "[D]" marks the default syntaxes
};

constexpr int32_t kTransferSyntaxCount = 42;
// Rows whose syntax changes how the data set is read.
constexpr int32_t kImplicitLittleRow = 0;
constexpr int32_t kExplicitLittleRow = 1;
constexpr int32_t kDeflatedExplicitLittleRow = 2;
constexpr int32_t kExplicitBigRow = 3;
const TransferSyntaxRow& TransferSyntaxAt(int32_t index);

// True for the rows under which a file with top-level Pixel Data is an image:
// 0, 1, 2, 3, 21, 24 and 25.
bool IsAcceptedImageSyntax(int32_t index);

// Recognises the value of (0002,0010) and sets the file's
// transferSyntaxIndex, explicitVr and littleEndian.
void DetectTransferSyntax(DicomFile& file, const DicomElement& record);
