// `tesmer tree [-r] PATH…` on a hospital export of nested folders: what the
// flat load leaves out and says so, and what -r loads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string Tesmer() { return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string(); }

// A patient folder with two series folders of files named by UID and one
// without an extension, and a text file.
void WriteExport(const fixture::TempDir& dir) {
  fixture::SimpleFile one, two;
  one.sopInstanceUid = "1.2.3.1";
  two.sopInstanceUid = "1.2.3.2";
  two.seriesUid = "1.2.3.4.5.99";
  dir.Write("export/P1/S1/1.2.840.113619.2.55.3.1", fixture::BuildSimpleFile(one));
  dir.Write("export/P1/S2/IM0001.IMA", fixture::BuildSimpleFile(two));
  const std::string prose(300, 'x');
  dir.Write("export/P1/S2/notes.txt", std::vector<uint8_t>(prose.begin(), prose.end()));
}

TEST(TreeCommand, SaysWhatAFlatLoadLeavesOutAndLoadsTheWholeTreeWithR) {
  fixture::TempDir dir;
  WriteExport(dir);
  const fixture::ProgramRun flat = fixture::RunProgram({Tesmer(), "tree", dir.Join("export")});
  EXPECT_EQ(flat.exit, 0);
  EXPECT_EQ(flat.out, "");
  EXPECT_EQ(flat.err, "tesmer tree: 1 subfolders holding files were not loaded (-r loads them)\n");

  const fixture::ProgramRun tree = fixture::RunProgram({Tesmer(), "tree", "-r", dir.Join("export")});
  EXPECT_EQ(tree.exit, 0) << tree.err;
  EXPECT_EQ(tree.err, "");
  // One patient, a study per folder, and both files by their content.
  EXPECT_NE(tree.out.find("patient 1 "), std::string::npos) << tree.out;
  EXPECT_EQ(tree.out.find("patient 2 "), std::string::npos) << tree.out;
  const size_t first = tree.out.find(dir.Join("export/P1/S1/1.2.840.113619.2.55.3.1"));
  const size_t second = tree.out.find(dir.Join("export/P1/S2/IM0001.IMA"));
  EXPECT_NE(first, std::string::npos) << tree.out;
  EXPECT_NE(second, std::string::npos) << tree.out;
  EXPECT_LT(first, second);
  EXPECT_EQ(tree.out.find("notes.txt"), std::string::npos);
}

TEST(TreeCommand, AnonymizeWithRWritesACopyBesideEveryFolderOfTheTree) {
  fixture::TempDir dir;
  WriteExport(dir);
  const fixture::ProgramRun flat = fixture::RunProgram({Tesmer(), "anonymize", dir.Join("export/P1")});
  EXPECT_EQ(flat.out, "skipped: 2 subfolders holding files (-r loads them)\n"
                      "nothing to de-identify: no DICOM files were loaded\n");
  const fixture::ProgramRun run = fixture::RunProgram({Tesmer(), "anonymize", "-r", dir.Join("export/P1")});
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_EQ(run.out, "脱敏完成: 2 written, 0 failed\n");
  EXPECT_TRUE(fixture::FileExists(dir.Join("export/P1/S1__Anony/1.2.840.113619.2.55.3.1")));
  EXPECT_TRUE(fixture::FileExists(dir.Join("export/P1/S2__Anony/IM0001.IMA")));
  EXPECT_FALSE(fixture::FileExists(dir.Join("export/P1/S2__Anony/notes.txt")));
}

}  // namespace
