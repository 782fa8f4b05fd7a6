// `tesmer anonymize PATH…` as a user runs it: what it prints and its exit
// status for written, failed and unloadable inputs and for bad arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The tesmer executable of the same build tree.
std::string Tesmer() { return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string(); }

using Outcome = fixture::ProgramRun;

// Runs the command in `dir`, so that relative paths are taken from there.
Outcome Anonymize(const fixture::TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {Tesmer(), "anonymize"});
  return fixture::RunProgram(std::move(args), dir.path());
}

TEST(AnonymizeCommand, WritesEveryFileOfTheFoldersAndFilesGiven) {
  ASSERT_TRUE(fs::exists(Tesmer())) << Tesmer();
  fixture::TempDir dir;
  dir.Write("ct/a.dcm", fixture::BuildSimpleFile({}));
  dir.Write("ct/IM0002", fixture::BuildSimpleFile({}));
  dir.Write("ct/notes.txt", {'x'});  // not a candidate
  dir.Write("mr/b.dcm", fixture::BuildSimpleFile({}));
  // Relative paths are taken from the working folder, as a drop's would be.
  Outcome run = Anonymize(dir, {"ct", "mr/b.dcm"});
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_EQ(run.out, "脱敏完成: 3 written, 0 failed\n");
  for (const char* output : {"ct__Anony/a.dcm", "ct__Anony/IM0002", "mr__Anony/b.dcm"})
    EXPECT_TRUE(fixture::FileExists(dir.Join(output))) << output;
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony/notes.txt")));
}

TEST(AnonymizeCommand, ReportsEachFailureAndExitsWithOne) {
  fixture::TempDir dir;
  dir.Write("ok/a.dcm", fixture::BuildSimpleFile({}));
  dir.Write("blocked/a.dcm", fixture::BuildSimpleFile({}));
  dir.Write("blocked__Anony", {1});  // a file where the output folder would go
  dir.Write("plain.dcm", {'n', 'o', 't', ' ', 'D', 'I', 'C', 'O', 'M'});
  Outcome run = Anonymize(dir, {"ok", "blocked", "plain.dcm", "missing"});
  EXPECT_EQ(run.exit, 1);
  const std::string expected = "not loaded: " + dir.Join("missing") + ": no such file or folder\n" +
                               "not loaded: " + dir.Join("plain.dcm") + ": not a readable DICOM file\n" +
                               "failed: " + dir.Join("blocked/a.dcm") + " -> " + dir.Join("blocked__Anony/a.dcm") +
                               ": the output file could not be written\n" +
                               "脱敏完成，1 个文件写入失败: 1 written, 1 failed, 2 not loaded\n";
  EXPECT_EQ(run.out, expected);
}

TEST(AnonymizeCommand, ListsFilesWhoseAnalysisDidNotCompleteAsFailures) {
  fixture::TempDir dir;
  // Loaded (and shown in the window), but never written: a cut-off file and
  // a file of text that happens to be a candidate by its name.
  fixture::DicomBuilder cut(fixture::Encoding::ExplicitLittle);
  cut.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.4", "1.2.3.4");
  cut.Text(0x0010, 0x0010, "PN", "DOE^JANE").Header(0x7FE0, 0x0010, "OW", 1000).Raw(std::vector<uint8_t>(40, 9));
  dir.Write("mr/cut.dcm", cut.Bytes());
  const std::string prose(300, 'x');
  dir.Write("mr/notes", std::vector<uint8_t>(prose.begin(), prose.end()));
  const size_t pixelData = cut.Size() - 40 - 12;
  Outcome run = Anonymize(dir, {"mr/cut.dcm", "mr/notes"});
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.out, "failed: " + dir.Join("mr/cut.dcm") + " -> " + dir.Join("mr__Anony/cut.dcm") +
                         ": analysis interrupted at byte " + std::to_string(pixelData) + " of " +
                         std::to_string(cut.Size()) + "\n" + "failed: " + dir.Join("mr/notes") + " -> " +
                         dir.Join("mr__Anony/notes") + ": not a DICOM file\n" +
                         "脱敏完成，2 个文件写入失败: 0 written, 2 failed\n");
  EXPECT_FALSE(fs::exists(dir.Join("mr__Anony")));
}

TEST(AnonymizeCommand, RefusesBadArguments) {
  fixture::TempDir dir;
  dir.Write("ct/a.dcm", fixture::BuildSimpleFile({}));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--bogus", "ct"}, {""}, {"--"}}) {
    Outcome run = Anonymize(dir, args);
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony")));
  // "--" ends the options: a folder named like one can still be given.
  dir.Write("-x/a.dcm", fixture::BuildSimpleFile({}));
  EXPECT_EQ(Anonymize(dir, {"--", "-x"}).exit, 0);
  EXPECT_TRUE(fixture::FileExists(dir.Join("-x__Anony/a.dcm")));
  // An empty folder leaves nothing to do, which is not success.
  fs::create_directories(dir.Join("empty"));
  Outcome empty = Anonymize(dir, {"empty"});
  EXPECT_EQ(empty.exit, 1);
  EXPECT_EQ(empty.out, "nothing to de-identify: no DICOM files were loaded\n");
}

}  // namespace
