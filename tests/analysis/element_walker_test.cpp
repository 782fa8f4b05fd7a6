// The element walker on files built in code: the three encodings, files
// without meta group or marker, every sequence form, fragments, undefined
// lengths, unknown VRs, truncations, hostile lengths and deep nesting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESMER_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TESMER_TEST_ASAN 1
#endif
#ifdef TESMER_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

using fixture::DicomBuilder;
using fixture::Encoding;
using fixture::Length;

std::unique_ptr<DicomFile> Analysed(const std::vector<uint8_t>& bytes) {
  auto file = std::make_unique<DicomFile>();
  file->logToText = 1;
  file->AnalyseBytes(u"fixture.dcm", bytes.data(), bytes.size());
  return file;
}

const DicomElement* Find(const DicomFile& f, uint16_t group, uint16_t element, int32_t depth = -1) {
  for (const DicomElement& e : f.elements)
    if (e.group == group && e.element == element && (depth < 0 || e.depth == depth)) return &e;
  return nullptr;
}

std::string Utf8(const std::u16string& text) { return plat::Utf16ToUtf8(text); }

std::string VrText(VrCode code) {
  if (code == kNoVr) return "";
  return std::string{static_cast<char>(code & 0xFF), static_cast<char>((code >> 8) & 0xFF)};
}

// The records as "GGGG,EEEE VR depth" lines, for comparing whole walks.
std::vector<std::string> Shape(const DicomFile& f) {
  std::vector<std::string> out;
  for (const DicomElement& e : f.elements) {
    char line[40];
    std::snprintf(line, sizeof line, "%04X,%04X %s %d", e.group, e.element, VrText(e.vr).c_str(), e.depth);
    out.push_back(line);
  }
  return out;
}

std::string TagText(uint16_t group, uint16_t element) {
  char tag[16];
  std::snprintf(tag, sizeof tag, "%04X,%04X", group, element);
  return tag;
}

bool LogHas(const DicomFile& f, const std::u16string& text) { return f.logText.find(text) != std::u16string::npos; }

// Poisons the spare capacity behind the file's bytes (where AddressSanitizer
// is on), so that a renderer reading past the end of the file is caught even
// inside the buffer's rounded-up allocation.
class PoisonedTail {
 public:
  explicit PoisonedTail(const DicomFile& f) : f_(f) {
#ifdef TESMER_TEST_ASAN
    if (f_.fileBytes.data) ASAN_POISON_MEMORY_REGION(f_.fileBytes.data + f_.fileBytes.length, Spare());
#endif
  }
  ~PoisonedTail() {
#ifdef TESMER_TEST_ASAN
    if (f_.fileBytes.data) ASAN_UNPOISON_MEMORY_REGION(f_.fileBytes.data + f_.fileBytes.length, Spare());
#endif
  }

 private:
  size_t Spare() const { return static_cast<size_t>(f_.fileBytes.capacity - f_.fileBytes.length); }
  const DicomFile& f_;
};

// Every reader of value bytes over every record.
void RenderEverything(const DicomFile& f) {
  PoisonedTail poison(f);
  int32_t counter = 0;
  for (const DicomElement& e : f.elements) {
    int32_t length = 0;
    (void)ValueText(e, f, &length);
    EXPECT_EQ(length, e.length);
    EXPECT_FALSE(ElementLogLine(e, f, ++counter).empty());
    std::u16string out;
    (void)f.ValueByKey(e.Key(), out);
    const uint8_t* first;
    int32_t count;
    f.ValueSpan(e, first, count);
    if (first != nullptr) {
      EXPECT_GE(first, f.fileBytes.data);
      EXPECT_LE(first + count, f.fileBytes.data + f.fileBytes.length);
    }
  }
}

// ---------------------------------------------------------------------------
// Encodings

TEST(ElementWalker, WalksEachEncodingToTheEndOfTheFile) {
  struct Case {
    Encoding encoding;
    int32_t syntaxRow, explicitVr, littleEndian;
  } cases[] = {
      {Encoding::ExplicitLittle, 1, 1, 1},
      {Encoding::ImplicitLittle, 0, 0, 1},
      {Encoding::ExplicitBig, 3, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.syntaxRow);
    fixture::SimpleFile recipe;
    recipe.encoding = c.encoding;
    const std::vector<uint8_t> bytes = fixture::BuildSimpleFile(recipe);
    auto f = Analysed(bytes);

    EXPECT_EQ(f->status, StatusImage);
    EXPECT_EQ(f->transferSyntaxIndex, c.syntaxRow);
    EXPECT_EQ(f->explicitVr, c.explicitVr);
    EXPECT_EQ(f->littleEndian, c.littleEndian);
    // Meta group (5 elements), 16 data set elements and Pixel Data, one after
    // the other from position 132 to the end.
    ASSERT_EQ(f->elements.length, 22);
    int32_t expectedOffset = 132;
    for (const DicomElement& e : f->elements) {
      EXPECT_EQ(e.offset, expectedOffset);
      EXPECT_EQ(e.depth, 0);
      expectedOffset = e.end;
    }
    EXPECT_EQ(expectedOffset, static_cast<int32_t>(bytes.size()));

    // Group 0002 always carries its VRs; the data set's come from the stream
    // or, in implicit VR, from the dictionary.
    EXPECT_EQ(f->elements[0].vr, vr::UL);
    const DicomElement* rows = Find(*f, 0x0028, 0x0010);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->vr, vr::US);
    EXPECT_EQ(Utf8(ValueText(*rows, *f)), "4");
    const DicomElement* name = Find(*f, 0x0010, 0x0010);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(Utf8(ValueText(*name, *f)), "DOE^JOHN");
    const DicomElement* pixels = Find(*f, 0x7FE0, 0x0010);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->vr, c.encoding == Encoding::ImplicitLittle ? VrOfKey(pixels->Key()) : vr::OW);
    EXPECT_EQ(pixels->length, 16);
    if (c.encoding == Encoding::ImplicitLittle) {
      for (const DicomElement& e : f->elements)
        if (e.group != 0x0002) {
          EXPECT_EQ(e.vr, VrOfKey(e.Key())) << Utf8(ElementLabel(e));
        }
    }
  }
}

