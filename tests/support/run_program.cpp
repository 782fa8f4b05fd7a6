#include "tests/support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace fixture {

ProgramRun RunProgram(std::vector<std::string> args, const std::string& workingFolder) {
  ProgramRun run;
  if (args.empty()) return run;
  const TempDir capture;
  const std::string outPath = capture.Join("stdout"), errPath = capture.Join("stderr");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return run;
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const std::vector<uint8_t> out = ReadFileBytes(outPath), err = ReadFileBytes(errPath);
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  return run;
}

}  // namespace fixture
