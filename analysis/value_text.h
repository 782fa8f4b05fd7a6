// Element values and tags as text, the element lines of the log, and small
// text utilities shared by other subsystems.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/dicom_element.h"

class DicomFile;

// "[GGGG,EEEE]" in upper-case hex.
std::u16string ElementLabel(const DicomElement& e);
// Label, ":" and the two VR letters, "," and the dictionary name.
std::u16string ElementTitle(const DicomElement& e);
// The value as text (at most 48 bytes of a text value, the first number of a
// binary one, read in the data set's byte order; an AT value as (GGGG,EEEE),
// FL and FD in the shortest form that reads back as the same number). Returns
// the element's length through `lengthOut` when given. Reads only bytes
// inside the file.
std::u16string ValueText(const DicomElement& e, const DicomFile& file, int32_t* lengthOut = nullptr);
// True when ValueText shows less than the whole value: a text value cut at
// 48 bytes, or the first of several binary values.
bool ValueTextIsPartial(const DicomElement& e, const DicomFile& file);
// The whole value as text: all of a text value, decoded; every value of a
// binary element, separated by "\" as DICOM writes multiple values (of OF,
// OD, OL and OV the first 64 and "…" after); NaN and infinities by name;
// OB, OW and UN as their length only ("{N bytes}").
std::u16string WholeValueText(const DicomElement& e, const DicomFile& file);
// Value bytes of the element as text: in the character set of its data set
// (or the ANSI code page, as CurrentTextDecoding says). `clipped`: the bytes
// are the start of a longer value.
std::u16string ElementText(const DicomElement& e, const DicomFile& file, const uint8_t* bytes, int64_t count,
                           bool clipped = false);

enum class ValueForm { Shown, Whole };
// The log line of a recorded element; `counter` is its number in the walk.
// The value part is ValueText, or WholeValueText for ValueForm::Whole.
std::u16string ElementLogLine(const DicomElement& e, const DicomFile& file, int32_t counter,
                              ValueForm form = ValueForm::Shown);
// 8-bit text of the ANSI code page to UTF-16, ending at the first zero byte.
std::u16string CodePageText(const uint8_t* bytes, int64_t count);
// A text of 20 characters or more: its first (20 - suffix length) characters
// and the suffix; shorter texts unchanged.
std::u16string ClipText(const std::u16string& text, const std::u16string& suffix);
// The folder part of a path, up to and including its last "/"; empty when the
// path has none. On this platform "/" alone separates path parts.
std::u16string FolderOfPath(const std::u16string& path);
