// Modal boxes on a real X display while another thread keeps posting to the
// main window, as the loader does during a folder load: every post wakes the
// user-interface thread, and each box's window is destroyed soon after it was
// shown. Busy threads beside it load both cores, which is when a wake-up still
// on its way to a destroyed window used to end the process with an X error.
//
// Each run is a child process on a private Xvfb, so that a fatal X error
// (Xlib's default handler exits) shows as the child's exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/sdl/sdl_platform.h"
#include "platform/window/dialog.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"
#include "tests/support/x_display.h"

namespace {

using namespace plat;

constexpr uint32_t WM_PROGRESS = WM_USER + 301;
constexpr int kCycles = 150;
constexpr int kPosters = 2;
constexpr int kBusyThreads = 2;

DialogTemplate BoxTemplate() {
  DialogTemplate t;
  t.caption = u"确认";
  t.cx = 120;
  t.cy = 40;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.items.push_back(CText(u"清除？", -1, 10, 10, 100, 10));
  return t;
}

// The child's whole run; its return value becomes the exit status.
int RunPromptCycles() {
  if (!StartSdlPlatform(false)) return 10;
  std::atomic<long> progress{0};
  WNDCLASSW c;
  c.name = u"WakeupMain";
  c.proc = [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_PROGRESS) progress.fetch_add(1);
    return DefWindowProcW(h, m, w, l);
  };
  RegisterClassW(c);
  HWND main = CreateWindowExW(0, u"WakeupMain", u"主窗口", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 400, 300,
                              HWND{}, 0);
  if (!main) return 11;
  SetMainWindow(main);
  PumpPendingMessages();

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  // The posters: a steady stream, with pauses short enough that the
  // user-interface thread is often asleep when the next one comes.
  for (int k = 0; k < kPosters; ++k) threads.emplace_back([&] {
    long n = 0;
    while (!stop.load()) {
      PostMessageW(main, WM_PROGRESS, uintptr_t(n++), -1);
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
  // The load: both cores busy.
  for (int i = 0; i < kBusyThreads; ++i) {
    threads.emplace_back([&] {
      volatile unsigned long spin = 0;
      while (!stop.load()) spin = spin + 1;
    });
  }

  int ended = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    // The box ends itself after a short wait, as a quick Esc would.
    intptr_t code = DialogBoxIndirectParamW(
        BoxTemplate(), main,
        [](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
          if (m == WM_INITDIALOG) {
            SetTimer(h, 1, 1);
            return 1;
          }
          if (m == WM_TIMER) {
            KillTimer(h, 1);
            EndDialog(h, IDCANCEL);
            return 0;
          }
          return DefDlgProcW(h, m, w, l);
        },
        0);
    if (code == IDCANCEL) ++ended;
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  PumpPendingMessages();
  bool ok = ended == kCycles && progress.load() > 0 && IsWindow(main);
  StopSdlPlatform();
  return ok ? 0 : 12;
}

// A stale request's error, then a window that still answers.
int RunStaleRequest() {
  if (!StartSdlPlatform(false)) return 10;
  WNDCLASSW c;
  c.name = u"StaleMain";
  c.proc = [](HWND h, uint32_t m, uintptr_t w, intptr_t l) { return DefWindowProcW(h, m, w, l); };
  RegisterClassW(c);
  HWND main = CreateWindowExW(0, u"StaleMain", u"主窗口", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 200, 100,
                              HWND{}, 0);
  PumpPendingMessages();
  if (!InjectStaleWindowRequest()) return 11;
  PumpPendingMessages();
  bool ok = IsWindow(main) && SetWindowTextW(main, u"仍在");
  StopSdlPlatform();
  return ok ? 0 : 12;
}

// Runs `body` in a child process on a private Xvfb; its exit status.
// With `windowManager`, openbox manages the display first, as on a desktop.
template <typename Body>
int RunOnXvfb(Body body, bool windowManager) {
  fixture::XvfbServer server(1280, 800);
  if (!server.running()) return -2;
  pid_t manager = -1;
  if (windowManager) {
    manager = fixture::SpawnProgram({"openbox"}, {"DISPLAY=" + server.display()});
    // wmctrl answers once a manager has taken the display.
    for (int attempt = 0; attempt < 50; ++attempt) {
      pid_t probe = fixture::SpawnProgram({"wmctrl", "-m"}, {"DISPLAY=" + server.display()});
      if (probe > 0 && fixture::WaitForProgram(probe) == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  pid_t child = fork();
  if (child < 0) return -3;
  if (child == 0) {
    setenv("DISPLAY", server.display().c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
    // _exit: the child skips the parent's exit handlers (and leak checks of
    // the X client libraries' own allocations).
    _exit(body());
  }
  int status = 0;
  const bool waited = waitpid(child, &status, 0) == child;
  if (manager > 0) {
    kill(manager, SIGTERM);
    fixture::WaitForProgram(manager);
  }
  if (!waited) return -4;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ModalWakeupXvfbThreadsTest, ManyPromptCyclesWhileOtherThreadsPostEndNormally) {
  ASSERT_TRUE(fixture::PathExists("/usr/bin/Xvfb")) << "Xvfb is installed by tools/install-deps.sh";
  // 1: an X error ended the process; -1: a signal; 10-12: the run itself failed.
  ASSERT_TRUE(fixture::PathExists("/usr/bin/openbox")) << "openbox is installed by tools/install-deps.sh";
  EXPECT_EQ(RunOnXvfb(RunPromptCycles, true), 0);
}

TEST(ModalWakeupXvfbThreadsTest, AnXErrorAboutAWindowThatIsGoneIsHarmless) {
  ASSERT_TRUE(fixture::PathExists("/usr/bin/Xvfb")) << "Xvfb is installed by tools/install-deps.sh";
  EXPECT_EQ(RunOnXvfb(RunStaleRequest, false), 0);
}

}  // namespace
