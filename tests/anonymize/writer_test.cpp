// The writer's output stream: preamble, elements with the profile applied,
// and the de-identification marks, checked byte for byte and by analysing
// the output again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "platform/core/text.h"
#include "tests/anonymize/anonymize_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace anonymize_fixture;

// The 60 bytes of the marks in each form.
const Bytes kMethod = [] {
  std::string text = "Basic Confidentiality Profile Anonymize";
  Bytes b(text.begin(), text.end());
  b.push_back(' ');  // padded as LO is, never with a zero byte
  return b;
}();

Bytes Marks(std::initializer_list<uint8_t> first, std::initializer_list<uint8_t> second) {
  Bytes b(first);
  b.insert(b.end(), {'Y', 'E', 'S', ' '});
  b.insert(b.end(), second);
  b.insert(b.end(), kMethod.begin(), kMethod.end());
  return b;
}

const Bytes kExplicitMarks = Marks({0x12, 0x00, 0x62, 0x00, 0x43, 0x53, 0x04, 0x00},
                                   {0x12, 0x00, 0x63, 0x00, 0x4C, 0x4F, 0x28, 0x00});
const Bytes kImplicitMarks = Marks({0x12, 0x00, 0x62, 0x00, 0x04, 0x00, 0x00, 0x00},
                                   {0x12, 0x00, 0x63, 0x00, 0x28, 0x00, 0x00, 0x00});
const Bytes kBigEndianMarks = Marks({0x00, 0x12, 0x00, 0x62, 0x43, 0x53, 0x00, 0x04},
                                    {0x00, 0x12, 0x00, 0x63, 0x4C, 0x4F, 0x00, 0x28});

// Analyses `source`, builds its de-identified stream and analyses that.
struct Written {
  DicomFile source;
  Bytes output;
  DicomFile result;
};

void Write(Written& w, const Bytes& source, const char* path = "/data/ct/a.dcm") {
  w.source.AnalyseBytes(plat::Utf8ToUtf16(path), source.data(), source.size());
  AnonyProfile profile;
  ASSERT_TRUE(profile.BuildBasicProfile());
  profile.insertMarks = 1;
  ASSERT_TRUE(profile.BuildAnonymized(w.source));
  w.output.assign(profile.output.begin(), profile.output.end());
  w.result.AnalyseBytes(u"/data/ct__Anony/a.dcm", w.output.data(), w.output.size());
}

TEST(WriteAnonymized, PlacesTheMarksBeforeTheFirstLaterElementInTheDataSetsForm) {
  struct Case {
    const char* name;
    Encoding encoding;
    const Bytes& marks;
  } cases[] = {
      {"explicit little", Encoding::ExplicitLittle, kExplicitMarks},
      {"implicit little", Encoding::ImplicitLittle, kImplicitMarks},
      {"explicit big", Encoding::ExplicitBig, kBigEndianMarks},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Written w;
    Write(w, RichFile(c.encoding, 0xAB));
    // A zero preamble whatever the source held, then the marker.
    ASSERT_GT(w.output.size(), 132u);
    EXPECT_EQ(Bytes(w.output.begin(), w.output.begin() + 128), Bytes(128, 0));
    EXPECT_EQ(std::string(w.output.begin() + 128, w.output.begin() + 132), "DICM");
    // The marks stand right after the last element of group 0010, where the
    // (dropped) private group 0019 began.
    const DicomElement* comments = FindTop(w.result, 0x0010, 0x4000);
    ASSERT_NE(comments, nullptr);
    EXPECT_EQ(Find(w.output, c.marks), comments->end);
    EXPECT_EQ(w.result.status, w.source.status);
    EXPECT_EQ(ValueOf(w.result, 0x0012, 0x0062), "YES ");
    const DicomElement* method = FindTop(w.result, 0x0012, 0x0063);
    ASSERT_NE(method, nullptr);
    EXPECT_EQ(method->length, 40);
  }
}

