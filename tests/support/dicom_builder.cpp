#include "tests/support/dicom_builder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace fixture {

namespace {
bool IsLongVr(std::string_view vr) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (vr == v) return true;
  return false;
}
}  // namespace

void DicomBuilder::Put16(uint16_t v, bool big) {
  if (big) {
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v));
  } else {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
}

void DicomBuilder::Put32(uint32_t v, bool big) {
  if (big) {
    Put16(static_cast<uint16_t>(v >> 16), true);
    Put16(static_cast<uint16_t>(v), true);
  } else {
    Put16(static_cast<uint16_t>(v), false);
    Put16(static_cast<uint16_t>(v >> 16), false);
  }
}

void DicomBuilder::PutTag(uint16_t group, uint16_t element, bool big) {
  Put16(group, big);
  Put16(element, big);
}

void DicomBuilder::PutHeader(uint16_t group, uint16_t element, std::string_view vr, uint32_t length, Encoding enc) {
  bool big = enc == Encoding::ExplicitBig && group != 0x0002;
  bool isExplicit = enc != Encoding::ImplicitLittle || group == 0x0002;
  PutTag(group, element, big);
  if (!isExplicit) {
    Put32(length, big);
    return;
  }
  bytes_.push_back(static_cast<uint8_t>(vr.size() > 0 ? vr[0] : ' '));
  bytes_.push_back(static_cast<uint8_t>(vr.size() > 1 ? vr[1] : ' '));
  if (IsLongVr(vr)) {
    Put16(0, big);
    Put32(length, big);
  } else {
    Put16(static_cast<uint16_t>(length), big);
  }
}

DicomBuilder& DicomBuilder::Preamble(uint8_t fill, std::string_view marker) {
  bytes_.insert(bytes_.end(), 128, fill);
  bytes_.insert(bytes_.end(), marker.begin(), marker.end());
  return *this;
}

DicomBuilder& DicomBuilder::Meta(std::string_view transferSyntaxUid, std::string_view sopClassUid,
                                 std::string_view sopInstanceUid) {
  Encoding saved = encoding_;
  encoding_ = Encoding::ExplicitLittle;
  size_t groupLengthValue = bytes_.size() + 8;
  UL(0x0002, 0x0000, 0);
  size_t start = bytes_.size();
  Element(0x0002, 0x0001, "OB", std::vector<uint8_t>{0x00, 0x01});
  if (!sopClassUid.empty()) Uid(0x0002, 0x0002, sopClassUid);
  if (!sopInstanceUid.empty()) Uid(0x0002, 0x0003, sopInstanceUid);
  Uid(0x0002, 0x0010, transferSyntaxUid);
  uint32_t groupLength = static_cast<uint32_t>(bytes_.size() - start);
  std::memcpy(&bytes_[groupLengthValue], &groupLength, 4);  // little endian host
  encoding_ = saved;
  return *this;
}

DicomBuilder& DicomBuilder::Element(uint16_t group, uint16_t element, std::string_view vr, std::string_view value) {
  PutHeader(group, element, vr, static_cast<uint32_t>(value.size()), group == 0x0002 ? Encoding::ExplicitLittle : encoding_);
  bytes_.insert(bytes_.end(), value.begin(), value.end());
  return *this;
}

DicomBuilder& DicomBuilder::Element(uint16_t group, uint16_t element, std::string_view vr,
                                    const std::vector<uint8_t>& value) {
  PutHeader(group, element, vr, static_cast<uint32_t>(value.size()), group == 0x0002 ? Encoding::ExplicitLittle : encoding_);
  bytes_.insert(bytes_.end(), value.begin(), value.end());
  return *this;
}

DicomBuilder& DicomBuilder::Text(uint16_t group, uint16_t element, std::string_view vr, std::string_view value) {
  std::string padded(value);
  if (padded.size() % 2 != 0) padded.push_back(' ');
  return Element(group, element, vr, padded);
}

DicomBuilder& DicomBuilder::Uid(uint16_t group, uint16_t element, std::string_view value) {
  std::string padded(value);
  if (padded.size() % 2 != 0) padded.push_back('\0');
  return Element(group, element, "UI", padded);
}

