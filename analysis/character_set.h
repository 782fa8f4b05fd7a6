// Text of the character set a data set declares in (0008,0005) Specific
// Character Set: the single-byte sets, ISO 2022 with code extensions (escape
// sequences switching sets within a value), UTF-8, GB18030 and GBK.
//
// A data set that declares nothing, or a set this engine does not know, is
// read with the ANSI code page (GBK), as the rest of the system reads text.
// Chinese equipment often writes GB2312 bytes under "ISO_IR 100" or
// "ISO_IR 6"; a value declared so whose 8-bit bytes all pair up as GB2312
// double-byte characters is read with the code page too, while a value with
// a lone 8-bit byte ("Jérôme") stays Latin-1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/dicom_element.h"

// How element text becomes UTF-16, for the whole process.
enum class TextDecoding : int32_t {
  Declared,  // by each data set's declared character set (the default)
  CodePage,  // every value with the ANSI code page, whatever a file declares
};
// CodePage when the environment variable TESMER_CODEPAGE names a code page
// (it then forces that one for every file), else Declared, until changed.
TextDecoding CurrentTextDecoding();
void SetTextDecoding(TextDecoding mode);

// A parsed (0008,0005) value: its terms, in order, as rows of the engine's
// table of known sets. `declared` is false when the value is absent, empty
// or starts with a set the engine does not know.
struct CharacterSet {
  static constexpr int kMaxTerms = 8;
  int8_t terms[kMaxTerms] = {};
  int8_t count = 0;
  bool declared = false;
};

// Parses the bytes of a (0008,0005) value ("ISO_IR 100", "\ISO 2022 IR 87",
// "ISO 2022 IR 13\ISO 2022 IR 87", ...).
CharacterSet ParseCharacterSet(const uint8_t* value, size_t count);

// True for the VRs whose text is in the declared character set (SH, LO, ST,
// LT, UT, PN, UC); every other value is in the default repertoire.
bool FollowsCharacterSet(VrCode vr);

// Decodes `count` bytes of a value of VR `vr` in `set`; the text ends at the
// first zero byte. `clipped` says the bytes are the start of a longer value,
// so that a character cut off at their end is left out rather than shown as
// U+FFFD.
std::u16string DecodeText(const uint8_t* bytes, size_t count, const CharacterSet& set, VrCode vr,
                          bool clipped = false);
