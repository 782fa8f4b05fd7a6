// The confidentiality profile on files built in code: every action kind per
// VR, sequences three deep, the wildcard rows, private data at any depth,
// the meta group, UIDs shared across files and stable under a key, dates
// shifted per patient, every option and the marks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/confidentiality.h"
#include "tests/anonymize/anonymize_fixtures.h"

namespace {

using anonymize_fixture::Bytes;
using anonymize_fixture::DicomBuilder;
using anonymize_fixture::Encoding;
using anonymize_fixture::SyntaxOf;

const Encoding kEncodings[] = {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig};

// One element of a rewritten file, found by its place: the tags from the top.
struct Found {
  bool present = false;
  VrCode vr = kNoVr;
  std::string value;  // trimmed of trailing spaces and zero bytes
  std::string raw;
};

class Copy {
 public:
  Copy(const Bytes& source, const BasicOptions& options, UidMapper& uids) {
    in.AnalyseBytes(u"/src/a.dcm", source.data(), source.size());
    ByteBuffer<uint8_t> out;
    failure = BuildBasicCopy(in, options, uids, out, report);
    bytes.assign(out.data, out.data + out.length);
    file.AnalyseBytes(u"/out/a.dcm", bytes.data(), bytes.size());
  }

  // The element at the path of tags (one per depth), first match.
  Found At(std::vector<uint32_t> path) const {
    size_t level = 0;
    int32_t limit = static_cast<int32_t>(file.fileBytes.length);
    for (const DicomElement& e : file.elements) {
      if (e.offset >= limit) break;
      if (e.depth != static_cast<int32_t>(level)) continue;
      if (((uint32_t{e.group} << 16) | e.element) != path[level]) continue;
      if (level + 1 == path.size()) {
        Found f{true, e.vr, std::string(), std::string()};
        if (e.length > 0) f.value.assign(file.fileBytes.data + e.end - e.length, file.fileBytes.data + e.end);
        f.raw = f.value;
        while (!f.value.empty() && (f.value.back() == ' ' || f.value.back() == '\0')) f.value.pop_back();
        return f;
      }
      ++level;
      limit = e.end;
    }
    return Found{};
  }
  Found Top(uint32_t tag) const { return At({tag}); }

  DicomFile in, file;
  Bytes bytes;
  AnonymizeFailure failure = AnonymizeFailure::None;
  BasicFileReport report;
};

DicomBuilder Start(Encoding encoding, const char* sopInstance = "1.2.3.4.100") {
  DicomBuilder b(encoding);
  b.Preamble(7).Meta(SyntaxOf(encoding), "1.2.840.10008.5.1.4.1.1.2", sopInstance);
  return b;
}

TEST(ConfidentialityTable, RowsAndWildcards) {
  EXPECT_GT(ConfidentialityRowCount(), 600);
  const ConfidentialityRow* name = FindConfidentialityRow(0x0010, 0x0010);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->basic, BasicAction::Z);
  EXPECT_STREQ(name->name, "Patient's Name");
  struct Case {
    uint16_t group, element;
    const char* name;  // nullptr: no row
  } cases[] = {
      {0x5000, 0x3000, "Curve Data"},      {0x50FE, 0x0010, "Curve Data"},
      {0x6000, 0x3000, "Overlay Data"},    {0x6022, 0x3000, "Overlay Data"},
      {0x6002, 0x4000, "Overlay Comments"}, {0x6000, 0x0010, nullptr},
      {0x0009, 0x1001, nullptr},           {0x0028, 0x0010, nullptr},
  };
  for (const Case& c : cases) {
    const ConfidentialityRow* row = FindConfidentialityRow(c.group, c.element);
    if (c.name == nullptr) {
      EXPECT_EQ(row, nullptr) << std::hex << c.group << "," << c.element;
    } else {
      ASSERT_NE(row, nullptr) << std::hex << c.group << "," << c.element;
      EXPECT_STREQ(row->name, c.name);
      EXPECT_EQ(row->basic, BasicAction::X);
    }
  }
  // Sorted, so that the search by halves finds every row.
  for (int32_t i = 0; i < ConfidentialityRowCount(); ++i) {
    const ConfidentialityRow& row = ConfidentialityRowAt(i);
    EXPECT_EQ(FindConfidentialityRow(row.group, row.element), &row) << row.name;
  }
}