TEST(ElementWalker, BigEndianValuesRenderInFileOrderAndBytesStayAsRead) {
  auto be16 = [](uint16_t v) { return std::vector<uint8_t>{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; };
  auto be32 = [](uint32_t v) {
    return std::vector<uint8_t>{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                                static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  };
  auto be64 = [](uint64_t v) {
    std::vector<uint8_t> out;
    for (int i = 7; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
  };
  float f15 = 1.5f;
  double d_25 = -2.25;
  uint32_t fbits;
  uint64_t dbits;
  std::memcpy(&fbits, &f15, 4);
  std::memcpy(&dbits, &d_25, 8);

  DicomBuilder b(Encoding::ExplicitBig);
  b.Preamble().Meta(fixture::kExplicitBig);
  b.Element(0x0018, 0x0088, "SS", be16(0xFFFE))       // -2
      .Element(0x0018, 0x1060, "SL", be32(0xFFFFFFFD))  // -3
      .Element(0x0018, 0x9004, "FL", be32(fbits))
      .Element(0x0018, 0x9005, "FD", be64(dbits))
      .Element(0x0020, 0x9057, "UL", be32(70000))
      .US(0x0028, 0x0010, 512)
      .Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>{1, 2, 3, 4});
  const std::vector<uint8_t> bytes = b.Bytes();
  auto f = Analysed(bytes);

  ASSERT_EQ(f->status, StatusImage);
  EXPECT_EQ(f->littleEndian, 0);
  struct Case {
    uint16_t group, element;
    const char* text;
  } cases[] = {
      {0x0018, 0x0088, "-2"},       {0x0018, 0x1060, "-3"},  {0x0018, 0x9004, "1.5"},
      {0x0018, 0x9005, "-2.25"}, {0x0020, 0x9057, "70000"}, {0x0028, 0x0010, "512"},
  };
  for (const Case& c : cases) {
    const DicomElement* e = Find(*f, c.group, c.element);
    ASSERT_NE(e, nullptr) << c.text;
    EXPECT_EQ(Utf8(ValueText(*e, *f)), c.text);
  }
  // The meta group is little endian whatever the data set is.
  EXPECT_EQ(Utf8(ValueText(f->elements[0], *f)), std::to_string(bytes[140] | bytes[141] << 8));
  ASSERT_EQ(f->fileBytes.length, static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(std::memcmp(f->fileBytes.data, bytes.data(), bytes.size()), 0) << "fileBytes changed by the walk";
}

TEST(ElementWalker, DataSetWithoutMetaGroupIsImplicit) {
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Text(0x0008, 0x0060, "CS", "CT").Text(0x0010, 0x0010, "PN", "LI^SI").US(0x0028, 0x0010, 2);
  b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(8, 0));
  auto f = Analysed(b.Bytes());
  EXPECT_EQ(f->status, StatusImage);
  EXPECT_EQ(f->explicitVr, 0);
  EXPECT_EQ(f->metaSeen, -1);
  EXPECT_EQ(Shape(*f), (std::vector<std::string>{"0008,0060 CS 0", "0010,0010 PN 0", "0028,0010 US 0",
                                                 "7FE0,0010 " + VrText(VrOfKey(MakeTagKey(0x7FE0, 0x0010))) + " 0"}));
}

TEST(ElementWalker, MarkerRules) {
  // A bare implicit data set from position 0, long enough to pass the
  // 132-byte test, with the marker position holding element bytes.
  DicomBuilder bare(Encoding::ImplicitLittle);
  bare.Text(0x0008, 0x0060, "CS", "MR").Text(0x0010, 0x0010, "PN", std::string(150, 'A'));
  auto noMarker = Analysed(bare.Bytes());
  EXPECT_EQ(noMarker->status, StatusComplete);
  EXPECT_TRUE(LogHas(*noMarker, u"此文件没有DICM标记，非DICOM文件\r\n"));
  ASSERT_EQ(noMarker->elements.length, 2);
  EXPECT_EQ(noMarker->elements[0].offset, 0);

  for (const char* marker : {"dicm", "DiCm"}) {
    DicomBuilder b;
    b.Preamble(0, marker).Meta(fixture::kExplicitLittle).Text(0x0010, 0x0010, "PN", "X");
    auto f = Analysed(b.Bytes());
    EXPECT_EQ(f->status, StatusComplete) << marker;
    EXPECT_FALSE(LogHas(*f, u"DICM标记")) << marker;
    ASSERT_GT(f->elements.length, 0);
    EXPECT_EQ(f->elements[0].offset, 132);
  }
}

// ---------------------------------------------------------------------------
// Sequences

// A Referenced Series Sequence of undefined length whose first item holds a
// defined-length sequence holding an undefined-length one, and a second item
// of defined length; Patient's Name after it. Offsets and ends as built.
struct NestedFile {
  std::vector<uint8_t> bytes;
  int32_t outerAt, outerEnd, middleAt, middleEnd, innerAt, innerEnd, nameAt;
};

NestedFile BuildNested(Encoding encoding) {
  std::string_view syntax = encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle
                            : encoding == Encoding::ExplicitBig  ? fixture::kExplicitBig
                                                                 : fixture::kExplicitLittle;
  DicomBuilder b(encoding);
  NestedFile n{};
  b.Preamble().Meta(syntax);
  n.outerAt = static_cast<int32_t>(b.Size());
  b.BeginSequence(0x0008, 0x1115, Length::Undefined).BeginItem(Length::Undefined);
  b.Uid(0x0020, 0x000E, "1.2.3");
  n.middleAt = static_cast<int32_t>(b.Size());
  b.BeginSequence(0x0008, 0x1140, Length::Defined).BeginItem(Length::Defined);
  b.Uid(0x0008, 0x1150, "1.2.840.10008.5.1.4.1.1.2");
  n.innerAt = static_cast<int32_t>(b.Size());
  b.BeginSequence(0x0040, 0xA730, Length::Undefined).BeginItem(Length::Defined);
  b.Text(0x0040, 0xA010, "CS", "CONTAINS");
  b.EndItem().EndSequence();
  n.innerEnd = static_cast<int32_t>(b.Size());
  b.EndItem().EndSequence();
  n.middleEnd = static_cast<int32_t>(b.Size());
  b.EndItem().BeginItem(Length::Defined).Uid(0x0020, 0x000E, "1.2.4").EndItem().EndSequence();
  n.outerEnd = static_cast<int32_t>(b.Size());
  n.nameAt = n.outerEnd;
  b.Text(0x0010, 0x0010, "PN", "WANG^WU");
  n.bytes = b.Bytes();
  return n;
}

TEST(ElementWalker, NestedSequencesOfEveryForm) {
  for (Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    NestedFile n = BuildNested(encoding);
    auto f = Analysed(n.bytes);
    EXPECT_EQ(f->status, StatusComplete);

    std::vector<std::string> shape = Shape(*f);
    std::vector<std::string> dataSet(shape.begin() + 3, shape.end());  // after the meta group
    EXPECT_EQ(dataSet, (std::vector<std::string>{"0008,1115 SQ 0", "0020,000E UI 1", "0008,1140 SQ 1",
                                                 "0008,1150 UI 2", "0040,A730 SQ 2", "0040,A010 CS 3",
                                                 "0020,000E UI 1", "0010,0010 PN 0"}));
    struct Expect {
      uint16_t group, element;
      int32_t offset, end;
    } sequences[] = {
        {0x0008, 0x1115, n.outerAt, n.outerEnd},
        {0x0008, 0x1140, n.middleAt, n.middleEnd},
        {0x0040, 0xA730, n.innerAt, n.innerEnd},
    };
    for (const Expect& s : sequences) {
      const DicomElement* e = Find(*f, s.group, s.element);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->length, -1);
      EXPECT_EQ(e->offset, s.offset);
      EXPECT_EQ(e->end, s.end);
      EXPECT_EQ(Utf8(ValueText(*e, *f)), "");
    }
    EXPECT_EQ(Find(*f, 0x0010, 0x0010)->offset, n.nameAt);
  }
}

TEST(ElementWalker, SequenceAsFirstElementGetsItsEnd) {
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble();
  b.BeginSequence(0x0008, 0x1140, Length::Undefined).BeginItem().Uid(0x0008, 0x1150, "1.2").EndItem().EndSequence();
  const int32_t end = static_cast<int32_t>(b.Size());
  b.Text(0x0010, 0x0010, "PN", "A");
  auto f = Analysed(b.Bytes());
  EXPECT_EQ(f->status, StatusComplete);
  ASSERT_EQ(f->elements.length, 3);
  EXPECT_EQ(f->elements[0].end, end);
}

TEST(ElementWalker, ExplicitSequenceLengths) {
  // (0008,1140) SQ of declared length 0, then one of odd declared length 19:
  // an item of 11 bytes holding "1.2" unpadded. The odd length counts one
  // byte more, so the sequence delimiter after the item still belongs to it.
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  const int32_t emptyAt = static_cast<int32_t>(b.Size());
  b.Raw({0x08, 0x00, 0x40, 0x11, 'S', 'Q', 0, 0, 0, 0, 0, 0});  // (0008,1140) SQ, length 0
  const int32_t oddAt = static_cast<int32_t>(b.Size());
  b.Raw({0x08, 0x00, 0x15, 0x11, 'S', 'Q', 0, 0, 19, 0, 0, 0});  // (0008,1115) SQ, length 19
  b.Raw({0xFE, 0xFF, 0x00, 0xE0, 11, 0, 0, 0});                  // item, length 11
  b.Raw({0x20, 0x00, 0x0E, 0x00, 'U', 'I', 3, 0, '1', '.', '2'});  // (0020,000E) UI, length 3
  b.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});                   // sequence delimiter
  const int32_t oddEnd = static_cast<int32_t>(b.Size());
  b.Text(0x0010, 0x0010, "PN", "A");
  auto f = Analysed(b.Bytes());

  EXPECT_EQ(f->status, StatusComplete);
  std::vector<std::string> shape = Shape(*f);
  EXPECT_EQ(std::vector<std::string>(shape.begin() + 3, shape.end()),
            (std::vector<std::string>{"0008,1140 SQ 0", "0008,1115 SQ 0", "0020,000E UI 1", "0010,0010 PN 0"}));
  EXPECT_EQ(Find(*f, 0x0008, 0x1140)->end, emptyAt + 12);
  EXPECT_EQ(Find(*f, 0x0008, 0x1115)->offset, oddAt);
  EXPECT_EQ(Find(*f, 0x0008, 0x1115)->end, oddEnd);
}

