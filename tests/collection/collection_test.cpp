#include "collection/collection.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "analysis/tag_dictionary.h"
#include "platform/core/text.h"
#include "tests/support/collection_fixture.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using fixture::SimpleFile;

std::u16string U(const std::string& s) { return plat::Utf8ToUtf16(s); }

using fixture::AddBuiltFile;
using fixture::PatientFile;

TEST(CollectionTest, PatientsMatchByNameAndIdWithAbsentKeysMatchingAnything) {
  StudyCollection c;
  // A file without name or ID creates an empty patient in an empty array...
  DicomFile* anonymous = AddBuiltFile(c, "/d/a.dcm", PatientFile("", ""));
  ASSERT_EQ(c.patients.length, 1);
  EXPECT_EQ(c.patients[0]->patientName, u"");
  EXPECT_EQ(c.patients[0]->patientId, u"");
  EXPECT_EQ(c.patients[0]->label, u"");
  EXPECT_EQ(c.patients[0]->owner, &c);
  // ...but a later file with a name differs from that empty stored name.
  AddBuiltFile(c, "/d/b.dcm", PatientFile("DOE^JANE", "P1"));
  ASSERT_EQ(c.patients.length, 2);
  // Names that differ only in ASCII case, with equal IDs, are one patient.
  AddBuiltFile(c, "/d/c.dcm", PatientFile("doe^jane", "P1"));
  // The same name under another ID is another patient.
  AddBuiltFile(c, "/d/d.dcm", PatientFile("DOE^JANE", "P2"));
  // A keyless file now joins the first patient in the array.
  DicomFile* keyless = AddBuiltFile(c, "/d/e.dcm", PatientFile("", ""));
  ASSERT_EQ(c.patients.length, 3);
  EXPECT_EQ(c.patients[1]->patientName, u"DOE^JANE");
  EXPECT_EQ(c.patients[1]->patientId, u"P1");
  EXPECT_EQ(c.patients[2]->patientId, u"P2");
  EXPECT_EQ(keyless->series->parent->parent, c.patients[0]);
  EXPECT_EQ(anonymous->series, keyless->series);

  c.TakeAllPendingFiles();
  EXPECT_EQ(c.ShownFileCount(), 5);
}

TEST(CollectionTest, ThePatientIndexFindsTheSamePatientAsAScanOfEveryPatient) {
  // Names and IDs, absent ones (empty values) included, in many orders: each
  // file must join the first patient a scan in array order would match.
  const char* names[] = {"", "DOE^JANE", "doe^jane", "ROE^RICHARD", "Roe^Richard ", "王^小东"};
  const char* ids[] = {"", "P1", "p1", "P2", " P3"};
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    StudyCollection c;
    const int32_t nameRow = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0010));
    const int32_t idRow = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0020));
    for (int i = 0; i < 60; ++i) {
      auto* file = new DicomFile;
      std::vector<uint8_t> bytes =
          fixture::BuildSimpleFile(PatientFile(names[next(std::size(names))], ids[next(std::size(ids))]));
      file->AnalyseBytes(u"/d/f.dcm", bytes.data(), bytes.size());
      PatientEntry* expected = nullptr;
      for (PatientEntry* p : c.patients) {
        if (file->MatchesRow(p->patientName, nameRow) == 1 && file->MatchesRow(p->patientId, idRow) == 1) {
          expected = p;
          break;
        }
      }
      const int32_t before = c.patients.length;
      ASSERT_TRUE(c.AddAnalysedFile(file));
      PatientEntry* joined = file->series->parent->parent;
      if (expected != nullptr) {
        ASSERT_EQ(joined, expected) << i;
        ASSERT_EQ(c.patients.length, before);
      } else {
        ASSERT_EQ(c.patients.length, before + 1) << i;
        ASSERT_EQ(joined, c.patients[before]);
      }
    }
  }
}