TEST(WriteAnonymized, KeepsOrLeavesOutTheMarks) {
  struct Case {
    const char* name;
    const char* ownMark;    // the source's (0012,0062) value, or none
    const char* ownMethod;  // the source's (0012,0063) value, or none
    bool endsEarly;         // nothing after group 0010
    int markCount;          // (0012,0062) elements in the output
    int methodCount;        // (0012,0063) elements in the output
    bool inserted;          // the 60 bytes of the marks stand in the output
  } cases[] = {
      {"inserted", nullptr, nullptr, false, 1, 1, true},
      // A copy never says that the identity was kept.
      {"own NO replaced", "NO", nullptr, false, 1, 0, false},
      {"own YES kept", "YES ", nullptr, false, 1, 0, false},
      {"own method: YES put before it", nullptr, "MY METHOD ", false, 1, 1, false},
      {"own NO and method", "NO", "MY METHOD ", false, 1, 1, false},
      {"source ends before group 0012", nullptr, nullptr, true, 0, 0, false},
  };
  for (const Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " " + std::string(SyntaxOf(encoding)));
      DicomBuilder b(encoding);
      b.Preamble().Meta(SyntaxOf(encoding), "1.2.840.10008.5.1.4.1.1.7", "1.2.3");
      b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x4000, "LT", "none");
      if (c.ownMark != nullptr) b.Text(0x0012, 0x0062, "CS", c.ownMark);
      if (c.ownMethod != nullptr) b.Text(0x0012, 0x0063, "LO", c.ownMethod);
      if (!c.endsEarly) b.Text(0x0020, 0x0010, "SH", "S1");
      Written w;
      Write(w, b.Bytes());
      ASSERT_EQ(w.result.status, w.source.status);
      int marks = 0, methods = 0;
      for (const DicomElement& e : w.result.elements) {
        if (e.group == 0x0012 && e.element == 0x0062) ++marks;
        if (e.group == 0x0012 && e.element == 0x0063) ++methods;
      }
      EXPECT_EQ(marks, c.markCount);
      EXPECT_EQ(methods, c.methodCount);
      if (c.markCount > 0) {
        EXPECT_EQ(ValueOf(w.result, 0x0012, 0x0062), "YES ");
        // The statement stands before the method, in tag order.
        const DicomElement* mark = FindTop(w.result, 0x0012, 0x0062);
        const DicomElement* method = FindTop(w.result, 0x0012, 0x0063);
        if (method != nullptr) {
          EXPECT_LT(mark->offset, method->offset);
        }
      }
      if (c.ownMethod != nullptr) {
        EXPECT_EQ(ValueOf(w.result, 0x0012, 0x0063), c.ownMethod);
      }
      const Bytes& marksBytes = encoding == Encoding::ExplicitLittle   ? kExplicitMarks
                                : encoding == Encoding::ImplicitLittle ? kImplicitMarks
                                                                       : kBigEndianMarks;
      EXPECT_EQ(Find(w.output, marksBytes) >= 0, c.inserted);
    }
  }
}

TEST(WriteAnonymized, KeepsASourcesOwnYesAsRead) {
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.7", "1.2.3");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0012, 0x0062, "CS", "YES ").Text(0x0020, 0x0010, "SH", "S1");
  Written w;
  Write(w, b.Bytes());
  const DicomElement* before = FindTop(w.source, 0x0012, 0x0062);
  const DicomElement* after = FindTop(w.result, 0x0012, 0x0062);
  ASSERT_NE(before, nullptr);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(ElementBytes(w.result, *after), ElementBytes(w.source, *before));
}

TEST(WriteAnonymized, AppliesTheProfileToTopLevelElementsOnly) {
  for (Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    Written w;
    Write(w, RichFile(encoding));
    ASSERT_GE(w.result.status, StatusImage);

    // Every private element is gone, at any depth, with its whole sequence.
    for (const DicomElement& e : w.result.elements) EXPECT_EQ(e.group & 1, 0) << e.group << "," << e.element;
    // The names nested in the private sequence go with it; the public
    // sequence keeps its items byte for byte.
    int nestedNames = 0;
    for (const DicomElement& e : w.result.elements)
      if (e.depth > 0 && e.group == 0x0010 && e.element == 0x0010) ++nestedNames;
    EXPECT_EQ(nestedNames, 1);
    const DicomElement* before = FindTop(w.source, 0x0008, 0x1120);
    const DicomElement* after = FindTop(w.result, 0x0008, 0x1120);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(ElementBytes(w.result, *after), ElementBytes(w.source, *before));

    EXPECT_EQ(ValueOf(w.result, 0x0010, 0x0010), "********");
    EXPECT_EQ(ValueOf(w.result, 0x0010, 0x0020), "00 00 ");
    for (auto [g, e] : {std::pair{0x0008, 0x0020}, {0x0008, 0x0030}, {0x0008, 0x0050}, {0x0008, 0x0080},
                        {0x0008, 0x1050}, {0x0010, 0x0030}, {0x0010, 0x0040}, {0x0010, 0x1010}, {0x0010, 0x4000}}) {
      const DicomElement* cleaned = FindTop(w.result, static_cast<uint16_t>(g), static_cast<uint16_t>(e));
      ASSERT_NE(cleaned, nullptr) << g << "," << e;
      EXPECT_EQ(cleaned->length, 0);
    }
    // The meta group is copied as it stands, (0002,0003) with the old UID,
    // while (0008,0018) receives a new one.
    EXPECT_EQ(ValueOf(w.result, 0x0002, 0x0003), ValueOf(w.source, 0x0002, 0x0003));
    std::string newSop = ValueOf(w.result, 0x0008, 0x0018);
    EXPECT_LE(newSop.size(), 64u);
    EXPECT_EQ(newSop.rfind(std::string(kUidRoot) + ".3.", 0), 0u);
    // (0040,0245) is a time: emptied, never given a UID.
    const DicomElement* stepStart = FindTop(w.result, 0x0040, 0x0245);
    ASSERT_NE(stepStart, nullptr);
    EXPECT_EQ(stepStart->length, 0);
    // Untouched elements keep their values; pixel data is copied.
    EXPECT_EQ(ValueOf(w.result, 0x0020, 0x0010), "S1");
    EXPECT_EQ(ValueOf(w.result, 0x7FE0, 0x0010), std::string(32, '\x11'));
  }
}

