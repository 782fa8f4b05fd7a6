// One data element as the walker records it, and the codes it is keyed by.
#pragma once

#include <cstdint>

// A tag as one number: group in the low 16 bits, element in the high 16 bits,
// so that (0028,0010) is 0x00100028.
using TagKey = uint32_t;

constexpr TagKey MakeTagKey(uint16_t group, uint16_t element) {
  return static_cast<TagKey>(group) | (static_cast<TagKey>(element) << 16);
}
constexpr uint16_t GroupOfKey(TagKey key) { return static_cast<uint16_t>(key & 0xFFFF); }
constexpr uint16_t ElementOfKey(TagKey key) { return static_cast<uint16_t>(key >> 16); }

// The two VR letters as a little-endian 16-bit number, first letter in the low
// byte ("OB" is 0x424F), held in a signed 32-bit field; all ones means no VR.
using VrCode = int32_t;
constexpr VrCode kNoVr = -1;
constexpr VrCode MakeVr(char first, char second) {
  return static_cast<VrCode>(static_cast<uint8_t>(first) | (static_cast<uint8_t>(second) << 8));
}

namespace vr {
constexpr VrCode AE = MakeVr('A', 'E'), AS = MakeVr('A', 'S'), AT = MakeVr('A', 'T'), CS = MakeVr('C', 'S');
constexpr VrCode DA = MakeVr('D', 'A'), DS = MakeVr('D', 'S'), DT = MakeVr('D', 'T'), FD = MakeVr('F', 'D');
constexpr VrCode FL = MakeVr('F', 'L'), IS = MakeVr('I', 'S'), LO = MakeVr('L', 'O'), LT = MakeVr('L', 'T');
constexpr VrCode OB = MakeVr('O', 'B'), OD = MakeVr('O', 'D'), OF = MakeVr('O', 'F'), OL = MakeVr('O', 'L');
constexpr VrCode OV = MakeVr('O', 'V'), OW = MakeVr('O', 'W'), PN = MakeVr('P', 'N'), SH = MakeVr('S', 'H');
constexpr VrCode SL = MakeVr('S', 'L'), SQ = MakeVr('S', 'Q'), SS = MakeVr('S', 'S'), ST = MakeVr('S', 'T');
constexpr VrCode SV = MakeVr('S', 'V'), TM = MakeVr('T', 'M'), UC = MakeVr('U', 'C'), UI = MakeVr('U', 'I');
constexpr VrCode UL = MakeVr('U', 'L'), UN = MakeVr('U', 'N'), UR = MakeVr('U', 'R'), US = MakeVr('U', 'S');
constexpr VrCode UT = MakeVr('U', 'T'), UV = MakeVr('U', 'V');
}  // namespace vr

// True for the VRs whose explicit header has 12 bytes: two reserved bytes
// after the VR and a 4-byte length.
constexpr bool HasLongExplicitHeader(VrCode code) {
  switch (code) {
    case vr::OB: case vr::OD: case vr::OF: case vr::OL: case vr::OV: case vr::OW:
    case vr::SV: case vr::UC: case vr::UN: case vr::UR: case vr::UT: case vr::UV:
      return true;
    default:
      return false;
  }
}

// One element record. The value of a non-sequence element is the `length`
// bytes that end at `end`; sequences and undefined lengths have length -1.
// Items and delimiters have no records.
struct DicomElement {
  uint16_t group;
  uint16_t element;
  VrCode vr;
  int32_t length;
  int32_t offset;  // position of the first tag byte in the file
  int32_t end;     // just past the value (for a sequence, past its last item or delimiter)
  int32_t depth;   // 0 at top level, one more per enclosing sequence

  TagKey Key() const { return MakeTagKey(group, element); }

  // Slots that a growing element list adds hold all ones in vr, length and depth.
  static constexpr DicomElement Fresh() { return DicomElement{0, 0, kNoVr, -1, 0, 0, -1}; }
};
