// `tesmer anonymize PATH…` as a user runs it: what it prints and its exit
// status for written, failed and unloadable inputs and for bad arguments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The tesmer executable of the same build tree.
std::string Tesmer() { return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string(); }

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome Anonymize(const fixture::TempDir& dir, std::vector<std::string> args) {
  Outcome run;
  std::string log = dir.Join("stdout.log");
  args.insert(args.begin(), {Tesmer(), "anonymize"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::vector<uint8_t> bytes = fixture::ReadFileBytes(log);
  run.out.assign(bytes.begin(), bytes.end());
  fs::remove(log);
  return run;
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
  EXPECT_EQ(run.status, 0) << run.out;
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
  EXPECT_EQ(run.status, 1);
  const std::string expected = "not loaded: " + dir.Join("missing") + ": no such file or folder\n" +
                               "not loaded: " + dir.Join("plain.dcm") + ": not a readable DICOM file\n" +
                               "failed: " + dir.Join("blocked/a.dcm") + " -> " + dir.Join("blocked__Anony/a.dcm") +
                               ": the output file could not be written\n" +
                               "脱敏完成，1 个文件写入失败: 1 written, 1 failed, 2 not loaded\n";
  EXPECT_EQ(run.out, expected);
}

TEST(AnonymizeCommand, RefusesBadArguments) {
  fixture::TempDir dir;
  dir.Write("ct/a.dcm", fixture::BuildSimpleFile({}));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--bogus", "ct"}, {""}, {"--"}}) {
    Outcome run = Anonymize(dir, args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony")));
  // "--" ends the options: a folder named like one can still be given.
  dir.Write("-x/a.dcm", fixture::BuildSimpleFile({}));
  EXPECT_EQ(Anonymize(dir, {"--", "-x"}).status, 0);
  EXPECT_TRUE(fixture::FileExists(dir.Join("-x__Anony/a.dcm")));
  // An empty folder leaves nothing to do, which is not success.
  fs::create_directories(dir.Join("empty"));
  Outcome empty = Anonymize(dir, {"empty"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.out, "nothing to de-identify: no DICOM files were loaded\n");
}

}  // namespace
