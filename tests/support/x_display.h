// Tests on a real X display: a private Xvfb server, programs started on it
// directly (no shell), and screenshots of its root window read from xwd's
// output.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fixture {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The root window as xwd writes it (ZPixmap, true colour).
struct XScreenshot {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  int Count(Rgb c) const {
    int n = 0;
    for (const Rgb& p : pixels) n += p == c;
    return n;
  }
};

inline uint32_t XwdWord(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

inline int MaskShift(uint32_t mask) {
  int s = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++s;
  }
  return s;
}

// Reads an xwd file; an empty result for anything it does not understand.
inline XScreenshot ReadXwd(const std::vector<uint8_t>& b) {
  XScreenshot shot;
  if (b.size() < 100) return shot;
  const uint32_t headerSize = XwdWord(b, 0), format = XwdWord(b, 8), width = XwdWord(b, 16),
                 height = XwdWord(b, 20), byteOrder = XwdWord(b, 28), bitsPerPixel = XwdWord(b, 44),
                 bytesPerLine = XwdWord(b, 48), red = XwdWord(b, 56), green = XwdWord(b, 60), blue = XwdWord(b, 64),
                 colours = XwdWord(b, 76);
  const uint32_t bytesPerPixel = bitsPerPixel / 8;
  if (format != 2 || (bytesPerPixel != 3 && bytesPerPixel != 4) || width == 0 || height == 0 || width > 16384 ||
      height > 16384 || bytesPerLine < width * bytesPerPixel) {
    return shot;
  }
  const uint64_t start = uint64_t(headerSize) + uint64_t(colours) * 12;
  if (start + uint64_t(bytesPerLine) * height > b.size()) return shot;
  shot.width = int(width);
  shot.height = int(height);
  shot.pixels.resize(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      size_t at = size_t(start) + size_t(y) * bytesPerLine + size_t(x) * bytesPerPixel;
      uint32_t v = 0;
      for (uint32_t i = 0; i < bytesPerPixel; ++i) {
        uint32_t byte = b[at + i];
        v |= byteOrder == 0 ? byte << (8 * i) : byte << (8 * (bytesPerPixel - 1 - i));
      }
      shot.pixels[size_t(y) * width + x] = Rgb{uint8_t((v & red) >> MaskShift(red)),
                                               uint8_t((v & green) >> MaskShift(green)),
                                               uint8_t((v & blue) >> MaskShift(blue))};
    }
  }
  return shot;
}

// Starts a program directly (no shell) with the environment of this process
// minus DISPLAY and SDL_VIDEODRIVER, plus `env`; stdout goes to `out` when
// given, stderr to /dev/null. -1 when it could not be started.
inline pid_t SpawnProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                          const std::string& out = "") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // A program on a real display loads the X11 and D-Bus client libraries,
  // which keep allocations of their own until exit (partly in libraries
  // already unloaded, so no suppression can name them). Leak checking of a
  // sanitized build is therefore off for such programs; the headless tests
  // check the system's own code for leaks.
  bool onDisplay = false;
  for (const std::string& e : env) onDisplay = onDisplay || e.rfind("DISPLAY=", 0) == 0;
  std::string asanOptions;
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string s(*e);
    if (s.rfind("DISPLAY=", 0) == 0 || s.rfind("SDL_VIDEODRIVER=", 0) == 0) continue;
    if (onDisplay && s.rfind("ASAN_OPTIONS=", 0) == 0) {
      asanOptions = s.substr(13);
      continue;
    }
    envStrings.push_back(s);
  }
  if (onDisplay) envStrings.push_back("ASAN_OPTIONS=" + asanOptions + (asanOptions.empty() ? "" : ":") + "detect_leaks=0");
  for (const std::string& e : env) envStrings.push_back(e);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit status of a started program, -1 when it did not exit normally.
inline int WaitForProgram(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// An Xvfb server on a display number it chooses itself (-displayfd), so that
// tests running side by side never race for one; stopped with the object.
class XvfbServer {
 public:
  XvfbServer(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-screen", "0",
                                     std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    char c;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) number_ = std::stoi(number);
  }
  ~XvfbServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      WaitForProgram(pid_);
    }
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return pid_ > 0 && number_ >= 0; }
  std::string display() const { return ":" + std::to_string(number_); }

 private:
  int number_ = -1;
  pid_t pid_ = -1;
};

}  // namespace fixture
