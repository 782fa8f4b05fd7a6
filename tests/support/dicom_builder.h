// A small DICOM byte builder for fixtures, the demo study, benchmarks and fuzz
// seeds: tags, VRs, lengths and values in explicit or implicit VR, little or
// big endian, with sequences and items of every length form.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace fixture {

enum class Encoding { ExplicitLittle, ImplicitLittle, ExplicitBig };

// How a sequence or item states its length.
enum class Length { Undefined, Defined };

class DicomBuilder {
 public:
  explicit DicomBuilder(Encoding dataSet = Encoding::ExplicitLittle) : encoding_(dataSet) {}

  // 128 preamble bytes (zero unless `fill` is given) and "DICM".
  DicomBuilder& Preamble(uint8_t fill = 0, std::string_view marker = "DICM");
  // The file meta group in explicit VR little endian: group length,
  // transfer syntax UID and the two SOP UIDs when given.
  DicomBuilder& Meta(std::string_view transferSyntaxUid, std::string_view sopClassUid = {},
                     std::string_view sopInstanceUid = {});

  // One element in the data set's encoding. `vr` is two letters; the value is
  // written as given (callers pad to even lengths where they want to).
  DicomBuilder& Element(uint16_t group, uint16_t element, std::string_view vr, std::string_view value);
  DicomBuilder& Element(uint16_t group, uint16_t element, std::string_view vr, const std::vector<uint8_t>& value);
  // Text padded to an even length with a space (UI values with a zero byte).
  DicomBuilder& Text(uint16_t group, uint16_t element, std::string_view vr, std::string_view value);
  DicomBuilder& Uid(uint16_t group, uint16_t element, std::string_view value);
  DicomBuilder& US(uint16_t group, uint16_t element, uint16_t value);
  DicomBuilder& UL(uint16_t group, uint16_t element, uint32_t value);
  // An element whose header states `declaredLength` whatever value follows:
  // for truncations and hostile lengths.
  DicomBuilder& Header(uint16_t group, uint16_t element, std::string_view vr, uint32_t declaredLength);

  // Sequences: Begin writes the header, End patches a defined length.
  DicomBuilder& BeginSequence(uint16_t group, uint16_t element, Length length = Length::Undefined);
  DicomBuilder& EndSequence();
  DicomBuilder& BeginItem(Length length = Length::Undefined);
  DicomBuilder& EndItem();

  // Encapsulated Pixel Data: an offset table item (empty when not given),
  // then one item per fragment, then the sequence delimiter.
  DicomBuilder& EncapsulatedPixelData(const std::vector<std::vector<uint8_t>>& fragments,
                                      const std::vector<uint32_t>& offsetTable = {});

  DicomBuilder& Raw(std::initializer_list<uint8_t> bytes);
  DicomBuilder& Raw(const std::vector<uint8_t>& bytes);
  // Switches the encoding of the elements that follow (a file's meta group
  // is always explicit little endian; Meta() handles that itself).
  DicomBuilder& SetEncoding(Encoding e) {
    encoding_ = e;
    return *this;
  }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }

 private:
  struct Open {
    size_t lengthAt;   // where the length field is, or SIZE_MAX for undefined
    size_t valueStart;
    bool sequence;
  };

  void Put16(uint16_t v, bool big);
  void Put32(uint32_t v, bool big);
  void PutTag(uint16_t group, uint16_t element, bool big);
  void PutHeader(uint16_t group, uint16_t element, std::string_view vr, uint32_t length, Encoding enc);
  bool BigFor(uint16_t group) const { return encoding_ == Encoding::ExplicitBig && group != 0x0002; }

  Encoding encoding_;
  std::vector<uint8_t> bytes_;
  std::vector<Open> open_;
};

// A complete small file: preamble, meta group and a few patient and study
// elements, in the given encoding, optionally with native pixel data.
struct SimpleFile {
  Encoding encoding = Encoding::ExplicitLittle;
  std::string patientName = "DOE^JOHN";
  std::string patientId = "PID001";
  std::string studyUid = "1.2.3.4.5";
  std::string seriesUid = "1.2.3.4.5.6";
  std::string sopInstanceUid = "1.2.3.4.5.6.7";
  std::string seriesDescription = "CT HEAD";
  std::string studyDate = "20240102";
  uint32_t pixelBytes = 16;  // 0: no Pixel Data
  std::string characterSet = "ISO_IR 100";  // (0008,0005); empty: none
};
std::vector<uint8_t> BuildSimpleFile(const SimpleFile& recipe);
// The same file (explicit VR little endian inside) with its data set
// deflated: the meta group names Deflated Explicit VR Little Endian.
std::vector<uint8_t> BuildDeflatedFile(const SimpleFile& recipe);
// Raw deflate (no zlib header), as a deflated data set is stored.
std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& bytes);

// The UID of a transfer syntax.
inline constexpr std::string_view kImplicitLittle = "1.2.840.10008.1.2";
inline constexpr std::string_view kExplicitLittle = "1.2.840.10008.1.2.1";
inline constexpr std::string_view kExplicitBig = "1.2.840.10008.1.2.2";
inline constexpr std::string_view kDeflatedExplicitLittle = "1.2.840.10008.1.2.1.99";
inline constexpr std::string_view kJpegBaseline = "1.2.840.10008.1.2.4.50";

// The SOP class of CT-like images.
inline constexpr std::string_view kCtImageStorage = "1.2.840.10008.5.1.4.1.1.2";

// Pieces of a CT-like image, shared by the demo study and the benchmarks'
// corpora so that each builds its files from the same elements.
//
// The elements that open the data set: Specific Character Set (ISO_IR 100),
// Image Type (ORIGINAL\PRIMARY\AXIAL), SOP Class (CT Image Storage) and SOP
// Instance UIDs.
DicomBuilder& CtImageIdentity(DicomBuilder& b, std::string_view sopInstanceUid);
// The description of unsigned 16-bit monochrome pixels with 12 bits stored:
// Samples per Pixel through Pixel Representation. The Pixel Data is the
// caller's.
DicomBuilder& MonochromePixelModule(DicomBuilder& b, uint16_t rows, uint16_t columns);

}  // namespace fixture
