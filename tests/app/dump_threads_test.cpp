// `tesmer dump` over many files analyses them on worker threads: its output
// must be exactly the outputs of the files dumped one at a time, in the order
// given (under ThreadSanitizer the child process also fails on any race).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

struct Outcome {
  int exit = -1;
  std::string out, err;
};

Outcome Dump(const fixture::TempDir& dir, std::vector<std::string> args) {
  Outcome run;
  const std::string outPath = dir.Join("stdout.txt"), errPath = dir.Join("stderr.txt");
  args.insert(args.begin(), {TESMER_BIN, "dump"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const std::vector<uint8_t> out = fixture::ReadFileBytes(outPath), err = fixture::ReadFileBytes(errPath);
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  return run;
}

TEST(DumpThreads, ManyFilesGiveTheOutputsOfSingleRunsInOrder) {
  fixture::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    fixture::SimpleFile spec;
    spec.encoding = i % 3 == 0 ? fixture::Encoding::ImplicitLittle
                    : i % 3 == 1 ? fixture::Encoding::ExplicitBig
                                 : fixture::Encoding::ExplicitLittle;
    spec.patientName = "PATIENT^" + std::to_string(i);
    spec.pixelBytes = static_cast<uint32_t>(16 + 4096 * (i % 5));
    paths.push_back(dir.Write("f" + std::to_string(i) + ".dcm", fixture::BuildSimpleFile(spec)));
    if (i % 9 == 4) paths.push_back(dir.Join("missing" + std::to_string(i) + ".dcm"));
  }
  for (const char* mode : {"--json", "--log", ""}) {
    SCOPED_TRACE(mode);
    std::string expectedOut, expectedErr;
    for (const std::string& p : paths) {
      std::vector<std::string> args;
      if (*mode) args.push_back(mode);
      args.push_back(p);
      Outcome single = Dump(dir, args);
      ASSERT_EQ(single.exit, 0) << single.err;
      expectedOut += single.out;
      expectedErr += single.err;
    }
    std::vector<std::string> args;
    if (*mode) args.push_back(mode);
    args.insert(args.end(), paths.begin(), paths.end());
    Outcome all = Dump(dir, args);
    ASSERT_EQ(all.exit, 0) << all.err;
    EXPECT_EQ(all.out, expectedOut);
    EXPECT_EQ(all.err, expectedErr);
  }
}

}  // namespace
