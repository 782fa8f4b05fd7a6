// Runs a file-system attempt without the powers of root, so that tests of
// read-only folders mean the same under root (containers, CI) as for a user.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace fixture {

// As an ordinary user the attempt runs in place. As root it runs in a forked
// child that has become the user "nobody" (65534); the folders it touches
// must be reachable for that user. Returns the attempt's result, or nullopt
// when the child could not give up its powers. Call it while the test runs no
// other threads.
inline std::optional<bool> RunUnprivileged(const std::function<bool()>& attempt) {
  if (::geteuid() != 0) return attempt();
  pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    ::_exit(attempt() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
  if (WEXITSTATUS(status) > 1) return std::nullopt;
  return WEXITSTATUS(status) == 0;
}

}  // namespace fixture
