// The bytes each de-identification action produces, in every header form and
// byte order, and the match rules of the delete action.
#include "anonymize/anony_tag.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::DicomBuilder;
using fixture::Encoding;
using Bytes = std::vector<uint8_t>;

std::string_view SyntaxOf(Encoding e) {
  return e == Encoding::ImplicitLittle ? fixture::kImplicitLittle
         : e == Encoding::ExplicitBig  ? fixture::kExplicitBig
                                       : fixture::kExplicitLittle;
}

// A file with the meta group and then the elements `body` adds.
template <typename Body>
void Analyse(DicomFile& file, Encoding encoding, Body body) {
  DicomBuilder b(encoding);
  b.Preamble().Meta(SyntaxOf(encoding), "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4");
  body(b);
  file.AnalyseBytes(u"/data/ct/a.dcm", b.Bytes().data(), b.Size());
  ASSERT_GE(file.status, StatusImage) << "fixture must analyse";
}

const DicomElement& Find(const DicomFile& file, uint16_t group, uint16_t element) {
  for (const DicomElement& e : file.elements)
    if (e.group == group && e.element == element && e.depth == 0) return e;
  ADD_FAILURE() << "no element " << group << "," << element;
  static DicomElement none = DicomElement::Fresh();
  return none;
}

Bytes ApplyAction(AnonyTagInterface& action, const DicomFile& file, const DicomElement& e, int32_t* returned = nullptr) {
  ByteBuffer<uint8_t> out;
  out.Append(0xEE);  // Apply must empty the buffer first
  int32_t n = action.Apply(out, e, &file);
  if (returned != nullptr) *returned = n;
  return Bytes(out.begin(), out.end());
}

Bytes Concat(Bytes a, const std::string& s) {
  a.insert(a.end(), s.begin(), s.end());
  return a;
}