DicomBuilder& DicomBuilder::US(uint16_t group, uint16_t element, uint16_t value) {
  PutHeader(group, element, "US", 2, group == 0x0002 ? Encoding::ExplicitLittle : encoding_);
  Put16(value, BigFor(group));
  return *this;
}

DicomBuilder& DicomBuilder::UL(uint16_t group, uint16_t element, uint32_t value) {
  PutHeader(group, element, "UL", 4, group == 0x0002 ? Encoding::ExplicitLittle : encoding_);
  Put32(value, BigFor(group));
  return *this;
}

DicomBuilder& DicomBuilder::Header(uint16_t group, uint16_t element, std::string_view vr, uint32_t declaredLength) {
  PutHeader(group, element, vr, declaredLength, group == 0x0002 ? Encoding::ExplicitLittle : encoding_);
  return *this;
}

DicomBuilder& DicomBuilder::BeginSequence(uint16_t group, uint16_t element, Length length) {
  bool big = BigFor(group);
  PutTag(group, element, big);
  if (encoding_ != Encoding::ImplicitLittle) {
    bytes_.push_back('S');
    bytes_.push_back('Q');
    Put16(0, big);
  }
  size_t lengthAt = bytes_.size();
  Put32(length == Length::Undefined ? 0xFFFFFFFFu : 0u, big);
  open_.push_back({length == Length::Undefined ? SIZE_MAX : lengthAt, bytes_.size(), true});
  return *this;
}

DicomBuilder& DicomBuilder::BeginItem(Length length) {
  bool big = encoding_ == Encoding::ExplicitBig;
  PutTag(0xFFFE, 0xE000, big);
  size_t lengthAt = bytes_.size();
  Put32(length == Length::Undefined ? 0xFFFFFFFFu : 0u, big);
  open_.push_back({length == Length::Undefined ? SIZE_MAX : lengthAt, bytes_.size(), false});
  return *this;
}

DicomBuilder& DicomBuilder::EndItem() {
  if (open_.empty() || open_.back().sequence) throw std::logic_error("EndItem without BeginItem");
  Open o = open_.back();
  open_.pop_back();
  bool big = encoding_ == Encoding::ExplicitBig;
  if (o.lengthAt == SIZE_MAX) {
    PutTag(0xFFFE, 0xE00D, big);
    Put32(0, big);
  } else {
    uint32_t n = static_cast<uint32_t>(bytes_.size() - o.valueStart);
    std::vector<uint8_t> saved(bytes_.begin() + static_cast<long>(o.lengthAt) + 4, bytes_.end());
    bytes_.resize(o.lengthAt);
    Put32(n, big);
    bytes_.insert(bytes_.end(), saved.begin(), saved.end());
  }
  return *this;
}

DicomBuilder& DicomBuilder::EndSequence() {
  if (open_.empty() || !open_.back().sequence) throw std::logic_error("EndSequence without BeginSequence");
  Open o = open_.back();
  open_.pop_back();
  bool big = encoding_ == Encoding::ExplicitBig;
  if (o.lengthAt == SIZE_MAX) {
    PutTag(0xFFFE, 0xE0DD, big);
    Put32(0, big);
  } else {
    uint32_t n = static_cast<uint32_t>(bytes_.size() - o.valueStart);
    std::vector<uint8_t> saved(bytes_.begin() + static_cast<long>(o.lengthAt) + 4, bytes_.end());
    bytes_.resize(o.lengthAt);
    Put32(n, big);
    bytes_.insert(bytes_.end(), saved.begin(), saved.end());
  }
  return *this;
}

DicomBuilder& DicomBuilder::EncapsulatedPixelData(const std::vector<std::vector<uint8_t>>& fragments,
                                                  const std::vector<uint32_t>& offsetTable) {
  // Encapsulated pixel data is always little endian.
  PutTag(0x7FE0, 0x0010, false);
  if (encoding_ != Encoding::ImplicitLittle) {
    bytes_.push_back('O');
    bytes_.push_back('B');
    Put16(0, false);
  }
  Put32(0xFFFFFFFFu, false);
  PutTag(0xFFFE, 0xE000, false);
  Put32(static_cast<uint32_t>(offsetTable.size() * 4), false);
  for (uint32_t o : offsetTable) Put32(o, false);
  for (const auto& f : fragments) {
    PutTag(0xFFFE, 0xE000, false);
    Put32(static_cast<uint32_t>(f.size()), false);
    bytes_.insert(bytes_.end(), f.begin(), f.end());
  }
  PutTag(0xFFFE, 0xE0DD, false);
  Put32(0, false);
  return *this;
}

