// Opening a web address: xdg-open is started directly, with the address as
// one argument that no shell ever reads.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/window/window.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace plat;

// Puts a stand-in xdg-open first on PATH that writes its arguments, one per
// line, beside itself.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    oldPath_ = path != nullptr ? path : "";
    std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + dir_.Join("opened.tmp") +
                         "\"\nmv \"" + dir_.Join("opened.tmp") + "\" \"" + dir_.Join("opened.txt") + "\"\n";
    std::string opener = dir_.Write("bin/xdg-open", std::vector<uint8_t>(script.begin(), script.end()));
    chmod(opener.c_str(), 0755);
    setenv("PATH", (dir_.Join("bin") + ":" + oldPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }

  std::string WaitForOpened() {
    for (int i = 0; i < 200; ++i) {
      if (fixture::FileExists(dir_.Join("opened.txt"))) {
        auto bytes = fixture::ReadFileBytes(dir_.Join("opened.txt"));
        return std::string(bytes.begin(), bytes.end());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }

  fixture::TempDir dir_;
  std::string oldPath_;
};

TEST_F(ShellTest, OpenStartsXdgOpenWithTheAddressAsOneArgument) {
  const std::u16string address = u"https://example.org/a b?x=1;touch \"$HOME\"/pwned&y=`id`";
  EXPECT_GT(ShellExecuteW(HWND{}, u"open", address, u"", u"", 1), 32);
  EXPECT_EQ(WaitForOpened(), "https://example.org/a b?x=1;touch \"$HOME\"/pwned&y=`id`\n");
}

TEST_F(ShellTest, OtherVerbsAndAMissingOpenerFail) {
  EXPECT_LE(ShellExecuteW(HWND{}, u"print", u"https://example.org", u"", u"", 1), 32);
  EXPECT_LE(ShellExecuteW(HWND{}, u"open", u"", u"", u"", 1), 32);
  setenv("PATH", dir_.Join("nothing-here").c_str(), 1);
  EXPECT_LE(ShellExecuteW(HWND{}, u"open", u"https://example.org", u"", u"", 1), 32);
  EXPECT_FALSE(fixture::FileExists(dir_.Join("opened.txt")));
}

}  // namespace
