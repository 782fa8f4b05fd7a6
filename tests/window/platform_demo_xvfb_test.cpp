// tesmer --platform-demo on a real X display: Xvfb is started, the demo runs
// on it, and a screenshot of the X root window (xwd) shows the dialog centred
// on the screen in its colours.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The root window as xwd writes it (ZPixmap, true colour).
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

uint32_t BigEndian(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

int Shift(uint32_t mask) {
  int s = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++s;
  }
  return s;
}

// Reads an xwd file; an empty result for anything it does not understand.
Screenshot ReadXwd(const std::vector<uint8_t>& b) {
  Screenshot shot;
  if (b.size() < 100) return shot;
  const uint32_t headerSize = BigEndian(b, 0), format = BigEndian(b, 8), width = BigEndian(b, 16),
                 height = BigEndian(b, 20), byteOrder = BigEndian(b, 28), bitsPerPixel = BigEndian(b, 44),
                 bytesPerLine = BigEndian(b, 48), red = BigEndian(b, 56), green = BigEndian(b, 60),
                 blue = BigEndian(b, 64), colours = BigEndian(b, 76);
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
      shot.pixels[size_t(y) * width + x] =
          Rgb{uint8_t((v & red) >> Shift(red)), uint8_t((v & green) >> Shift(green)), uint8_t((v & blue) >> Shift(blue))};
    }
  }
  return shot;
}

// Starts a program directly (no shell); stdout goes to `out` when given.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out = "") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string s(*e);
    if (s.rfind("DISPLAY=", 0) == 0 || s.rfind("SDL_VIDEODRIVER=", 0) == 0) continue;
    envStrings.push_back(s);
  }
  for (const std::string& e : env) envStrings.push_back(e);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A display number nobody uses.
int FreeDisplay() {
  for (int n = 140 + int(getpid() % 50); n < 400; ++n) {
    if (!Exists("/tmp/.X" + std::to_string(n) + "-lock") && !Exists("/tmp/.X11-unix/X" + std::to_string(n))) return n;
  }
  return -1;
}

TEST(PlatformDemoXvfbTest, DemoDialogAppearsCentredOnTheScreenInItsColours) {
  ASSERT_TRUE(Exists("/usr/bin/Xvfb")) << "Xvfb is installed by tools/install-deps.sh";
  fixture::TempDir dir;
  const int number = FreeDisplay();
  ASSERT_GT(number, 0);
  const std::string display = ":" + std::to_string(number);
  pid_t server = Spawn({"Xvfb", display, "-screen", "0",
                        std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24", "-nolisten",
                        "tcp"},
                       {});
  ASSERT_GT(server, 0);
  for (int i = 0; i < 100 && !Exists("/tmp/.X11-unix/X" + std::to_string(number)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  pid_t demo = Spawn({TESMER_BIN, "--platform-demo", "--exit-after", "4000"}, {"DISPLAY=" + display});
  ASSERT_GT(demo, 0);

  // The face colour at the centre of the screen says the dialog is up.
  const Rgb face{34, 37, 43};
  const Rgb buttonFrame{3, 123, 131};
  Screenshot shot;
  const std::string xwd = dir.Join("root.xwd");
  for (int attempt = 0; attempt < 40; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pid_t grab = Spawn({"xwd", "-root", "-silent", "-display", display}, {}, xwd);
    if (grab < 0 || WaitFor(grab) != 0) continue;
    shot = ReadXwd(fixture::ReadFileBytes(xwd));
    if (shot.width == kScreenWidth && shot.At(kScreenWidth / 2, kScreenHeight / 2) == face) break;
  }
  const int demoStatus = WaitFor(demo);
  kill(server, SIGTERM);
  WaitFor(server);

  EXPECT_EQ(demoStatus, 0);
  ASSERT_EQ(shot.width, kScreenWidth);
  ASSERT_EQ(shot.height, kScreenHeight);
  EXPECT_EQ(shot.At(kScreenWidth / 2, kScreenHeight / 2), face);
  // Nothing but the dialog on the screen: the corners show the root window.
  EXPECT_EQ(shot.At(2, 2), Rgb{});
  EXPECT_EQ(shot.At(kScreenWidth - 3, kScreenHeight - 3), Rgb{});
  // The dialog is centred: its face spans equally left and right of the centre.
  int left = kScreenWidth / 2, right = kScreenWidth / 2;
  while (left > 0 && !(shot.At(left - 1, kScreenHeight / 2) == Rgb{})) --left;
  while (right < kScreenWidth - 1 && !(shot.At(right + 1, kScreenHeight / 2) == Rgb{})) ++right;
  EXPECT_GT(right - left, 200);
  EXPECT_NEAR((left + right) / 2, kScreenWidth / 2, 3);
  // Two owner-drawn buttons with their teal frames.
  int frame = 0;
  for (const Rgb& p : shot.pixels) frame += p == buttonFrame;
  EXPECT_GT(frame, 300);
}

}  // namespace