// Names and IDs compare as decoded text: one patient written in different
// character sets stays one patient, with the name shown right.
TEST(CollectionTest, OnePatientAcrossCharacterSets) {
  struct {
    const char* characterSet;
    const char* name;  // bytes
    const char* id;
  } files[] = {
      {"ISO_IR 192", "\xe5\xbc\xa0\xe4\xb8\x89", "P\xc3\x9c" "1"},  // 张三, PÜ1 in UTF-8
      {"GB18030", "\xd5\xc5\xc8\xfd", "P\x81\x30\x89\x35" "1"},      // the same in GB18030
      {"ISO_IR 100", "\xd5\xc5\xc8\xfd", "P\xdc" "1"},                // GB2312 name, Latin-1 ID
      {"\\ISO 2022 IR 58", "\x1b$)A\xd5\xc5\xc8\xfd", "P\xdc" "1"},  // no Ü in GB 2312: see below
  };
  StudyCollection c;
  for (size_t i = 0; i < 3; ++i) {
    SimpleFile recipe = PatientFile(files[i].name, files[i].id);
    recipe.characterSet = files[i].characterSet;
    AddBuiltFile(c, "/d/f" + std::to_string(i) + ".dcm", recipe);
  }
  ASSERT_EQ(c.patients.length, 1);
  EXPECT_EQ(c.patients[0]->patientName, u"张三");
  EXPECT_EQ(c.patients[0]->label, u"张三");
  EXPECT_EQ(c.patients[0]->patientId, u"PÜ1");
  // The same name under ISO 2022 IR 58; its ID's 0xDC has no G1 meaning
  // there, so this is another patient's ID.
  SimpleFile recipe = PatientFile(files[3].name, files[3].id);
  recipe.characterSet = files[3].characterSet;
  AddBuiltFile(c, "/d/f3.dcm", recipe);
  ASSERT_EQ(c.patients.length, 2);
  EXPECT_EQ(c.patients[1]->patientName, u"张三");
}

TEST(CollectionTest, LabelClipsLongNamesToTwentyCodeUnits) {
  struct Case {
    std::string name;
    std::u16string label;
  } cases[] = {
      {"ABCDEFGHIJKLMNOPQRS", u"ABCDEFGHIJKLMNOPQRS"},      // 19: whole
      {"ABCDEFGHIJKLMNOPQRST", u"ABCDEFGHIJKLMNOPQ..."},    // 20: 17 and "..."
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", u"ABCDEFGHIJKLMNOPQ..."},
  };
  StudyCollection c;
  int n = 0;
  for (const Case& k : cases) {
    // The name as written, without the padding to an even length that the
    // simple file adds.
    fixture::DicomBuilder b;
    b.Preamble().Meta(fixture::kExplicitLittle).Element(0x0010, 0x0010, "PN", k.name).Text(0x0010, 0x0020, "LO",
                                                                                            "ID" + std::to_string(n));
    auto* file = new DicomFile;
    file->AnalyseBytes(U("/d/" + std::to_string(n++)), b.Bytes().data(), b.Size());
    ASSERT_TRUE(c.AddAnalysedFile(file));
  }
  ASSERT_EQ(c.patients.length, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c.patients[i]->label, cases[i].label) << i;
    EXPECT_EQ(c.patients[i]->patientName, U(cases[i].name));
  }
}

TEST(CollectionTest, StudiesSplitByFolderAndMatchOnStoredKeys) {
  StudyCollection c;
  SimpleFile base = PatientFile("P", "1");
  AddBuiltFile(c, "/data/ct/a.dcm", base);
  AddBuiltFile(c, "/data/ct2/b.dcm", base);  // same study, other folder
  AddBuiltFile(c, "/DATA/CT/c.dcm", base);   // the folder compares without ASCII case
  SimpleFile other = base;
  other.studyUid = "9.9.9";
  AddBuiltFile(c, "/data/ct/d.dcm", other);  // other study UID in the first folder
  SimpleFile noUid = base;
  noUid.studyUid = "";
  noUid.studyDate = "20200101";
  AddBuiltFile(c, "/data/x/e.dcm", noUid);  // a study that stores no UID...
  SimpleFile later = base;
  later.studyUid = "7.7.7";
  later.studyDate = "20200101";
  AddBuiltFile(c, "/data/x/f.dcm", later);  // ...accepts any UID when the date agrees
  SimpleFile laterOtherDate = later;
  laterOtherDate.studyDate = "20210101";
  AddBuiltFile(c, "/data/x/g.dcm", laterOtherDate);

  ASSERT_EQ(c.patients.length, 1);
  const auto& studies = c.patients[0]->studies;
  ASSERT_EQ(studies.length, 5);
  EXPECT_EQ(studies[0]->folder, u"/data/ct/");
  EXPECT_EQ(studies[0]->studyInstanceUid, u"1.2.3.4.5");
  EXPECT_EQ(studies[0]->studyDate, u"20240102");
  EXPECT_EQ(studies[1]->folder, u"/data/ct2/");
  EXPECT_EQ(studies[2]->studyInstanceUid, u"9.9.9");
  EXPECT_EQ(studies[3]->folder, u"/data/x/");
  EXPECT_EQ(studies[3]->studyInstanceUid, u"");
  EXPECT_EQ(studies[4]->studyDate, u"20210101");
  c.TakeAllPendingFiles();
  std::vector<int32_t> counts;
  for (StudyEntry* s : studies) counts.push_back(s->series[0]->shownFiles.length);
  EXPECT_EQ(counts, (std::vector<int32_t>{2, 1, 1, 2, 1}));
  for (StudyEntry* s : studies) EXPECT_EQ(s->parent, c.patients[0]);
}