TEST(ConfidentialityTable, ChoicesKeepTheIodValid) {
  const BasicOptions none;
  struct Case {
    uint16_t group, element;
    bool sequence;
    ElementAction expected;
  } cases[] = {
      {0x0010, 0x0010, false, ElementAction::Empty},   // Z
      {0x0010, 0x4000, false, ElementAction::Remove},  // X
      {0x0020, 0x000D, false, ElementAction::NewUid},  // U
      {0x0008, 0x0023, false, ElementAction::Dummy},   // Z/D
      {0x0008, 0x0012, false, ElementAction::Dummy},   // X/D in an IOD
      {0x0008, 0x1010, false, ElementAction::Dummy},   // X/Z/D in an IOD
      {0x0008, 0x1110, true, ElementAction::Empty},    // X/Z sequence in an IOD
      {0x0008, 0x1140, true, ElementAction::Keep},     // X/Z/U*: items kept, UIDs mapped inside
      {0x0008, 0x0082, true, ElementAction::Empty},    // X/Z/D sequence: emptied, never a dummy
      {0x0040, 0xA730, true, ElementAction::Dummy},    // D sequence: items with dummy contents
      {0x0040, 0xA073, true, ElementAction::Dummy},    // Verifying Observer Sequence (D)
      {0x0010, 0x2110, false, ElementAction::Remove},  // X, in no IOD
      {0x0028, 0x0010, false, ElementAction::Keep},    // no row
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideAction(FindConfidentialityRow(c.group, c.element), c.sequence, none), c.expected)
        << std::hex << c.group << "," << c.element;
  // Every row with a choice is of a standard IOD: the rule above never has
  // to remove one to keep a copy valid.
  for (int32_t i = 0; i < ConfidentialityRowCount(); ++i) {
    const ConfidentialityRow& row = ConfidentialityRowAt(i);
    const bool choice = row.basic != BasicAction::X && row.basic != BasicAction::Z && row.basic != BasicAction::D &&
                        row.basic != BasicAction::U;
    if (choice) {
      EXPECT_TRUE(row.inStandardIod) << row.name;
      EXPECT_NE(DecideAction(&row, false, none), ElementAction::Remove) << row.name;
    }
  }
}