TEST(WriteAnonymized, CopiesAFileWithoutProfileTagsAndAddsAPreamble) {
  // A bare implicit data set: no preamble, no meta group.
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Text(0x0008, 0x0060, "CS", "CT").Text(0x0009, 0x0010, "LO", "ACME").Text(0x0020, 0x0010, "SH", "S1")
      .US(0x0028, 0x0010, 4).Element(0x7FE0, 0x0010, "OW", Bytes(128, 0x22));
  Written w;
  Write(w, b.Bytes());
  ASSERT_GE(w.source.status, StatusImage);
  Bytes expected(128, 0);
  expected.insert(expected.end(), {'D', 'I', 'C', 'M'});
  const Bytes& src = b.Bytes();
  expected.insert(expected.end(), src.begin(), src.begin() + 10);            // (0008,0060)
  expected.insert(expected.end(), kImplicitMarks.begin(), kImplicitMarks.end());
  expected.insert(expected.end(), src.begin() + 10 + 12, src.end());         // without (0009,0010)
  EXPECT_EQ(w.output, expected);
  EXPECT_EQ(w.result.status, w.source.status);
}

TEST(WriteAnonymized, ReadsNothingBeyondATruncatedSource) {
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3");
  b.Text(0x0020, 0x0010, "SH", "S1").Header(0x7FE0, 0x0010, "OW", 4000).Raw({1, 2, 3, 4, 5, 6});
  Written w;
  Write(w, b.Bytes());
  const DicomElement* pixels = FindTop(w.source, 0x7FE0, 0x0010);
  ASSERT_NE(pixels, nullptr);
  ASSERT_GT(pixels->end, static_cast<int32_t>(b.Size()));
  // The output ends with the source's last bytes and holds nothing after them.
  const Bytes& src = b.Bytes();
  Bytes tail(src.end() - 18, src.end());
  ASSERT_GE(w.output.size(), tail.size());
  EXPECT_EQ(Bytes(w.output.end() - 18, w.output.end()), tail);
}

TEST(WriteAnonymized, ResetsTheMarksForEveryFile) {
  // Streams of one source differ in the lengths of their generated UIDs
  // (fresh ones, outside a collection), whose last numbers may have more
  // digits in one of them: the rest must agree.
  const auto generatedLength = [](const Bytes& stream) {
    DicomFile f;
    f.AnalyseBytes(u"/d/out.dcm", stream.data(), stream.size());
    int32_t total = 0;
    for (auto [g, e] : {std::pair{0x0008, 0x0014}, {0x0008, 0x0018}, {0x0020, 0x000D}, {0x0020, 0x000E}}) {
      const DicomElement* uid = FindTop(f, static_cast<uint16_t>(g), static_cast<uint16_t>(e));
      total += uid != nullptr ? uid->length : 0;
    }
    return total;
  };
  AnonyProfile profile;
  ASSERT_TRUE(profile.BuildBasicProfile());
  profile.insertMarks = 1;
  DicomFile a, b;
  Bytes first = RichFile(Encoding::ExplicitLittle);
  a.AnalyseBytes(u"/d/a.dcm", first.data(), first.size());
  b.AnalyseBytes(u"/d/b.dcm", first.data(), first.size());
  ASSERT_TRUE(profile.BuildAnonymized(a));
  Bytes one(profile.output.begin(), profile.output.end());
  ASSERT_TRUE(profile.BuildAnonymized(b));
  Bytes two(profile.output.begin(), profile.output.end());
  EXPECT_EQ(profile.marksInserted, 1);
  EXPECT_EQ(one.size() - generatedLength(one), two.size() - generatedLength(two));
  EXPECT_GE(Find(two, kExplicitMarks), 0);
  // Without insertMarks no marks are added.
  profile.insertMarks = 0;
  ASSERT_TRUE(profile.BuildAnonymized(b));
  const Bytes three(profile.output.begin(), profile.output.end());
  EXPECT_EQ(static_cast<int32_t>(three.size()) - generatedLength(three),
            static_cast<int32_t>(two.size()) - 60 - generatedLength(two));
  EXPECT_EQ(profile.marksDone, 0);
}

