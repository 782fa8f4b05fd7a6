// `tesmer DIR` on a real X display: Xvfb is started, the demo study is
// written, the window opens on it, and a screenshot of the X root window
// (xwd) shows the window centred and painted: the face, the work panel with
// the loaded file list, the buttons' teal frames.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"

namespace {

using fixture::Rgb;

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1200;

const Rgb kFace{34, 37, 43};
const Rgb kPanel{18, 20, 23};
const Rgb kButtonFrame{3, 123, 131};
const Rgb kFileText{148, 152, 160};

// The columns x in [left, right) on row y whose colour is `c`.
int CountOnRow(const fixture::XScreenshot& s, int y, int left, int right, Rgb c) {
  int n = 0;
  for (int x = left; x < right; ++x) n += s.At(x, y) == c;
  return n;
}

TEST(MainWindowXvfbTest, WindowOpensOnTheDemoStudyCentredAndPainted) {
  ASSERT_TRUE(fixture::PathExists("/usr/bin/Xvfb")) << "Xvfb is installed by tools/install-deps.sh";
  ASSERT_TRUE(fixture::PathExists("/usr/bin/xwd")) << "xwd (x11-apps) is installed by tools/install-deps.sh";
  fixture::TempDir dir;
  const std::string study = dir.Join("demo-study");
  pid_t demo = fixture::SpawnProgram({TESMER_BIN, "demo", study}, {}, dir.Join("demo.log"));
  ASSERT_EQ(fixture::WaitForProgram(demo), 0);

  fixture::XvfbServer server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.running());
  pid_t window = fixture::SpawnProgram({TESMER_BIN, study}, {"DISPLAY=" + server.display()});
  ASSERT_GT(window, 0);

  // Waits until the window is up and its file list is drawn: the panel's
  // background at the centre and text of the list at its left.
  fixture::XScreenshot shot;
  const std::string xwd = dir.Join("root.xwd");
  bool painted = false;
  for (int attempt = 0; attempt < 100 && !painted; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pid_t grab = fixture::SpawnProgram({"xwd", "-root", "-silent", "-display", server.display()}, {}, xwd);
    if (grab < 0 || fixture::WaitForProgram(grab) != 0) continue;
    shot = fixture::ReadXwd(fixture::ReadFileBytes(xwd));
    painted = shot.width == kScreenWidth && shot.Count(kFileText) > 200 &&
              shot.At(kScreenWidth / 2, kScreenHeight / 2) == kPanel;
  }
  // The window is still running (it would ask before closing); it goes now.
  kill(window, SIGKILL);
  fixture::WaitForProgram(window);

  ASSERT_EQ(shot.width, kScreenWidth);
  ASSERT_EQ(shot.height, kScreenHeight);
  EXPECT_TRUE(painted);
  // Nothing but the window on the screen: the corners show the root window.
  EXPECT_EQ(shot.At(2, 2), Rgb{});
  EXPECT_EQ(shot.At(kScreenWidth - 3, kScreenHeight - 3), Rgb{});
  // Centred: its pixels span equally left and right of the screen's centre.
  const int y = kScreenHeight / 2;
  int left = kScreenWidth / 2, right = kScreenWidth / 2;
  while (left > 0 && !(shot.At(left - 1, y) == Rgb{})) --left;
  while (right < kScreenWidth - 1 && !(shot.At(right + 1, y) == Rgb{})) ++right;
  EXPECT_GT(right - left, 900);
  EXPECT_NEAR((left + right) / 2, kScreenWidth / 2, 3);
  // The window's own colours: the face of the button band, the panel, and
  // three visible buttons with their teal frames after the drop.
  int top = y;
  while (top > 0 && !(shot.At(left + 5, top - 1) == Rgb{})) --top;
  EXPECT_EQ(shot.At(left + 5, top + 1), kFace);
  EXPECT_GT(CountOnRow(shot, y, left, right + 1, kPanel), 400);
  EXPECT_GT(shot.Count(kButtonFrame), 4 * 60);
}

}  // namespace
