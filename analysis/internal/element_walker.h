// The element walker: turns a DicomFile's bytes into its element list.
// Used by DicomFile::Analyse only.
#pragma once

#include <cstdint>

#include "analysis/dicom_element.h"

class DicomFile;

class ElementWalker {
 public:
  explicit ElementWalker(DicomFile& file);

  // Parses, records and (for a sequence) walks the element at p. Returns the
  // position of the next element, or -1 when the element cannot be read.
  // Positions only ever move forward.
  int64_t ReadElement(int64_t p);
  // Reads the file's walked bytes again after they moved (a data set that
  // was inflated).
  void Rebind();

 private:
  // Completes a new record with its VR, length and end; false on failure.
  bool MeasureElement(DicomElement& record, bool& undefinedValue);
  // Walks the items of a sequence and sets record.end; false on failure.
  bool WalkSequence(DicomElement& record);
  // Walks a value of undefined length that is neither a sequence nor
  // encapsulated Pixel Data: its items are read as implicit VR little endian.
  bool WalkUndefinedValue(DicomElement& record, int64_t itemsStart);

  // The items of an undefined-length sequence from q up to and including its
  // sequence delimiter; returns the position past the delimiter or -1.
  // `minBytesAfterItem` is how many bytes must remain after every item.
  int64_t WalkItemsToDelimiter(int64_t q, bool bigEndianTags, int64_t minBytesAfterItem);
  // The elements of one item whose value starts at s; returns the position
  // reached or -1.
  int64_t WalkItem(int64_t s, uint32_t itemLength);

  bool IsSpecialTag(int64_t q, uint16_t element, bool bigEndianTags) const;
  uint32_t Read32(int64_t q, bool swapped) const;
  uint16_t Read16(int64_t q, bool swapped) const;
  bool Fails(int64_t position, int64_t bytesNeeded) const { return position < 0 || n_ - position < bytesNeeded; }
  void LogFailure(const char16_t* format, int64_t position);

  DicomFile& file_;
  const uint8_t* bytes_;
  int64_t n_;
  // Where the innermost implicit sequence of defined length being walked
  // ends. The walk resumes there whatever happens inside, so nothing inside
  // may reach beyond it: otherwise the bytes after it would be walked again at
  // every level of nesting, and a small hostile file would take exponential
  // time. No limit at the top level, where values may run past a truncated end.
  int64_t limit_ = INT64_MAX;
  // Where the value of the innermost item being walked starts; -1 outside
  // items. The character set an item declares is keyed by it.
  int32_t itemStart_ = -1;
};
