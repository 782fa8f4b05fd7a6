// The windowed program from the command line without a display: `tesmer
// --headless --screenshot FILE.png [--wide] PATH…`, which `make run` uses
// when there is no display, and its bad arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"

namespace {

// Width and height from a PNG file's header; {0, 0} when it is no PNG.
std::pair<uint32_t, uint32_t> PngSize(const std::vector<uint8_t>& b) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 24 || !std::equal(kSignature, kSignature + 8, b.begin())) return {0, 0};
  auto word = [&](size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
  };
  return {word(16), word(20)};
}

int RunTesmer(const std::vector<std::string>& args, const std::string& out = "") {
  pid_t pid = fixture::SpawnProgram(args, {}, out);
  return pid > 0 ? fixture::WaitForProgram(pid) : -1;
}

TEST(WindowProgramTest, HeadlessScreenshotOfTheNarrowAndTheWideWindow) {
  fixture::TempDir dir;
  const std::string study = dir.Join("demo");
  ASSERT_EQ(RunTesmer({TESMER_BIN, "demo", study}, dir.Join("demo.log")), 0);
  const std::string narrow = dir.Join("narrow.png");
  const std::string wide = dir.Join("wide.png");
  ASSERT_EQ(RunTesmer({TESMER_BIN, "--headless", "--screenshot", narrow, study}, dir.Join("out.log")), 0);
  ASSERT_EQ(RunTesmer({TESMER_BIN, "--headless", "--screenshot", wide, "--wide", study}, dir.Join("out.log")), 0);
  auto [narrowWidth, narrowHeight] = PngSize(fixture::ReadFileBytes(narrow));
  auto [wideWidth, wideHeight] = PngSize(fixture::ReadFileBytes(wide));
  EXPECT_GT(narrowWidth, 900u);
  EXPECT_GT(narrowHeight, 700u);
  // The picture is the client area of a window 1756 pixels wide.
  EXPECT_GT(wideWidth, 1700u);
  EXPECT_LT(wideWidth, 1756u);
  EXPECT_EQ(wideHeight, narrowHeight);
}

TEST(WindowProgramTest, BadArgumentsGetTheUsageAndStatusTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{TESMER_BIN, "--no-such-option"},
                                        std::vector<std::string>{TESMER_BIN, "--headless", "--screenshot"}}) {
    EXPECT_EQ(RunTesmer(args), 2) << args.back();
  }
}

}  // namespace
