// `tesmer anonymize --profile basic` and `tesmer audit` as a user runs them:
// where the copies go (--out, --rename, name clashes), what is refused
// (DICOMDIR, burned-in text), the report and the map, UIDs shared across
// folders, the audit's findings and exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string TesmerPath() { return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string(); }

fixture::ProgramRun Tesmer(const fixture::TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), TesmerPath());
  return fixture::RunProgram(std::move(args), dir.path());
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The trimmed text of a top-level element of a file on disk.
std::string TopValue(const std::string& path, uint16_t group, uint16_t element) {
  DicomFile f;
  f.Analyse(std::u16string(path.begin(), path.end()));
  for (const DicomElement& e : f.elements) {
    if (e.depth != 0 || e.group != group || e.element != element || e.length <= 0) continue;
    std::string v(f.fileBytes.data + e.end - e.length, f.fileBytes.data + e.end);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
    return v;
  }
  return std::string();
}

// An image that points at another one through the Source Image Sequence.
std::vector<uint8_t> Referring(const char* instance, const char* referenced, const char* modality = "CT") {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, instance);
  b.Uid(0x0008, 0x0016, fixture::kCtImageStorage).Uid(0x0008, 0x0018, instance);
  b.Text(0x0008, 0x0060, "CS", modality);
  b.BeginSequence(0x0008, 0x2112).BeginItem()
      .Uid(0x0008, 0x1150, fixture::kCtImageStorage)
      .Uid(0x0008, 0x1155, referenced)
      .EndItem().EndSequence();
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x0020, "LO", "PID001");
  b.Uid(0x0020, 0x000D, "1.2.3.4.5").Uid(0x0020, 0x000E, "1.2.3.4.5.6");
  b.US(0x0028, 0x0010, 2).US(0x0028, 0x0011, 2);
  b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(8, 1));
  return b.Bytes();
}

TEST(BasicProfileCommand, OneTreeUnderOutWithUidsSharedAcrossFolders) {
  fixture::TempDir dir;
  dir.Write("in/a/one.dcm", Referring("1.2.3.100", "1.2.3.200"));
  dir.Write("in/b/two.dcm", Referring("1.2.3.200", "1.2.3.100"));
  dir.Write("single.dcm", Referring("1.2.3.300", "1.2.3.100"));
  dir.Write("key", {'s', 'e', 'c', 'r', 'e', 't'});
  fixture::ProgramRun run = Tesmer(dir, {"anonymize", "--profile", "basic", "--key", "key", "--out", "out", "--map",
                                      "map.csv", "--report", "report.json", "in/a", "in/b", "single.dcm"});
  EXPECT_EQ(run.exit, 0) << run.out << run.err;
  const std::string one = dir.Join("out/one.dcm"), two = dir.Join("out/two.dcm"), single = dir.Join("out/single.dcm");
  ASSERT_TRUE(fixture::FileExists(one));
  ASSERT_TRUE(fixture::FileExists(two));
  ASSERT_TRUE(fixture::FileExists(single));
  // Each reference points at the copy of the file it pointed at.
  const std::string oneUid = TopValue(one, 0x0008, 0x0018), twoUid = TopValue(two, 0x0008, 0x0018);
  EXPECT_EQ(oneUid.compare(0, 5, "2.25."), 0);
  EXPECT_EQ(TopValue(one, 0x0002, 0x0003), oneUid);
  EXPECT_EQ(TopValue(one, 0x0020, 0x000D), TopValue(two, 0x0020, 0x000D));
  DicomFile twoFile;
  twoFile.Analyse(std::u16string(two.begin(), two.end()));
  bool pointsAtOne = false;
  for (const DicomElement& e : twoFile.elements)
    if (e.group == 0x0008 && e.element == 0x1155 && e.depth == 1)
      pointsAtOne = std::string(twoFile.fileBytes.data + e.end - e.length, twoFile.fileBytes.data + e.end)
                        .compare(0, oneUid.size(), oneUid) == 0;
  EXPECT_TRUE(pointsAtOne);
  // The map links every original to its new UID.
  const std::string map = ReadText(dir.Join("map.csv"));
  EXPECT_EQ(map.compare(0, 13, "original,new\n"), 0);
  EXPECT_NE(map.find("1.2.3.100," + oneUid + "\n"), std::string::npos) << map;
  // The report has one record per source.
  const std::string report = ReadText(dir.Join("report.json"));
  EXPECT_NE(report.find("\"path\":\"" + dir.Join("in/a/one.dcm") + "\",\"output\":\"" + one + "\",\"status\":\"written\""),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\"uidsMapped\":"), std::string::npos);

  // The same key in another run gives the same UIDs.
  fixture::ProgramRun again = Tesmer(dir, {"anonymize", "--profile", "basic", "--key", "key", "--out", "again", "in/a"});
  EXPECT_EQ(again.exit, 0) << again.out;
  EXPECT_EQ(TopValue(dir.Join("again/one.dcm"), 0x0008, 0x0018), oneUid);
  // Without a key, a fresh one.
  fixture::ProgramRun fresh = Tesmer(dir, {"anonymize", "--profile", "basic", "--out", "fresh", "in/a"});
  EXPECT_EQ(fresh.exit, 0) << fresh.out;
  EXPECT_NE(TopValue(dir.Join("fresh/one.dcm"), 0x0008, 0x0018), oneUid);
}