TEST(ConfidentialityWriter, EachActionPerVrInEveryEncoding) {
  for (Encoding encoding : kEncodings) {
    SCOPED_TRACE(static_cast<int>(encoding));
    DicomBuilder b = Start(encoding);
    b.Text(0x0008, 0x0012, "DA", "20240101")   // X/D: a dummy date
        .Text(0x0008, 0x0013, "TM", "121212")  // X/Z/D: a dummy time
        .Uid(0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.2")
        .Uid(0x0008, 0x0018, "1.2.3.4.100")
        .Text(0x0008, 0x0020, "DA", "20240102")  // Z
        .Text(0x0008, 0x0050, "SH", "ACC123")    // Z
        .Text(0x0008, 0x0060, "CS", "CT")        // kept
        .Text(0x0008, 0x0080, "LO", "GENERAL HOSPITAL")  // X/Z/D: dummy text
        .Text(0x0008, 0x1010, "SH", "STATION7")           // X/Z/D
        .Text(0x0008, 0x1030, "LO", "HEAD")               // X
        .Text(0x0008, 0x1070, "PN", "OPERATOR^ONE")       // X/Z/D: dummy name
        .Text(0x0010, 0x0010, "PN", "DOE^JOHN")           // Z
        .Text(0x0010, 0x0020, "LO", "PID001")             // Z/D: pseudonym
        .Text(0x0010, 0x1030, "DS", "72.5")               // X
        .Text(0x0018, 0x1000, "LO", "SN42")               // X/Z/D
        .Uid(0x0020, 0x000D, "1.2.3.4.5")                 // U
        .Text(0x0020, 0x0010, "SH", "S1")                 // Z
        .Uid(0x0020, 0x0052, "1.2.3.4.9")                 // U
        .US(0x0028, 0x0010, 4);                           // kept
    b.Element(0x7FE0, 0x0010, "OW", Bytes(32, 0x11));
    UidMapper uids("key");
    Copy c(b.Bytes(), BasicOptions{}, uids);
    ASSERT_EQ(c.failure, AnonymizeFailure::None);
    ASSERT_EQ(c.file.status, StatusImage);
    EXPECT_EQ(c.file.explicitVr, encoding == Encoding::ImplicitLittle ? 0 : 1);
    EXPECT_EQ(c.Top(0x00080012).value, "19000101");
    EXPECT_EQ(c.Top(0x00080013).value, "000000");
    EXPECT_EQ(c.Top(0x00080060).value, "CT");
    EXPECT_EQ(c.Top(0x00080080).value, "ANONYMIZED");
    EXPECT_EQ(c.Top(0x00081010).value, "ANONYMIZED");
    EXPECT_EQ(c.Top(0x00081070).value, "ANONYMIZED");
    EXPECT_EQ(c.Top(0x00181000).value, "ANONYMIZED");
    for (uint32_t emptied : {0x00080020u, 0x00080050u, 0x00100010u, 0x00200010u}) {
      EXPECT_TRUE(c.Top(emptied).present) << std::hex << emptied;
      EXPECT_EQ(c.Top(emptied).value, "") << std::hex << emptied;
    }
    for (uint32_t removed : {0x00081030u, 0x00101030u}) EXPECT_FALSE(c.Top(removed).present) << std::hex << removed;
    EXPECT_EQ(c.Top(0x00100020).value, uids.PatientPseudonym("PID001"));
    EXPECT_EQ(c.Top(0x0020000D).value, uids.Map("1.2.3.4.5"));
    EXPECT_EQ(c.Top(0x00200052).value, uids.Map("1.2.3.4.9"));
    EXPECT_EQ(c.Top(0x00080016).value, "1.2.840.10008.5.1.4.1.1.2");
    EXPECT_EQ(c.Top(0x00280010).raw, std::string({encoding == Encoding::ExplicitBig ? '\0' : '\4',
                                                  encoding == Encoding::ExplicitBig ? '\4' : '\0'}));
    EXPECT_EQ(c.Top(0x7FE00010).value, std::string(32, '\x11'));
    EXPECT_EQ(c.report.removed, 2);
    EXPECT_EQ(c.report.uidsMapped, 3);  // with the SOP Instance UID
  }
}

TEST(ConfidentialityWriter, SequencesThreeDeepAndPrivateDataAtEveryDepth) {
  for (Encoding encoding : kEncodings) {
    SCOPED_TRACE(static_cast<int>(encoding));
    for (fixture::Length form : {fixture::Length::Undefined, fixture::Length::Defined}) {
      DicomBuilder b = Start(encoding);
      b.Uid(0x0008, 0x0018, "1.2.3.4.100");
      b.Text(0x0009, 0x0010, "LO", "ACME").Text(0x0009, 0x1001, "LO", "SECRET");
      b.BeginSequence(0x0008, 0x1115, form).BeginItem(form)  // Referenced Series Sequence: no row
          .Uid(0x0020, 0x000E, "1.2.3.4.6")
          .BeginSequence(0x0040, 0x0260, form).BeginItem(form)  // no row
          .Text(0x0011, 0x0010, "LO", "ACME")
          .BeginSequence(0x0008, 0x1140, form).BeginItem(form)  // X/Z/U*
          .Uid(0x0008, 0x1150, "1.2.840.10008.5.1.4.1.1.2")
          .Uid(0x0008, 0x1155, "1.2.3.4.101")
          .Text(0x0010, 0x0010, "PN", "DEEP^NAME")
          .Text(0x0010, 0x4000, "LT", "comment")
          .Text(0x0013, 0x1010, "LO", "PRIVATE")
          .EndItem().EndSequence()
          .EndItem().EndSequence()
          .EndItem()
          .BeginItem(form).Uid(0x0020, 0x000E, "1.2.3.4.7").EndItem()
          .EndSequence();
      b.BeginSequence(0x0010, 0x1002, form).BeginItem(form)  // Other Patient IDs Sequence: X, whole
          .Text(0x0010, 0x0020, "LO", "OTHER1")
          .EndItem().EndSequence();
      b.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
      b.Element(0xFFFC, 0xFFFC, "OB", Bytes(8, 0));
      UidMapper uids("key");
      Copy c(b.Bytes(), BasicOptions{}, uids);
      ASSERT_EQ(c.failure, AnonymizeFailure::None);
      ASSERT_EQ(c.file.status, StatusComplete);
      EXPECT_EQ(c.At({0x00081115, 0x0020000E}).value, uids.Map("1.2.3.4.6"));
      EXPECT_EQ(c.At({0x00081115, 0x00400260, 0x00081140, 0x00081155}).value, uids.Map("1.2.3.4.101"));
      EXPECT_EQ(c.At({0x00081115, 0x00400260, 0x00081140, 0x00081150}).value, "1.2.840.10008.5.1.4.1.1.2");
      const Found deepName = c.At({0x00081115, 0x00400260, 0x00081140, 0x00100010});
      EXPECT_TRUE(deepName.present);
      EXPECT_EQ(deepName.value, "");
      EXPECT_FALSE(c.At({0x00081115, 0x00400260, 0x00081140, 0x00104000}).present);
      EXPECT_FALSE(c.Top(0x00101002).present);
      EXPECT_FALSE(c.Top(0xFFFCFFFC).present);
      int32_t items = 0, privates = 0;
      for (const DicomElement& e : c.file.elements) {
        if ((e.group & 1) != 0) ++privates;
        if (e.group == 0x0020 && e.element == 0x000E && e.depth == 1) ++items;
      }
      EXPECT_EQ(privates, 0);
      EXPECT_EQ(items, 2);  // both items of the outer sequence kept
      EXPECT_EQ(c.report.privateRemoved, 4);
      const Bytes secret = {'S', 'E', 'C', 'R', 'E', 'T'}, deep = {'D', 'E', 'E', 'P'}, other = {'O', 'T', 'H', 'E', 'R', '1'};
      EXPECT_EQ(anonymize_fixture::Find(c.bytes, secret), -1);
      EXPECT_EQ(anonymize_fixture::Find(c.bytes, deep), -1);
      EXPECT_EQ(anonymize_fixture::Find(c.bytes, other), -1);
    }
  }
}

TEST(ConfidentialityWriter, DummySequencesKeepTheirItemsWithDummyText) {
  DicomBuilder b = Start(Encoding::ExplicitLittle);
  b.Uid(0x0008, 0x0018, "1.2.3.4.100");
  b.BeginSequence(0x0040, 0xA730).BeginItem()  // Content Sequence (D)
      .Text(0x0040, 0xA010, "CS", "CONTAINS")
      .Text(0x0040, 0xA040, "CS", "TEXT")
      .BeginSequence(0x0040, 0xA043).BeginItem()  // Concept Name Code Sequence: no row
      .Text(0x0008, 0x0100, "SH", "PATID77")
      .Text(0x0008, 0x0102, "SH", "99LOCAL")
      .Text(0x0008, 0x0104, "LO", "Seen by Dr House")
      .EndItem().EndSequence()
      .Text(0x0040, 0xA160, "UT", "John Doe, 54, from Springfield")
      .Uid(0x0040, 0xA124, "1.2.3.4.55")  // UID (U)
      .Text(0x0040, 0xA123, "PN", "HOUSE^GREGORY")  // Person Name (D)
      .EndItem().EndSequence();
  UidMapper uids("key");
  Copy c(b.Bytes(), BasicOptions{}, uids);
  ASSERT_EQ(c.failure, AnonymizeFailure::None);
  EXPECT_EQ(c.At({0x0040A730, 0x0040A010}).value, "CONTAINS");
  EXPECT_EQ(c.At({0x0040A730, 0x0040A040}).value, "TEXT");
  EXPECT_EQ(c.At({0x0040A730, 0x0040A043, 0x00080100}).value, "ANONYMIZED");
  EXPECT_EQ(c.At({0x0040A730, 0x0040A043, 0x00080104}).value, "ANONYMIZED");
  EXPECT_EQ(c.At({0x0040A730, 0x0040A160}).value, "ANONYMIZED");
  EXPECT_EQ(c.At({0x0040A730, 0x0040A124}).value, uids.Map("1.2.3.4.55"));
  EXPECT_EQ(c.At({0x0040A730, 0x0040A123}).value, "ANONYMIZED");
  for (const char* secret : {"PATID77", "House", "Springfield", "HOUSE"})
    EXPECT_EQ(anonymize_fixture::Find(c.bytes, Bytes(secret, secret + std::strlen(secret))), -1) << secret;
}

TEST(ConfidentialityWriter, WildcardRowsAndGroupLengths) {
  DicomBuilder b = Start(Encoding::ExplicitLittle);
  b.UL(0x0008, 0x0000, 1234)  // a group length that would now be wrong
      .Uid(0x0008, 0x0018, "1.2.3.4.100")
      .Text(0x0010, 0x0010, "PN", "DOE^JOHN")
      .Element(0x5000, 0x3000, "OW", Bytes(4, 1))
      .Element(0x5002, 0x0005, "US", Bytes(2, 1))
      .US(0x6000, 0x0010, 8)
      .Element(0x6000, 0x3000, "OW", Bytes(8, 1))
      .Text(0x6002, 0x4000, "LT", "overlay note")
      .Text(0x6003, 0x0010, "LO", "PRIV");
  UidMapper uids("key");
  Copy c(b.Bytes(), BasicOptions{}, uids);
  ASSERT_EQ(c.failure, AnonymizeFailure::None);
  for (uint32_t gone : {0x00080000u, 0x50003000u, 0x50020005u, 0x60003000u, 0x60024000u, 0x60030010u})
    EXPECT_FALSE(c.Top(gone).present) << std::hex << gone;
  EXPECT_TRUE(c.Top(0x60000010).present);
  // (0002,0000) counts exactly the meta elements after it.
  const DicomElement* metaLength = anonymize_fixture::FindTop(c.file, 0x0002, 0x0000);
  ASSERT_NE(metaLength, nullptr);
  uint32_t declared = 0;
  std::memcpy(&declared, c.file.fileBytes.data + metaLength->end - 4, 4);
  int32_t metaEnd = metaLength->end;
  for (const DicomElement& e : c.file.elements)
    if (e.depth == 0 && e.group == 0x0002) metaEnd = e.end;
  EXPECT_EQ(declared, static_cast<uint32_t>(metaEnd - metaLength->end));
}

TEST(ConfidentialityWriter, MetaGroupAndMarks) {
  for (Encoding encoding : kEncodings) {
    SCOPED_TRACE(static_cast<int>(encoding));
    DicomBuilder b(encoding);
    b.Preamble(7);
    b.SetEncoding(Encoding::ExplicitLittle);
    b.UL(0x0002, 0x0000, 0)
        .Element(0x0002, 0x0001, "OB", Bytes{0, 1})
        .Uid(0x0002, 0x0002, "1.2.840.10008.5.1.4.1.1.2")
        .Uid(0x0002, 0x0003, "1.2.3.4.100")
        .Uid(0x0002, 0x0010, std::string(SyntaxOf(encoding)))
        .Uid(0x0002, 0x0012, "1.2.3.999")
        .Text(0x0002, 0x0013, "SH", "OTHER")
        .Text(0x0002, 0x0016, "AE", "SCANNER_ROOM_3");
    b.SetEncoding(encoding);
    b.Uid(0x0008, 0x0018, "1.2.3.4.100")
        .Text(0x0010, 0x0010, "PN", "DOE^JOHN")
        .Text(0x0012, 0x0062, "CS", "NO")  // replaced by the writer's own
        .US(0x0028, 0x0010, 4);
    UidMapper uids("key");
    BasicOptions options;
    options.option[OptionCleanDescriptors] = true;
    options.option[OptionRetainDevice] = true;
    Copy c(b.Bytes(), options, uids);
    ASSERT_EQ(c.failure, AnonymizeFailure::None);
    EXPECT_EQ(std::string(c.bytes.begin(), c.bytes.begin() + 128), std::string(128, '\0'));
    EXPECT_EQ(c.Top(0x00020003).value, uids.Map("1.2.3.4.100"));
    EXPECT_EQ(c.Top(0x00020003).value, c.Top(0x00080018).value);
    EXPECT_EQ(c.Top(0x00020010).value, SyntaxOf(encoding));
    EXPECT_EQ(c.Top(0x00020012).value.compare(0, 5, "2.25."), 0);
    EXPECT_EQ(c.Top(0x00020013).value, "TESMER_1");
    EXPECT_FALSE(c.Top(0x00020016).present);
    EXPECT_EQ(c.Top(0x00120062).value, "YES");
    EXPECT_EQ(c.Top(0x00120063).value,
              "DICOM PS3.15 Basic Application Confidentiality Profile\\Retain Device Identity Option\\Clean "
              "Descriptors Option");
    EXPECT_EQ(c.Top(0x00280303).value, "REMOVED");
    std::vector<std::string> codes;
    for (const DicomElement& e : c.file.elements)
      if (e.depth == 1 && e.group == 0x0008 && e.element == 0x0100) {
        std::string v(c.file.fileBytes.data + e.end - e.length, c.file.fileBytes.data + e.end);
        codes.push_back(v);
      }
    EXPECT_EQ(codes, (std::vector<std::string>{"113100", "113105", "113109"}));
    // In tag order: the marks stand between Patient's Name and Rows.
    std::vector<uint32_t> top;
    for (const DicomElement& e : c.file.elements)
      if (e.depth == 0 && e.group != 0x0002) top.push_back((uint32_t{e.group} << 16) | e.element);
    EXPECT_EQ(top, (std::vector<uint32_t>{0x00080018, 0x00100010, 0x00120062, 0x00120063, 0x00120064, 0x00280010,
                                          0x00280303}));
  }
}

TEST(ConfidentialityWriter, EveryOption) {
  DicomBuilder b = Start(Encoding::ExplicitLittle);
  b.Text(0x0008, 0x0020, "DA", "20240102")  // Study Date
      .Text(0x0008, 0x0030, "TM", "101010")  // Study Time
      .Uid(0x0008, 0x0018, "1.2.3.4.100")
      .Text(0x0008, 0x0080, "LO", "GENERAL HOSPITAL")
      .Text(0x0008, 0x1010, "SH", "STATION7")
      .Text(0x0008, 0x103E, "LO", "AXIAL")  // Series Description
      .Text(0x0010, 0x0040, "CS", "M")
      .Text(0x0010, 0x1010, "AS", "054Y")
      .Text(0x0010, 0x2110, "LO", "PEANUTS")  // Allergies: patient characteristics clean
      .Text(0x0018, 0x1000, "LO", "SN42")
      .Uid(0x0020, 0x000D, "1.2.3.4.5");
  struct Case {
    std::vector<int32_t> options;
    uint32_t tag;
    bool present;
    std::string value;
  } cases[] = {
      {{}, 0x0020000D, true, "mapped"},
      {{OptionRetainUids}, 0x0020000D, true, "1.2.3.4.5"},
      {{OptionRetainUids}, 0x00080018, true, "1.2.3.4.100"},
      {{}, 0x00080020, true, ""},
      {{OptionRetainDates}, 0x00080020, true, "20240102"},
      {{OptionRetainDates}, 0x00080030, true, "101010"},
      {{OptionShiftDates}, 0x00080030, true, "101010"},
      {{OptionRetainDevice}, 0x00181000, true, "SN42"},
      {{OptionRetainDevice}, 0x00081010, true, "STATION7"},
      {{OptionRetainInstitution}, 0x00080080, true, "GENERAL HOSPITAL"},
      {{}, 0x00100040, true, ""},
      {{OptionRetainPatientChars}, 0x00100040, true, "M"},
      {{OptionRetainPatientChars}, 0x00101010, true, "054Y"},
      {{OptionRetainPatientChars}, 0x00102110, false, ""},
      {{}, 0x0008103E, false, ""},
      {{OptionCleanDescriptors}, 0x0008103E, false, ""},
      {{OptionRetainSafePrivate}, 0x00100040, true, ""},
  };
  for (const Case& c : cases) {
    BasicOptions options;
    for (int32_t o : c.options) options.option[o] = true;
    UidMapper uids("key");
    Copy copy(b.Bytes(), options, uids);
    ASSERT_EQ(copy.failure, AnonymizeFailure::None);
    const Found f = copy.Top(c.tag);
    EXPECT_EQ(f.present, c.present) << std::hex << c.tag;
    EXPECT_EQ(f.value, c.value == "mapped" ? uids.Map("1.2.3.4.5") : c.value) << std::hex << c.tag;
    const char* temporal = options.option[OptionRetainDates] ? "UNMODIFIED"
                           : options.option[OptionShiftDates] ? "MODIFIED"
                                                              : "REMOVED";
    EXPECT_EQ(copy.Top(0x00280303).value, temporal);
  }
}

TEST(ConfidentialityWriter, DatesShiftPerPatientAndUidsFollowTheKey) {
  auto file = [](const char* patient, const char* date, const char* instance) {
    DicomBuilder b = Start(Encoding::ExplicitLittle, instance);
    b.Text(0x0008, 0x0020, "DA", date)
        .Text(0x0008, 0x0021, "DA", "20240301-20240305")
        .Text(0x0008, 0x002A, "DT", "20240102101010.5")
        .Uid(0x0008, 0x0018, instance)
        .Text(0x0010, 0x0020, "LO", patient)
        .Uid(0x0020, 0x000D, "1.2.3.4.5");
    return b.Bytes();
  };
  BasicOptions shift;
  shift.option[OptionShiftDates] = true;
  UidMapper uids("secret");
  Copy a(file("P1", "20240102", "1.2.3.1"), shift, uids);
  Copy b(file("P1", "20240103", "1.2.3.2"), shift, uids);
  const int32_t days = uids.DateShiftDays("P1");
  EXPECT_GE(days, 1);
  EXPECT_LE(days, 3650);
  // The same patient: the same shift, so a day apart stays a day apart.
  const std::string dateA = a.Top(0x00080020).value, dateB = b.Top(0x00080020).value;
  ASSERT_EQ(dateA.size(), 8u);
  EXPECT_NE(dateA, "20240102");
  EXPECT_EQ(a.Top(0x0008002A).value.substr(0, 8), dateA);
  EXPECT_EQ(a.Top(0x0008002A).value.substr(8), "101010.5");
  EXPECT_EQ(a.Top(0x00080021).value.size(), 17u);
  EXPECT_EQ(a.report.datesShifted, 3);
  // One day later, modulo month ends: compare the days since an epoch.
  auto serial = [](const std::string& d) {
    std::tm t{};
    t.tm_year = std::stoi(d.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(d.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(d.substr(6, 2));
    t.tm_hour = 12;
    return static_cast<long>(timegm(&t) / 86400);
  };
  EXPECT_EQ(serial(dateB) - serial(dateA), 1);
  EXPECT_EQ(serial("20240102") - serial(dateA), days);
  // Other patients move by their own shift (distinct for most IDs).
  int32_t differing = 0;
  for (const char* id : {"P2", "P3", "P4", "P5"}) differing += uids.DateShiftDays(id) != days ? 1 : 0;
  EXPECT_GE(differing, 3);

  // UIDs: one mapping across files; the same key gives the same UIDs in
  // another run, another key others.
  EXPECT_EQ(a.Top(0x0020000D).value, b.Top(0x0020000D).value);
  EXPECT_NE(a.Top(0x00080018).value, b.Top(0x00080018).value);
  UidMapper again("secret"), other("another");
  EXPECT_EQ(again.Map("1.2.3.4.5"), a.Top(0x0020000D).value);
  EXPECT_NE(other.Map("1.2.3.4.5"), a.Top(0x0020000D).value);
  const std::string mapped = again.Map("1.2.3.4.5");
  EXPECT_EQ(mapped.compare(0, 5, "2.25."), 0);
  EXPECT_LE(mapped.size(), 64u);
  EXPECT_EQ(mapped.find_first_not_of("0123456789.", 0), std::string::npos);
  EXPECT_NE(UidMapper::RandomKey(), UidMapper::RandomKey());
}

TEST(ConfidentialityWriter, RefusesWhatItCannotRewrite) {
  // Deflated data sets are not inflated here.
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta("1.2.840.10008.1.2.1.99", "1.2.840.10008.5.1.4.1.1.2", "1.2.3");
  b.Raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  UidMapper uids("key");
  DicomFile in;
  in.AnalyseBytes(u"/a.dcm", b.Bytes().data(), b.Size());
  ByteBuffer<uint8_t> out;
  BasicFileReport report;
  EXPECT_EQ(BuildBasicCopy(in, BasicOptions{}, uids, out, report), AnonymizeFailure::Unsupported);
}

}  // namespace