TEST(ElementWalker, BrokenItemOfImplicitDefinedSequenceResumesAfterIt) {
  ASSERT_EQ(VrOfKey(MakeTagKey(0x0020, 0x3105)), kNoVr) << "the fixture needs a tag without a VR";
  struct Case {
    const char* name;
    bool brokenByTag;  // the second item's tag is not an item tag
  } cases[] = {{"unknown VR inside the item", false}, {"no item tag", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(Encoding::ImplicitLittle);
    b.Preamble().Meta(fixture::kImplicitLittle);
    b.BeginSequence(0x0008, 0x1140, Length::Defined);
    b.BeginItem(Length::Defined).Uid(0x0008, 0x1150, "1.2.1").EndItem();
    const size_t secondItem = b.Size();
    b.BeginItem(Length::Defined).Uid(0x0008, 0x1150, "1.2.2").Text(0x0020, 0x3105, "LO", "X").EndItem();
    b.BeginItem(Length::Defined).Uid(0x0008, 0x1150, "1.2.3").EndItem();
    b.EndSequence();
    const int32_t sequenceEnd = static_cast<int32_t>(b.Size());
    b.Text(0x0010, 0x0010, "PN", "AFTER");
    std::vector<uint8_t> bytes = b.Bytes();
    if (c.brokenByTag) bytes[secondItem + 2] = 0x11;  // FE FF 11 E0 is no item tag
    auto f = Analysed(bytes);

    EXPECT_EQ(f->status, StatusComplete);
    std::vector<std::string> expected{"0008,1140 SQ 0", "0008,1150 UI 1"};
    if (!c.brokenByTag) expected.push_back("0008,1150 UI 1");
    expected.push_back("0010,0010 PN 0");
    std::vector<std::string> shape = Shape(*f);
    EXPECT_EQ(std::vector<std::string>(shape.begin() + 3, shape.end()), expected);
    EXPECT_EQ(Find(*f, 0x0008, 0x1140)->end, sequenceEnd);
    EXPECT_EQ(LogHas(*f, u"处的类型未知,分析结束"), !c.brokenByTag);
  }
}

TEST(ElementWalker, UndefinedItemsOfImplicitDefinedSequencesAreWalkedToTheirDelimiters) {
  // A defined-length sequence whose items have undefined length: valid, and
  // what other readers walk. Their elements must be recorded, nested ones too.
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Meta(fixture::kImplicitLittle);
  b.BeginSequence(0x0008, 0x1140, Length::Defined);
  b.BeginItem(Length::Undefined).Uid(0x0008, 0x1150, "1.2.1").Text(0x0010, 0x0010, "PN", "HIDDEN^NAME").EndItem();
  b.BeginItem(Length::Undefined);
  b.BeginSequence(0x0008, 0x1115, Length::Defined).BeginItem(Length::Undefined).Uid(0x0020, 0x000E, "1.2.9");
  b.EndItem().EndSequence();
  b.EndItem();
  b.EndSequence();
  const int32_t sequenceEnd = static_cast<int32_t>(b.Size());
  b.Text(0x0010, 0x0020, "LO", "AFTER");
  auto f = Analysed(b.Bytes());

  EXPECT_EQ(f->status, StatusComplete);
  std::vector<std::string> shape = Shape(*f);
  const std::vector<std::string> expected{"0008,1140 SQ 0", "0008,1150 UI 1", "0010,0010 PN 1",
                                          "0008,1115 SQ 1", "0020,000E UI 2", "0010,0020 LO 0"};
  EXPECT_EQ(std::vector<std::string>(shape.begin() + 3, shape.end()), expected);
  EXPECT_EQ(Find(*f, 0x0008, 0x1140)->end, sequenceEnd);
  std::u16string name;
  const DicomElement* hidden = Find(*f, 0x0010, 0x0010, 1);
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(Utf8(ValueText(*hidden, *f)), "HIDDEN^NAME ");
  EXPECT_FALSE(LogHas(*f, u"无法读完"));
}

TEST(ElementWalker, UndefinedItemWithoutDelimiterInsideADefinedSequenceStopsAtItsEnd) {
  // The item's delimiter lies beyond the sequence's declared end (or is
  // missing): the item's elements inside the sequence stay recorded, the walk
  // resumes at the declared end and says so in the log.
  DicomBuilder inner(Encoding::ImplicitLittle);
  inner.Raw({0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF});  // item of undefined length
  inner.Uid(0x0008, 0x1150, "1.2.1");
  const std::vector<uint8_t>& items = inner.Bytes();

  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Meta(fixture::kImplicitLittle);
  b.Header(0x0008, 0x1140, "SQ", static_cast<uint32_t>(items.size()));
  b.Raw(items);
  const int32_t sequenceEnd = static_cast<int32_t>(b.Size());
  b.Text(0x0010, 0x0020, "LO", "AFTER");
  auto f = Analysed(b.Bytes());

  EXPECT_EQ(Find(*f, 0x0008, 0x1140)->end, sequenceEnd);
  EXPECT_NE(Find(*f, 0x0008, 0x1150, 1), nullptr);
  EXPECT_TRUE(LogHas(*f, u"处的序列项无法读完,从序列结尾继续"));
  // The element after the sequence is read at top level, once.
  EXPECT_EQ(f->status, StatusComplete);
  const DicomElement* after = Find(*f, 0x0010, 0x0020);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->depth, 0);
  EXPECT_EQ(after->offset, sequenceEnd);
}

