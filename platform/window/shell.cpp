// Opening a file or web address with the desktop's default application:
// xdg-open, started directly (fork and exec, no shell), in a grandchild so
// that no zombie is left behind and the caller never waits for the browser.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/core/text.h"
#include "platform/window/window.h"

namespace plat {

namespace {

// Result codes of ShellExecuteW: above 32 is success.
constexpr intptr_t kOpened = 42;
constexpr intptr_t kFileNotFound = 2;
constexpr intptr_t kNoAssociation = 31;

}  // namespace

intptr_t ShellExecuteW(HWND window, std::u16string_view verb, std::u16string_view file,
                       std::u16string_view parameters, std::u16string_view directory, int showCommand) {
  if (!verb.empty() && verb != u"open") return kNoAssociation;
  if (file.empty()) return kFileNotFound;
  const std::string target = PathToNative(file);

  // The exec failure (errno) comes back through a pipe that closes on a
  // successful exec.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return kNoAssociation;
  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return kNoAssociation;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(target.c_str()), nullptr};
    execvp(program, argv);
    int error = errno;
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error)) return error == ENOENT ? kFileNotFound : kNoAssociation;
  return kOpened;
}

}  // namespace plat