DicomBuilder& DicomBuilder::Raw(std::initializer_list<uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

DicomBuilder& DicomBuilder::Raw(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& bytes) {
  z_stream z{};
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(bytes.size())) + 64);
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? out : std::vector<uint8_t>{};
}

std::vector<uint8_t> BuildDeflatedFile(const SimpleFile& recipe) {
  SimpleFile inside = recipe;
  inside.encoding = Encoding::ExplicitLittle;
  const std::vector<uint8_t> plain = BuildSimpleFile(inside);
  // The meta group ends where its group length says: 132 bytes of preamble
  // and marker, the 12-byte length element, then its value.
  uint32_t metaLength;
  std::memcpy(&metaLength, plain.data() + 140, 4);
  const std::vector<uint8_t> dataSet(plain.begin() + 144 + metaLength, plain.end());
  DicomBuilder b;
  b.Preamble().Meta(kDeflatedExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", recipe.sopInstanceUid);
  b.Raw(RawDeflate(dataSet));
  return b.Bytes();
}

std::vector<uint8_t> BuildSimpleFile(const SimpleFile& recipe) {
  std::string_view syntax = recipe.encoding == Encoding::ImplicitLittle ? kImplicitLittle
                            : recipe.encoding == Encoding::ExplicitBig  ? kExplicitBig
                                                                      : kExplicitLittle;
  DicomBuilder b(recipe.encoding);
  b.Preamble().Meta(syntax, "1.2.840.10008.5.1.4.1.1.2", recipe.sopInstanceUid);
  if (!recipe.characterSet.empty()) b.Text(0x0008, 0x0005, "CS", recipe.characterSet);
  b.Uid(0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.2")
      .Uid(0x0008, 0x0018, recipe.sopInstanceUid)
      .Text(0x0008, 0x0020, "DA", recipe.studyDate)
      .Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0008, 0x0080, "LO", "GENERAL HOSPITAL")
      .Text(0x0008, 0x103E, "LO", recipe.seriesDescription)
      .Text(0x0010, 0x0010, "PN", recipe.patientName)
      .Text(0x0010, 0x0020, "LO", recipe.patientId)
      .Text(0x0010, 0x0030, "DA", "19700101")
      .Uid(0x0020, 0x000D, recipe.studyUid)
      .Uid(0x0020, 0x000E, recipe.seriesUid)
      .Text(0x0020, 0x0010, "SH", "S1")
      .US(0x0028, 0x0010, 4)
      .US(0x0028, 0x0011, static_cast<uint16_t>(recipe.pixelBytes / 8 > 0 ? recipe.pixelBytes / 8 : 1))
      .US(0x0028, 0x0100, 16);
  if (recipe.pixelBytes > 0) b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(recipe.pixelBytes, 0x11));
  return b.Bytes();
}

DicomBuilder& CtImageIdentity(DicomBuilder& b, std::string_view sopInstanceUid) {
  return b.Text(0x0008, 0x0005, "CS", "ISO_IR 100")
      .Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\AXIAL")
      .Uid(0x0008, 0x0016, kCtImageStorage)
      .Uid(0x0008, 0x0018, sopInstanceUid);
}

DicomBuilder& MonochromePixelModule(DicomBuilder& b, uint16_t rows, uint16_t columns) {
  return b.US(0x0028, 0x0002, 1)
      .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
      .US(0x0028, 0x0010, rows)
      .US(0x0028, 0x0011, columns)
      .US(0x0028, 0x0100, 16)
      .US(0x0028, 0x0101, 12)
      .US(0x0028, 0x0102, 11)
      .US(0x0028, 0x0103, 0);
}

}  // namespace fixture