// ---------------------------------------------------------------------------
// Pixel Data

TEST(ElementWalker, EncapsulatedPixelDataIsOneRecord) {
  struct Case {
    const char* name;
    Encoding encoding;
    std::vector<uint32_t> offsetTable;
    std::string_view syntax;
    int32_t status;
  } cases[] = {
      {"JPEG baseline with offset table", Encoding::ExplicitLittle, {0, 12, 20}, fixture::kJpegBaseline,
       StatusComplete},
      {"JPEG baseline without offset table", Encoding::ExplicitLittle, {}, fixture::kJpegBaseline, StatusComplete},
      {"JPEG 2000", Encoding::ExplicitLittle, {}, "1.2.840.10008.1.2.4.91", StatusImage},
      {"implicit header", Encoding::ImplicitLittle, {0}, fixture::kImplicitLittle, StatusImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(c.encoding);
    b.Preamble().Meta(c.syntax).Text(0x0010, 0x0010, "PN", "DOE");
    const int32_t pixelAt = static_cast<int32_t>(b.Size());
    b.EncapsulatedPixelData({{1, 2, 3, 4}, {5, 6, 7, 8, 9, 10}, {0xFE, 0xFF, 0xDD, 0xE0}}, c.offsetTable);
    auto f = Analysed(b.Bytes());

    EXPECT_EQ(f->status, c.status);
    const DicomElement& pixels = f->elements[f->elements.length - 1];
    EXPECT_EQ(pixels.Key(), MakeTagKey(0x7FE0, 0x0010)) << "no record for the fragments";
    EXPECT_EQ(pixels.offset, pixelAt);
    EXPECT_EQ(pixels.end, static_cast<int32_t>(b.Size()));
    const int32_t header = c.encoding == Encoding::ImplicitLittle ? 8 : 12;
    EXPECT_EQ(pixels.length, pixels.end - pixels.offset - header);
    EXPECT_EQ(Utf8(ValueText(pixels, *f)), "{binary data}");
  }
}

TEST(ElementWalker, FragmentsWithoutDelimiterInterruptTheWalk) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kJpegBaseline);
  b.Raw({0xE0, 0x7F, 0x10, 0x00, 'O', 'B', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});  // (7FE0,0010) OB, undefined
  b.Raw({0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0});                              // empty offset table
  b.Raw({0xFE, 0xFF, 0x00, 0xE0, 4, 0, 0, 0, 1, 2, 3, 4});                  // one fragment, no delimiter
  auto f = Analysed(b.Bytes());
  EXPECT_EQ(f->status, StatusInterrupted);
  RenderEverything(*f);
}