TEST(CollectionTest, MatchesStudyWithoutFileIsMinusTwo) {
  StudyEntry study;
  EXPECT_EQ(study.MatchesStudy(nullptr), -2);
}

TEST(CollectionTest, LastMatchingSeriesWinsAndTheSameFileTwiceMakesTwoEntries) {
  StudyCollection c;
  SimpleFile a = PatientFile("P", "1");
  a.seriesUid = "1.1";
  a.seriesDescription = "AXIAL";
  SimpleFile b = a;
  b.seriesUid = "1.2";
  SimpleFile loose = a;
  loose.seriesUid = "";  // matches both series through the absent UID
  DicomFile* fa = AddBuiltFile(c, "/s/a.dcm", a);
  DicomFile* fb = AddBuiltFile(c, "/s/b.dcm", b);
  DicomFile* fl = AddBuiltFile(c, "/s/l.dcm", loose);
  DicomFile* again = AddBuiltFile(c, "/s/a.dcm", a);

  StudyEntry* study = c.patients[0]->studies[0];
  ASSERT_EQ(study->series.length, 2);
  EXPECT_EQ(fa->series, study->series[0]);
  EXPECT_EQ(fb->series, study->series[1]);
  EXPECT_EQ(fl->series, study->series[1]);
  EXPECT_EQ(again->series, study->series[0]);
  EXPECT_NE(again, fa);
  EXPECT_NE(again->serial, fa->serial);
  EXPECT_EQ(study->series[0]->seriesInstanceUid, u"1.1");
  EXPECT_EQ(study->series[1]->parent, study);
  // Files wait in the pending list until the series is drawn.
  EXPECT_EQ(study->series[0]->shownFiles.length, 0);
  EXPECT_EQ(study->series[0]->pendingFiles.length, 2);
}

TEST(CollectionTest, LoadFileReadsFromDiskAndDropsUnreadableFiles) {
  fixture::TempDir dir;
  std::string good = dir.Write("good.dcm", fixture::BuildSimpleFile({}));
  std::string text = dir.Write("notes", {'h', 'i'});
  StudyCollection c;
  EXPECT_TRUE(c.LoadFile(U(good)));
  EXPECT_FALSE(c.LoadFile(U(text)));
  EXPECT_FALSE(c.LoadFile(U(dir.Join("missing.dcm"))));
  EXPECT_FALSE(c.LoadFile(U(dir.path())));
  // Paths the file system cannot hold are refused, not faults.
  std::string tooLong = dir.path();
  while (tooLong.size() < 5000) tooLong += "/abcdefgh";
  EXPECT_FALSE(c.LoadFile(U(tooLong)));
  EXPECT_FALSE(c.LoadFile(U(dir.Join(std::string(300, 'n')))));
  EXPECT_FALSE(c.LoadFile(U(good) + u'\0' + u"x"));
  ASSERT_EQ(c.patients.length, 1);
  EXPECT_EQ(c.patients[0]->patientName, u"DOE^JOHN");
  EXPECT_EQ(c.patients[0]->studies[0]->folder, U(dir.path() + "/"));
  c.TakeAllPendingFiles();
  EXPECT_EQ(c.ShownFileCount(), 1);
  c.Clear();
  EXPECT_EQ(c.patients.length, 0);
  EXPECT_EQ(c.ShownFileCount(), 0);
}

TEST(CollectionTest, ForEachSeriesWalksInTreeOrder) {
  StudyCollection c;
  SimpleFile a = PatientFile("AA", "1");
  SimpleFile b = PatientFile("BB", "2");
  SimpleFile a2 = a;
  a2.seriesUid = "5.5";
  AddBuiltFile(c, "/w/1", a);
  AddBuiltFile(c, "/w/2", b);
  AddBuiltFile(c, "/w/3", a2);
  AddBuiltFile(c, "/v/4", a);
  std::vector<std::u16string> walk;
  c.ForEachSeries([&](PatientEntry& p, StudyEntry& s, SeriesEntry& se) {
    walk.push_back(p.patientName + u"|" + s.folder + u"|" + se.seriesInstanceUid);
  });
  EXPECT_EQ(walk, (std::vector<std::u16string>{u"AA|/w/|1.2.3.4.5.6", u"AA|/w/|5.5", u"AA|/v/|1.2.3.4.5.6",
                                               u"BB|/w/|1.2.3.4.5.6"}));
}

}  // namespace