TEST(AnonyTagClean, EmptiesTheValueInEveryHeaderForm) {
  struct Case {
    const char* name;
    Encoding encoding;
    uint16_t group, element;
    const char* vr;
    Bytes expected;
  } cases[] = {
      // Study Date: the first 8 bytes with the 16-bit length zeroed.
      {"explicit little", Encoding::ExplicitLittle, 0x0008, 0x0020, "DA", {0x08, 0x00, 0x20, 0x00, 'D', 'A', 0x00, 0x00}},
      // The 32-bit length zeroed.
      {"implicit little", Encoding::ImplicitLittle, 0x0008, 0x0020, "DA", {0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00}},
      // The tag stays big endian as stored.
      {"explicit big", Encoding::ExplicitBig, 0x0008, 0x0020, "DA", {0x00, 0x08, 0x00, 0x20, 'D', 'A', 0x00, 0x00}},
      // A VR with the 12-byte header keeps that form with a 4-byte length.
      {"explicit long VR", Encoding::ExplicitLittle, 0x0010, 0x4000, "UT",
       {0x10, 0x00, 0x00, 0x40, 'U', 'T', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {"explicit big long VR", Encoding::ExplicitBig, 0x0010, 0x4000, "UT",
       {0x00, 0x10, 0x40, 0x00, 'U', 'T', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomFile file;
    Analyse(file, c.encoding, [&](DicomBuilder& b) {
      b.Text(c.group, c.element, c.vr, "20240102").Text(0x0010, 0x0010, "PN", "DOE^JOHN");
    });
    AnonyTagClean clean;
    clean.SetTag(c.group, c.element);
    int32_t n = 0;
    Bytes out = ApplyAction(clean, file, Find(file, c.group, c.element), &n);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(n, static_cast<int32_t>(c.expected.size()));
  }
}

TEST(AnonyTagReplace, MasksEveryValueByteButSpaces) {
  struct Case {
    const char* name;
    Encoding encoding;
    const char* vr;
    std::string value;
    char replaceChar;
    std::string masked;
  } cases[] = {
      {"name explicit", Encoding::ExplicitLittle, "PN", "AB^C D", '*', "**** *"},
      {"name with trailing space", Encoding::ImplicitLittle, "PN", "DOE^JOHN ", '*', "******** "},
      {"id", Encoding::ExplicitLittle, "LO", "AB 12 ", '0', "00 00 "},
      {"big endian", Encoding::ExplicitBig, "PN", "AB^C D", '*', "**** *"},
      // The 4-byte length of a 12-byte header is not part of the value.
      {"12-byte header", Encoding::ExplicitLittle, "UN", "AB^CD ", '*', "***** "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomFile file;
    Analyse(file, c.encoding, [&](DicomBuilder& b) { b.Element(0x0010, 0x0010, c.vr, c.value); });
    const DicomElement& e = Find(file, 0x0010, 0x0010);
    AnonyTagReplace replace;
    replace.SetTag(0x0010, 0x0010);
    replace.SetReplaceChar(c.replaceChar);
    Bytes source(file.fileBytes.data + e.offset, file.fileBytes.data + e.end);
    Bytes expected(source.begin(), source.end() - static_cast<long>(c.value.size()));
    expected = Concat(expected, c.masked);
    EXPECT_EQ(ApplyAction(replace, file, e), expected);
  }
}

TEST(AnonyTagReplace, EmptiesASequenceInsteadOfMaskingItsItems) {
  DicomFile file;
  Analyse(file, Encoding::ExplicitLittle, [](DicomBuilder& b) {
    b.BeginSequence(0x0010, 0x0010).BeginItem().Text(0x0010, 0x0020, "LO", "X1").EndItem().EndSequence();
  });
  AnonyTagReplace replace;
  replace.SetTag(0x0010, 0x0010);
  EXPECT_EQ(ApplyAction(replace, file, Find(file, 0x0010, 0x0010)),
            (Bytes{0x10, 0x00, 0x10, 0x00, 'S', 'Q', 0, 0, 0, 0, 0, 0}));
}

// The header New writes before a generated UID; 42 stands for the value's length.
TEST(AnonyTagNew, WritesAGeneratedUidUnderTheElementsHeader) {
  struct Case {
    const char* name;
    Encoding encoding;
    const char* vr;
    Bytes header;
  } cases[] = {
      {"explicit little", Encoding::ExplicitLittle, "UI", {0x20, 0x00, 0x0D, 0x00, 'U', 'I', 42, 0x00}},
      {"implicit little", Encoding::ImplicitLittle, "UI", {0x20, 0x00, 0x0D, 0x00, 42, 0x00, 0x00, 0x00}},
      // Tag and length follow the data set's byte order.
      {"explicit big", Encoding::ExplicitBig, "UI", {0x00, 0x20, 0x00, 0x0D, 'U', 'I', 0x00, 42}},
      {"explicit long VR", Encoding::ExplicitLittle, "UN",
       {0x20, 0x00, 0x0D, 0x00, 'U', 'N', 0x00, 0x00, 42, 0x00, 0x00, 0x00}},
      {"explicit big long VR", Encoding::ExplicitBig, "UN",
       {0x00, 0x20, 0x00, 0x0D, 'U', 'N', 0x00, 0x00, 0x00, 0x00, 0x00, 42}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomFile file;
    Analyse(file, c.encoding, [&](DicomBuilder& b) { b.Element(0x0020, 0x000D, c.vr, std::string("1.2.3.4\0", 8)); });
    AnonyTagNew renew;
    renew.SetTag(0x0020, 0x000D);
    int32_t n = 0;
    Bytes out = ApplyAction(renew, file, Find(file, 0x0020, 0x000D), &n);
    ASSERT_GT(out.size(), c.header.size());
    std::string value(out.begin() + static_cast<long>(c.header.size()), out.end());
    // The length field counts the value, padded to an even length.
    EXPECT_EQ(value.size() % 2, 0u);
    Bytes header = c.header;
    std::replace(header.begin(), header.end(), uint8_t{42}, static_cast<uint8_t>(value.size()));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(c.header.size())), header);
    EXPECT_EQ(value.rfind(std::string(kUidRoot) + ".1.", 0), 0u) << value;
    EXPECT_EQ(n, static_cast<int32_t>(out.size()));
  }
}

TEST(AnonyTagNew, GivesEachTagItsKindAndOtherTagsAnEmptyValue) {
  DicomFile file;
  Analyse(file, Encoding::ExplicitLittle, [](DicomBuilder& b) {
    b.Uid(0x0008, 0x0014, "1.2").Uid(0x0008, 0x0018, "1.2.3").Text(0x0010, 0x0010, "PN", "X").Uid(0x0020, 0x000D, "1")
        .Uid(0x0020, 0x000E, "2").Text(0x0040, 0x0245, "TM", "101010");
  });
  struct Case {
    uint16_t group, element;
    const char* kind;  // nullptr: no value
  } cases[] = {{0x0020, 0x000D, "1"}, {0x0020, 0x000E, "2"}, {0x0008, 0x0018, "3"},
               {0x0008, 0x0014, "4"}, {0x0040, 0x0245, "5"}, {0x0010, 0x0010, nullptr}};
  for (const Case& c : cases) {
    AnonyTagNew renew;
    renew.SetTag(c.group, c.element);
    Bytes out = ApplyAction(renew, file, Find(file, c.group, c.element));
    ASSERT_GE(out.size(), 8u);
    std::string value(out.begin() + 8, out.end());
    if (c.kind == nullptr) {
      EXPECT_EQ(out.size(), 8u);
      EXPECT_EQ(out[6], 0);
      continue;
    }
    // (0040,0245) keeps its own VR.
    EXPECT_EQ(std::string(out.begin() + 4, out.begin() + 6),
              c.group == 0x0040 ? "TM" : "UI");
    EXPECT_EQ(value.rfind(std::string(kUidRoot) + "." + c.kind + ".", 0), 0u) << value;
  }
}

TEST(AnonyTagActions, ProduceNothingWithoutAFile) {
  DicomFile file;
  Analyse(file, Encoding::ExplicitLittle, [](DicomBuilder& b) { b.Text(0x0010, 0x0010, "PN", "DOE^JOHN"); });
  const DicomElement& e = Find(file, 0x0010, 0x0010);
  AnonyTagClean clean;
  AnonyTagReplace replace;
  AnonyTagNew renew;
  AnonyTagDel del;
  for (AnonyTagInterface* action : std::vector<AnonyTagInterface*>{&clean, &replace, &renew, &del}) {
    action->SetTag(0x0010, 0x0010);
    ByteBuffer<uint8_t> out;
    out.Append(1);
    EXPECT_EQ(action->Apply(out, e, nullptr), 0);
    EXPECT_EQ(out.length, 0);
  }
  // Delete produces nothing even with the file.
  ByteBuffer<uint8_t> out;
  EXPECT_EQ(del.Apply(out, e, &file), 0);
  EXPECT_EQ(out.length, 0);
}

TEST(AnonyTagDel, MatchesByItsMode) {
  DicomElement privateCreator{0x0009, 0x0010, vr::LO, 2, 0, 10, 0};
  DicomElement sameElement{0x0010, 0x1001, vr::LO, 2, 0, 10, 0};
  DicomElement exact{0x0009, 0x1001, vr::LO, 2, 0, 10, 0};
  DicomElement even{0x0010, 0x0010, vr::PN, 2, 0, 10, 0};
  struct Case {
    int32_t mode;
    int32_t creator, element, exactTag, evenGroup;
  } cases[] = {
      {MatchTag, 0, 0, 1, 0},
      {MatchGroup, 1, 0, 1, 0},
      {MatchElement, 0, 1, 1, 0},
      {MatchOddGroup, 1, 0, 1, 0},
      {7, 0, 0, 0, 0},  // an unknown mode matches nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    AnonyTagDel del;
    del.SetTag(0x0009, 0x1001);
    del.SetMatchMode(c.mode);
    EXPECT_EQ(del.Matches(privateCreator), c.creator);
    EXPECT_EQ(del.Matches(sameElement), c.element);
    EXPECT_EQ(del.Matches(exact), c.exactTag);
    EXPECT_EQ(del.Matches(even), c.evenGroup);
  }
  // Before its creator sets a mode, a delete action matches its own tag only.
  AnonyTagDel fresh;
  fresh.SetTag(0x0009, 0x1001);
  EXPECT_EQ(fresh.matchMode, MatchTag);
  EXPECT_EQ(fresh.Matches(exact), 1);
  EXPECT_EQ(fresh.Matches(privateCreator), 0);
}

TEST(AnonyTagBase, OnlyTheOwnActionKeepsCharacterAndMode) {
  AnonyTagClean clean;
  clean.SetReplaceChar('#');
  clean.SetMatchMode(MatchOddGroup);
  DicomElement odd{0x0009, 0x0010, vr::LO, 2, 0, 10, 0};
  EXPECT_EQ(clean.Matches(odd), 0);  // the mode is ignored by everything but delete
  AnonyTagReplace replace;
  replace.SetMatchMode(MatchOddGroup);
  EXPECT_EQ(replace.Matches(odd), 0);
  EXPECT_EQ(replace.replaceChar, '*');
  replace.SetReplaceChar('0');
  EXPECT_EQ(replace.replaceChar, '0');
}

}  // namespace