TEST(BasicProfileCommand, NameClashesRenameAndTheFixedProfileUnderOut) {
  fixture::TempDir dir;
  dir.Write("x/same.dcm", Referring("1.2.3.100", "1.2.3.200"));
  dir.Write("y/same.dcm", Referring("1.2.3.101", "1.2.3.200"));
  fixture::ProgramRun clash = Tesmer(dir, {"anonymize", "--profile", "basic", "--out", "out", "x", "y"});
  EXPECT_EQ(clash.exit, 1);
  EXPECT_NE(clash.out.find("failed: " + dir.Join("y/same.dcm") + " -> " + dir.Join("out/same.dcm") +
                           ": an earlier copy of this run already takes the output path"),
            std::string::npos)
      << clash.out;
  EXPECT_EQ(TopValue(dir.Join("out/same.dcm"), 0x0020, 0x000D).empty(), false);

  fixture::ProgramRun renamed = Tesmer(dir, {"anonymize", "--profile", "basic", "--rename", "--out", "r", "x", "y"});
  EXPECT_EQ(renamed.exit, 0) << renamed.out;
  // One patient and study, one series per folder (studies are per folder).
  EXPECT_TRUE(fixture::FileExists(dir.Join("r/P0001/ST001/SE001/IM00001.dcm")));
  EXPECT_TRUE(fixture::FileExists(dir.Join("r/P0001/ST002/SE001/IM00001.dcm")));

  // The fixed profile takes --out too.
  fixture::ProgramRun fixed = Tesmer(dir, {"anonymize", "--out", "f", "x"});
  EXPECT_EQ(fixed.exit, 0) << fixed.out;
  EXPECT_TRUE(fixture::FileExists(dir.Join("f/same.dcm")));
  EXPECT_EQ(TopValue(dir.Join("f/same.dcm"), 0x0012, 0x0063), "Basic Confidentiality Profile Anonymize");
  EXPECT_FALSE(fixture::FileExists(dir.Join("x__Anony")));
}

