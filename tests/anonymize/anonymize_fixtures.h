// Fixtures shared by the de-identification tests: files built in code and
// small readers of the writer's output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/dicom_file.h"
#include "tests/support/dicom_builder.h"

namespace anonymize_fixture {

using Bytes = std::vector<uint8_t>;
using fixture::DicomBuilder;
using fixture::Encoding;

inline std::string_view SyntaxOf(Encoding e) {
  return e == Encoding::ImplicitLittle ? fixture::kImplicitLittle
         : e == Encoding::ExplicitBig  ? fixture::kExplicitBig
                                       : fixture::kExplicitLittle;
}

// A CT-like file with something for every kind of action: names and dates,
// UIDs, a private group with a private sequence, a public sequence holding a
// name, and pixel data.
inline Bytes RichFile(Encoding encoding, uint8_t preambleFill = 0) {
  DicomBuilder b(encoding);
  b.Preamble(preambleFill).Meta(SyntaxOf(encoding), "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4.5.6.7");
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 100")
      .Uid(0x0008, 0x0014, "1.2.3.9")
      .Uid(0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.2")
      .Uid(0x0008, 0x0018, "1.2.3.4.5.6.7")
      .Text(0x0008, 0x0020, "DA", "20240102")
      .Text(0x0008, 0x0030, "TM", "101010")
      .Text(0x0008, 0x0050, "SH", "ACC123")
      .Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0008, 0x0080, "LO", "GENERAL HOSPITAL")
      .Text(0x0008, 0x1050, "PN", "HOUSE^GREGORY");
  b.BeginSequence(0x0008, 0x1120).BeginItem()  // Referenced Patient Sequence, copied whole
      .Text(0x0010, 0x0010, "PN", "DOE^JOHN")
      .Text(0x0010, 0x0020, "LO", "PID001")
      .EndItem().EndSequence();
  b.Text(0x0009, 0x0010, "LO", "ACME 1.0")  // private creator
      .Text(0x0009, 0x1001, "LO", "SECRET")
      .Text(0x0010, 0x0010, "PN", "DOE^JOHN")
      .Text(0x0010, 0x0020, "LO", "AB 12")
      .Text(0x0010, 0x0030, "DA", "19700101")
      .Text(0x0010, 0x0040, "CS", "M")
      .Text(0x0010, 0x1010, "AS", "054Y")
      .Text(0x0010, 0x4000, "LT", "likes DICOM");
  b.Text(0x0019, 0x0010, "LO", "ACME SEQ");
  b.BeginSequence(0x0019, 0x1001, fixture::Length::Defined).BeginItem(fixture::Length::Defined)
      .Text(0x0010, 0x0010, "PN", "HIDDEN^NAME")
      .EndItem().EndSequence();
  b.Uid(0x0020, 0x000D, "1.2.3.4.5")
      .Uid(0x0020, 0x000E, "1.2.3.4.5.6")
      .Text(0x0020, 0x0010, "SH", "S1")
      .Text(0x0040, 0x0245, "TM", "101010")
      .US(0x0028, 0x0010, 4)
      .US(0x0028, 0x0011, 4)
      .US(0x0028, 0x0100, 16);
  b.Element(0x7FE0, 0x0010, "OW", Bytes(32, 0x11));
  return b.Bytes();
}

struct Tag {
  uint16_t group, element;
  int32_t depth;
  bool operator==(const Tag&) const = default;
};

inline std::vector<Tag> TagsOf(const DicomFile& file) {
  std::vector<Tag> tags;
  for (const DicomElement& e : file.elements) tags.push_back({e.group, e.element, e.depth});
  return tags;
}

inline const DicomElement* FindTop(const DicomFile& file, uint16_t group, uint16_t element) {
  for (const DicomElement& e : file.elements)
    if (e.group == group && e.element == element && e.depth == 0) return &e;
  return nullptr;
}

inline Bytes ElementBytes(const DicomFile& file, const DicomElement& e) {
  return Bytes(file.fileBytes.data + e.offset, file.fileBytes.data + e.end);
}

inline std::string ValueOf(const DicomFile& file, uint16_t group, uint16_t element) {
  const DicomElement* e = FindTop(file, group, element);
  if (e == nullptr || e->length <= 0) return std::string();
  return std::string(file.fileBytes.data + e->end - e->length, file.fileBytes.data + e->end);
}

// Where `needle` first occurs in `hay`, or -1.
inline int64_t Find(const Bytes& hay, const Bytes& needle) {
  if (needle.empty() || hay.size() < needle.size()) return -1;
  for (size_t i = 0; i + needle.size() <= hay.size(); ++i)
    if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<long>(i))) return static_cast<int64_t>(i);
  return -1;
}

}  // namespace anonymize_fixture