TEST(ElementWalker, DefinedLengthPixelDataIsMeasuredFromItsLength) {
  // The value starts like fragments (an item and a sequence delimiter), but a
  // defined length field means native pixels.
  const std::vector<uint8_t> value{0xFE, 0xFF, 0x00, 0xE0, 4, 0, 0, 0, 1, 2, 3, 4,
                                   0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0, 9, 9, 9, 9};
  for (Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle}) {
    DicomBuilder b(encoding);
    b.Preamble().Meta(encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle : fixture::kExplicitLittle);
    b.Element(0x7FE0, 0x0010, "OB", value);
    auto f = Analysed(b.Bytes());
    EXPECT_EQ(f->status, StatusImage);
    const DicomElement& pixels = f->elements[f->elements.length - 1];
    EXPECT_EQ(pixels.length, 24);
    EXPECT_EQ(pixels.end, static_cast<int32_t>(b.Size()));
  }
}

// ---------------------------------------------------------------------------
// Unknown VRs and undefined lengths

TEST(ElementWalker, UnknownImplicitVrStopsTheWalk) {
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Meta(fixture::kImplicitLittle).Text(0x0010, 0x0010, "PN", "A");
  const int32_t unknownAt = static_cast<int32_t>(b.Size());
  b.Text(0x0020, 0x3105, "LO", "X").Text(0x0010, 0x0020, "LO", "ID");
  auto f = Analysed(b.Bytes());

  EXPECT_EQ(f->status, StatusInterrupted);
  EXPECT_EQ(f->elements.length, 4) << "the meta group and Patient's Name stay recorded";
  const std::u16string line = plat::Utf8ToUtf16(std::to_string(5) + ":" + std::to_string(unknownAt)) +
                              u" 处的类型未知,分析结束\r\n文件分析中断!\r\n\r\n\r\n";
  EXPECT_TRUE(LogHas(*f, line)) << Utf8(f->logText);
}