TEST(BasicProfileCommand, DicomDirAndBurnedInText) {
  fixture::TempDir dir;
  fixture::DicomBuilder dicomdir;
  dicomdir.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.1.3.10", "1.2.3.9");
  dicomdir.Text(0x0004, 0x1130, "CS", "FILESET");
  dir.Write("in/DICOMDIR", dicomdir.Bytes());
  dir.Write("in/us.dcm", Referring("1.2.3.100", "1.2.3.200", "US"));
  dir.Write("in/ct.dcm", Referring("1.2.3.101", "1.2.3.200"));
  fixture::ProgramRun run = Tesmer(dir, {"anonymize", "--profile", "basic", "--out", "out", "--report", "r.json", "in"});
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.out.find("failed: " + dir.Join("in/DICOMDIR") + " -> " + dir.Join("out/DICOMDIR") +
                         ": a DICOMDIR is never copied (its records hold names): make a new one from the copies"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("warning: " + dir.Join("in/us.dcm") + ": may carry text burned into its pixels"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(fixture::FileExists(dir.Join("out/us.dcm")));
  EXPECT_FALSE(fixture::FileExists(dir.Join("out/DICOMDIR")));
  const std::string report = ReadText(dir.Join("r.json"));
  EXPECT_NE(report.find("\"warnings\":[\"may carry text burned into its pixels"), std::string::npos) << report;
  EXPECT_NE(report.find("\"status\":\"failed\""), std::string::npos);

  fixture::ProgramRun refused =
      Tesmer(dir, {"anonymize", "--profile", "basic", "--refuse-burned-in", "--out", "out2", "in/us.dcm", "in/ct.dcm"});
  EXPECT_EQ(refused.exit, 1);
  EXPECT_NE(refused.out.find("may carry text burned into its pixels (refused by --refuse-burned-in)"),
            std::string::npos);
  EXPECT_FALSE(fixture::FileExists(dir.Join("out2/us.dcm")));
  EXPECT_TRUE(fixture::FileExists(dir.Join("out2/ct.dcm")));
}

TEST(BasicProfileCommand, RefusesBadArguments) {
  fixture::TempDir dir;
  dir.Write("ct/a.dcm", Referring("1.2.3.100", "1.2.3.200"));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--profile", "other", "ct"},
           {"--profile"},
           {"--retain-uids", "ct"},  // an option of the basic profile without it
           {"--profile", "basic", "--rename", "ct"},
           {"--profile", "basic", "--retain-dates", "--shift-dates", "ct"},
           {"--profile", "basic", "--key", "missing-key", "ct"},
           {"--profile", "basic", "--out"},
       }) {
    std::vector<std::string> full{"anonymize"};
    full.insert(full.end(), args.begin(), args.end());
    fixture::ProgramRun run = Tesmer(dir, full);
    EXPECT_EQ(run.exit, 2) << args[0] << " " << run.out;
  }
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony")));
}

TEST(AuditCommand, FindingsAndExitCodes) {
  fixture::TempDir dir;
  dir.Write("src/a.dcm", fixture::BuildSimpleFile({}));
  ASSERT_EQ(Tesmer(dir, {"anonymize", "--profile", "basic", "--out", "basic", "src"}).exit, 0);
  ASSERT_EQ(Tesmer(dir, {"anonymize", "--out", "fixed", "src"}).exit, 0);

  fixture::ProgramRun clean = Tesmer(dir, {"audit", "--against", "src", "basic"});
  EXPECT_EQ(clean.exit, 0) << clean.out;
  EXPECT_EQ(clean.out, "audited 1 files: 0 may still identify a person\n");

  // The fixed profile's copy keeps the study and series descriptions, the
  // UIDs of its own root and (in the source's bytes) the study date.
  fixture::ProgramRun residual = Tesmer(dir, {"audit", "--against", "src", "fixed"});
  EXPECT_EQ(residual.exit, 1);
  EXPECT_NE(residual.out.find(dir.Join("fixed/a.dcm") + ": value (0008,103E): Series Description"), std::string::npos)
      << residual.out;
  EXPECT_NE(residual.out.find(": source-value (0008,103E): CT HEAD"), std::string::npos) << residual.out;

  // The source itself: everything is still there.
  fixture::ProgramRun json = Tesmer(dir, {"audit", "--json", "src"});
  EXPECT_EQ(json.exit, 1);
  EXPECT_NE(json.out.find("{\"place\":\"(0010,0010)\",\"kind\":\"value\",\"detail\":\"Patient's Name\"}"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"kind\":\"marks\""), std::string::npos);
  EXPECT_NE(json.out.find("\"kind\":\"uid\",\"detail\":\"1.2.3.4.5\""), std::string::npos);

  // Free text that names the patient, and a private element.
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, "2.25.1");
  b.Uid(0x0008, 0x0018, "2.25.1");
  b.Text(0x0009, 0x0010, "LO", "ACME");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
  b.Text(0x0012, 0x0062, "CS", "YES");
  b.Text(0x0020, 0x4000, "LT", "seen with JOHN");  // Image Comments
  dir.Write("named/n.dcm", b.Bytes());
  fixture::ProgramRun named = Tesmer(dir, {"audit", "named"});
  EXPECT_EQ(named.exit, 1);
  EXPECT_NE(named.out.find(": name-in-text (0020,4000): JOHN"), std::string::npos) << named.out;
  EXPECT_NE(named.out.find(": private (0009,0010): private element"), std::string::npos) << named.out;

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"audit"}, {"audit", "missing"}, {"audit", "--against"},
                                             {"audit", "--bogus", "src"}, {"audit", "--against", "nosuch", "basic"}})
    EXPECT_EQ(Tesmer(dir, args).exit, 2) << args.back();
}

}  // namespace
