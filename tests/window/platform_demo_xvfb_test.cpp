// tesmer --platform-demo on a real X display: Xvfb is started, the demo runs
// on it, and a screenshot of the X root window (xwd) shows the dialog centred
// on the screen in its colours.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"

namespace {

using fixture::Rgb;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

TEST(PlatformDemoXvfbTest, DemoDialogAppearsCentredOnTheScreenInItsColours) {
  ASSERT_TRUE(fixture::PathExists("/usr/bin/Xvfb")) << "Xvfb is installed by tools/install-deps.sh";
  fixture::TempDir dir;
  fixture::XvfbServer server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.running());
  const std::string display = server.display();

  pid_t demo = fixture::SpawnProgram({TESMER_BIN, "--platform-demo", "--exit-after", "4000"}, {"DISPLAY=" + display});
  ASSERT_GT(demo, 0);

  // The face colour at the centre of the screen says the dialog is up.
  const Rgb face{34, 37, 43};
  const Rgb buttonFrame{3, 123, 131};
  fixture::XScreenshot shot;
  const std::string xwd = dir.Join("root.xwd");
  for (int attempt = 0; attempt < 40; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pid_t grab = fixture::SpawnProgram({"xwd", "-root", "-silent", "-display", display}, {}, xwd);
    if (grab < 0 || fixture::WaitForProgram(grab) != 0) continue;
    shot = fixture::ReadXwd(fixture::ReadFileBytes(xwd));
    if (shot.width == kScreenWidth && shot.At(kScreenWidth / 2, kScreenHeight / 2) == face) break;
  }
  const int demoStatus = fixture::WaitForProgram(demo);

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
  EXPECT_GT(shot.Count(buttonFrame), 300);
}

}  // namespace