TEST(ElementWalker, ValuesOfUndefinedLengthAreWalkedAsImplicitItems) {
  const uint8_t kDelimiter[] = {0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0};
  struct Case {
    const char* name;
    Encoding encoding;
    const char* vr;  // in the stream, or the dictionary's in implicit VR
    const char* recordedVr;
    uint16_t group = 0x0009, element = 0x1010;
  } cases[] = {
      {"implicit private element", Encoding::ImplicitLittle, "UN", "SQ"},
      {"implicit text element", Encoding::ImplicitLittle, "LO", "LO", 0x0008, 0x0080},
      {"explicit UN", Encoding::ExplicitLittle, "UN", "UN"},
      {"explicit OB, not Pixel Data", Encoding::ExplicitLittle, "OB", "OB"},
      {"big-endian UN", Encoding::ExplicitBig, "UN", "UN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string_view syntax = c.encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle
                              : c.encoding == Encoding::ExplicitBig  ? fixture::kExplicitBig
                                                                     : fixture::kExplicitLittle;
    DicomBuilder b(c.encoding);
    b.Preamble().Meta(syntax);
    const int32_t privateAt = static_cast<int32_t>(b.Size());
    b.Header(c.group, c.element, c.vr, 0xFFFFFFFFu);
    // The content is implicit VR little endian whatever the data set is.
    b.SetEncoding(Encoding::ImplicitLittle);
    b.BeginItem().Text(0x0010, 0x0010, "PN", "INSIDE").US(0x0028, 0x0010, 7).EndItem();
    b.Raw(std::vector<uint8_t>(kDelimiter, kDelimiter + 8));
    const int32_t privateEnd = static_cast<int32_t>(b.Size());
    b.SetEncoding(c.encoding).US(0x0028, 0x0011, 300);
    auto f = Analysed(b.Bytes());

    EXPECT_EQ(f->status, StatusComplete);
    std::vector<std::string> shape = Shape(*f);
    EXPECT_EQ(std::vector<std::string>(shape.begin() + 3, shape.end()),
              (std::vector<std::string>{TagText(c.group, c.element) + " " + c.recordedVr + " 0", "0010,0010 PN 1",
                                        "0028,0010 US 1", "0028,0011 US 0"}));
    const DicomElement* priv = Find(*f, c.group, c.element);
    ASSERT_NE(priv, nullptr);
    EXPECT_EQ(priv->offset, privateAt);
    EXPECT_EQ(priv->length, -1);
    EXPECT_EQ(priv->end, privateEnd);
    EXPECT_EQ(Utf8(ValueText(*priv, *f)), "");
    // Inside, values and headers are implicit VR little endian; after it
    // the file's own encoding applies again.
    const DicomElement* inside = Find(*f, 0x0028, 0x0010);
    const DicomElement* after = Find(*f, 0x0028, 0x0011);
    EXPECT_EQ(Utf8(ValueText(*inside, *f)), "7");
    EXPECT_EQ(Utf8(ValueText(*after, *f)), "300");
    EXPECT_EQ(f->IsExplicitElement(*inside), 0);
    EXPECT_FALSE(f->IsBigEndianElement(*inside));
    EXPECT_EQ(f->IsExplicitElement(*priv), f->explicitVr);
    EXPECT_EQ(f->IsExplicitElement(*after), f->explicitVr);
    EXPECT_EQ(f->IsBigEndianElement(*after), c.encoding == Encoding::ExplicitBig);
  }
}

TEST(ElementWalker, UnterminatedSequenceOrValueEndsAtItsOwnHeader) {
  struct Case {
    const char* name;
    uint16_t group, element;
    const char* vr;
  } cases[] = {{"explicit UN", 0x0009, 0x1010, "UN"}, {"explicit SQ", 0x0008, 0x1140, "SQ"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b;
    b.Preamble().Meta(fixture::kExplicitLittle).Header(c.group, c.element, c.vr, 0xFFFFFFFFu);
    if (std::string_view(c.vr) == "UN") b.SetEncoding(Encoding::ImplicitLittle);
    b.BeginItem().Text(0x0010, 0x0010, "PN", "CUT");
    auto f = Analysed(b.Bytes());
    EXPECT_EQ(f->status, StatusInterrupted);
    for (const DicomElement& e : f->elements) {
      EXPECT_GE(e.end, e.offset);
      if (e.length >= 0) {
        EXPECT_GE(e.end - e.length, e.offset + 8);
      }
    }
    const DicomElement* open = Find(*f, c.group, c.element);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->end, open->offset);
    EXPECT_EQ(open->length, -1);
    const DicomElement* inside = Find(*f, 0x0010, 0x0010, 1);
    ASSERT_NE(inside, nullptr) << "the elements read before the failure stay";
    EXPECT_EQ(f->IsExplicitElement(*inside), std::string_view(c.vr) == "UN" ? 0 : 1);
    RenderEverything(*f);
  }
}

// ---------------------------------------------------------------------------
// Truncations and hostile lengths

TEST(ElementWalker, ValueBeyondTheEndIsRecordedAndInterrupts) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle).Text(0x0010, 0x0010, "PN", "A");
  b.Header(0x0010, 0x0020, "LO", 100).Raw({'P', 'I', 'D', '1'});
  auto f = Analysed(b.Bytes());
  EXPECT_EQ(f->status, StatusInterrupted);
  const DicomElement* id = Find(*f, 0x0010, 0x0020);
  ASSERT_NE(id, nullptr);
  EXPECT_GT(id->end, f->fileBytes.length);
  PoisonedTail poison(*f);
  EXPECT_EQ(Utf8(ValueText(*id, *f)), "PID1");
  std::u16string text;
  EXPECT_EQ(f->ValueByKey(id->Key(), text), 100);
  EXPECT_EQ(Utf8(text), "PID1");
  EXPECT_EQ(Utf8(ElementLogLine(*id, *f, 7)), "7:(" + std::to_string(id->offset) + "-" + std::to_string(id->end) +
                                                   ")[0010,0020]:LO,Patient ID,PID1");
}

