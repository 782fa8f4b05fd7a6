// The tag dictionary: VR and English name of every data element of the DICOM
// standard's data dictionary, with the fall-back rules for tags it lacks.
#pragma once

#include <cstdint>

#include "analysis/dicom_element.h"

struct TagDictionaryRow {
  TagKey key;
  const char16_t* name;   // never empty
  const char* nameUtf8;   // the same name as UTF-8, for the command line
  uint32_t row;           // the row's own position in the table
  VrCode vr;
};

// Number of rows in the table.
int32_t TagDictionaryRowCount();
// Row 0 .. count-1; nullptr outside that range.
const TagDictionaryRow* TagDictionaryRowAt(int32_t row);
// The first row with this key, or -1. Callers that address rows name them by
// tag through this function: row numbers depend on the standard's edition.
int32_t TagDictionaryRowOf(TagKey key);

// The VR of the first row with this key, else the fall-back VR; kNoVr when no
// rule applies.
VrCode VrOfKey(TagKey key);
// The name of the first row with this key, else the fall-back name; never empty.
const char16_t* NameOfKey(TagKey key);
const char* NameOfKeyUtf8(TagKey key);