// Files on the disk, analysed from there so that large ones are viewed in
// place, each with the stream built whole and with its tail left out.
TEST(WriteAnonymized, LeavesAnUnchangedEndOfAViewedFileToBeCopiedFromIt) {
  const Bytes pixels(300000, 0x5A);
  auto pixelsLast = [&](Encoding encoding, size_t pixelBytes = 300000) {
    DicomBuilder b(encoding);
    b.Preamble().Meta(SyntaxOf(encoding), "1.2.840.10008.5.1.4.1.1.2", "1.2.3");
    b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0028, 0x0010, "US", "AB");
    b.Element(0x7FE0, 0x0010, "OW", Bytes(pixelBytes, 0x5A));
    return b.Bytes();
  };
  auto privateAfterPixels = [&] {
    DicomBuilder b(Encoding::ExplicitLittle);
    b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3");
    b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Element(0x7FE0, 0x0010, "OW", pixels);
    b.Text(0x7FE1, 0x0010, "LO", "ACME");  // a private group: dropped
    return b.Bytes();
  };
  auto shortPixels = [] {
    DicomBuilder b(Encoding::ExplicitLittle);
    b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3");
    b.Element(0x0009, 0x0010, "OB", Bytes(300000, 1));  // dropped
    b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Element(0x7FE0, 0x0010, "OW", Bytes(1000, 2));
    return b.Bytes();
  };
  struct Case {
    const char* name;
    Bytes bytes;
    bool tail;
  } cases[] = {
      {"pixel data last", pixelsLast(Encoding::ExplicitLittle), true},
      {"pixel data last, implicit", pixelsLast(Encoding::ImplicitLittle), true},
      {"big endian", pixelsLast(Encoding::ExplicitBig), true},
      {"a dropped element after the pixel data", privateAfterPixels(), false},
      {"a viewed file with a short unchanged end", shortPixels(), false},
      {"a file held as a copy", pixelsLast(Encoding::ExplicitLittle, 100000), false},
  };
  fixture::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.Write(std::string("src/") + c.name + ".dcm", c.bytes);
    DicomFile file;
    file.Analyse(plat::PathFromNative(path));
    ASSERT_GE(file.status, StatusImage) << c.name;
    AnonyProfile profile;
    ASSERT_TRUE(profile.BuildBasicProfile());
    profile.insertMarks = 1;
    ASSERT_TRUE(profile.BuildAnonymized(file));
    EXPECT_FALSE(profile.hasTail) << c.name;
    const Bytes whole(profile.output.begin(), profile.output.end());

    profile.deferTail = true;
    ASSERT_TRUE(profile.BuildAnonymized(file));
    ASSERT_EQ(profile.hasTail, c.tail) << c.name;
    Bytes joined(profile.output.begin(), profile.output.end());
    if (profile.hasTail) {
      EXPECT_EQ(plat::PathToNative(profile.tail.path), path);
      plat::FileStamp stamp;
      ASSERT_TRUE(plat::StampOf(profile.tail.path, stamp));
      EXPECT_EQ(profile.tail.stamp, stamp);
      EXPECT_EQ(profile.tail.offset + profile.tail.length, c.bytes.size()) << c.name;
      EXPECT_GE(profile.tail.length, pixels.size());
      joined.insert(joined.end(), c.bytes.begin() + static_cast<long>(profile.tail.offset), c.bytes.end());
    }
    EXPECT_EQ(joined, whole) << c.name;

    // Saved, the file holds the whole stream either way.
    std::u16string outputPath;
    ASSERT_EQ(profile.WriteAnonymized(file, &outputPath), AnonymizeFailure::None) << c.name;
    EXPECT_EQ(fixture::ReadFileBytes(plat::PathToNative(outputPath)), whole) << c.name;
  }
}

}  // namespace