TEST(ElementWalker, EveryTruncationEndsCleanly) {
  std::vector<std::vector<uint8_t>> sources;
  for (Encoding e : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
    sources.push_back(BuildNested(e).bytes);
    fixture::SimpleFile recipe;
    recipe.encoding = e;
    sources.push_back(fixture::BuildSimpleFile(recipe));
  }
  DicomBuilder fragments;
  fragments.Preamble().Meta(fixture::kJpegBaseline).Header(0x0009, 0x1010, "UN", 0xFFFFFFFFu);
  fragments.SetEncoding(Encoding::ImplicitLittle).BeginItem().Text(0x0010, 0x0010, "PN", "X").EndItem();
  fragments.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0}).SetEncoding(Encoding::ExplicitLittle);
  fragments.EncapsulatedPixelData({{1, 2, 3, 4}}, {0});
  sources.push_back(fragments.Bytes());

  for (const auto& source : sources) {
    for (size_t cut = 0; cut <= source.size(); ++cut) {
      // The file's bytes get a capacity rounded up to 16, so at every
      // sixteenth cut the walk has no spare bytes to stray into unnoticed;
      // the renderers are checked at every cut with the spare bytes poisoned.
      DicomFile f;
      f.logToText = 1;
      f.AnalyseBytes(u"cut.dcm", source.data(), cut);
      SCOPED_TRACE(cut);
      if (cut <= 132) {
        EXPECT_EQ(f.status, StatusNotRead);
        continue;
      }
      if (cut < source.size()) {
        EXPECT_NE(f.status, StatusImage);
      }
      EXPECT_TRUE(f.status == StatusInterrupted || f.status == StatusComplete || f.status == StatusImage);
      RenderEverything(f);
    }
  }
}

TEST(ElementWalker, HostileLengthsEndTheWalk) {
  struct Case {
    const char* name;
    Encoding encoding;
    std::vector<uint8_t> element;
    int32_t status;
  } cases[] = {
      {"implicit defined sequence, length wraps to its own start", Encoding::ImplicitLittle,
       {0x08, 0x00, 0x40, 0x11, 0xF8, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0}, StatusInterrupted},
      {"implicit defined sequence, length near all ones", Encoding::ImplicitLittle,
       {0x08, 0x00, 0x40, 0x11, 0xF0, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0}, StatusInterrupted},
      {"implicit defined sequence, length near the largest position", Encoding::ImplicitLittle,
       {0x08, 0x00, 0x40, 0x11, 0xF0, 0xFF, 0xFF, 0x7F, 0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0}, StatusInterrupted},
      {"implicit text, length near all ones", Encoding::ImplicitLittle,
       {0x10, 0x00, 0x10, 0x00, 0xF0, 0xFF, 0xFF, 0xFF, 'A', 'B'}, StatusInterrupted},
      {"explicit OB, length near all ones", Encoding::ExplicitLittle,
       {0x09, 0x00, 0x10, 0x10, 'O', 'B', 0, 0, 0xF8, 0xFF, 0xFF, 0xFF, 1, 2}, StatusInterrupted},
      {"explicit SQ, defined length near all ones", Encoding::ExplicitLittle,
       {0x08, 0x00, 0x40, 0x11, 'S', 'Q', 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0},
       StatusInterrupted},
      {"item length near all ones inside a small defined sequence", Encoding::ImplicitLittle,
       {0x08, 0x00, 0x40, 0x11, 8, 0, 0, 0, 0xFE, 0xFF, 0x00, 0xE0, 0xF0, 0xFF, 0xFF, 0xFF}, StatusComplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(c.encoding);
    b.Preamble().Meta(c.encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle : fixture::kExplicitLittle);
    b.Raw(c.element);
    auto f = Analysed(b.Bytes());
    EXPECT_EQ(f->status, c.status);
    for (const DicomElement& e : f->elements) EXPECT_GE(e.end, e.offset);
    RenderEverything(*f);
  }
}

// Items whose defined length reaches past the end of their implicit
// defined-length sequence: the walk resumes after the sequence, so anything
// walked beyond that end would be walked again at every level (exponentially
// often for self-similar nesting, as a fuzzed 2 KB file showed).
void OverrunningBlock(DicomBuilder& b, int level, std::vector<size_t>& itemLengths) {
  if (level == 0) {
    b.Text(0x0010, 0x0010, "PN", "AB");
    return;
  }
  b.BeginSequence(0x0008, 0x1140, Length::Defined).BeginItem(Length::Defined);
  itemLengths.push_back(b.Size() - 4);
  OverrunningBlock(b, level - 1, itemLengths);
  b.EndItem().EndSequence();
  OverrunningBlock(b, level - 1, itemLengths);
}

TEST(ElementWalker, NothingBeyondAnImplicitDefinedSequenceIsWalkedInsideIt) {
  struct Case {
    const char* name;
    int levels;
    bool selfSimilar;
    int32_t records;
  } cases[] = {
      {"20 nested levels, then a tail", 20, false, 20 + 1 + 5},
      {"self-similar, 12 levels", 12, true, (1 << 13) - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(Encoding::ImplicitLittle);
    b.Preamble();
    std::vector<size_t> itemLengths;
    if (c.selfSimilar) {
      OverrunningBlock(b, c.levels, itemLengths);
    } else {
      for (int i = 0; i < c.levels; ++i) {
        b.BeginSequence(0x0008, 0x1140, Length::Defined).BeginItem(Length::Defined);
        itemLengths.push_back(b.Size() - 4);
      }
      b.Text(0x0010, 0x0010, "PN", "AB");
      for (int i = 0; i < c.levels; ++i) b.EndItem().EndSequence();
      for (int i = 0; i < 5; ++i) b.Text(0x0020, 0x4000, "LT", "tail");
    }
    std::vector<uint8_t> bytes = b.Bytes();
    for (size_t at : itemLengths) {
      const uint8_t overrun[4] = {0xF0, 0xFF, 0xFF, 0x7F};
      std::memcpy(&bytes[at], overrun, 4);
    }
    auto f = Analysed(bytes);

    EXPECT_EQ(f->status, StatusComplete);
    EXPECT_EQ(f->elements.length, c.records);
    std::vector<int32_t> offsets;
    for (const DicomElement& e : f->elements) offsets.push_back(e.offset);
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end()) << "a record was walked twice";
    if (!c.selfSimilar) {
      for (int i = 1; i <= 5; ++i) EXPECT_EQ(f->elements[f->elements.length - i].depth, 0);
    }
  }
}

TEST(ElementWalker, NestingIsBoundedAt256Levels) {
  struct Case {
    const char* name;
    Encoding encoding;
    bool unknownValue;  // explicit UN of undefined length instead of SQ
    int levels;
    int32_t status;
  } cases[] = {
      {"explicit SQ, 300 levels", Encoding::ExplicitLittle, false, 300, StatusInterrupted},
      {"implicit SQ, 300 levels", Encoding::ImplicitLittle, false, 300, StatusInterrupted},
      {"explicit UN, 300 levels", Encoding::ExplicitLittle, true, 300, StatusInterrupted},
      {"explicit SQ, 256 levels", Encoding::ExplicitLittle, false, 256, StatusComplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(c.encoding);
    b.Preamble().Meta(c.encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle : fixture::kExplicitLittle);
    for (int i = 0; i < c.levels; ++i) {
      if (c.unknownValue) {
        // The first header is explicit; the ones inside are implicit VR
        // little endian, where a private tag of undefined length is a sequence.
        b.Header(0x0009, 0x1010, "UN", 0xFFFFFFFFu);
        b.SetEncoding(Encoding::ImplicitLittle).BeginItem();
      } else {
        b.BeginSequence(0x0008, 0x1140).BeginItem();
      }
    }
    for (int i = 0; i < c.levels; ++i) {
      b.EndItem();
      if (c.unknownValue) b.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
      else b.EndSequence();
    }
    auto f = Analysed(b.Bytes());
    EXPECT_EQ(f->status, c.status);
    int32_t deepest = 0;
    for (const DicomElement& e : f->elements) deepest = std::max(deepest, e.depth);
    EXPECT_EQ(deepest, std::min(c.levels - 1, kMaxSequenceDepth));
    EXPECT_EQ(LogHas(*f, u"处的序列嵌套超过256层,分析结束\r\n"), c.status == StatusInterrupted);
  }
}

}  // namespace
