#include "app/tesmer_app.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/resources.h"
#include "app/tesmer_dlg.h"
#include "controls/message_box.h"
#include "platform/core/text.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/window/testing.h"

using namespace plat;

bool CTesmerApp::InitInstance() {
  // The common controls (the tooltip class among them) are part of the
  // window layer and registered with its first window; the settings key is
  // named but never written.
  registryKey = u"应用程序向导生成的本地应用程序";
  RegisterAppResources();
  {
    CTesmerDlg dialog;
    dialog.initialPaths = initialPaths;
    dialog.DoModal();
    // The dialog object goes here: buttons, brushes, then the panel.
  }
  return false;
}

namespace {

// A command-line path as the desktop would drop it: absolute, links left as
// named.
std::u16string DropPath(const char* argument) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(argument), ec);
  std::string native = ec ? std::string(argument) : absolute.lexically_normal().string();
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  return PathFromNative(native);
}

struct Options {
  bool headless = false;
  bool wide = false;
  const char* screenshot = nullptr;
  std::vector<std::u16string> paths;
};

int Usage() {
  std::fputs(
      "usage: tesmer [--headless] [--screenshot FILE.png [--wide]] [PATH...]\n"
      "  opens the window with the paths loaded as if dropped; with --screenshot it\n"
      "  loads them, shows the first two files of a series compared (in the wide\n"
      "  window with --wide), saves the window as PNG and exits\n",
      stderr);
  return 2;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      options.headless = true;
    } else if (std::strcmp(argv[i], "--wide") == 0) {
      options.wide = true;
    } else if (std::strcmp(argv[i], "--screenshot") == 0) {
      if (i + 1 >= argc) return false;
      options.screenshot = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      return false;
    } else {
      options.paths.push_back(DropPath(argv[i]));
    }
  }
  return true;
}

// The panel point of shown file `index` of a series, from the last frame.
POINT FileRowPoint(const SeriesEntry& series, int index) {
  return POINT{series.listRect.left + 8, series.listRect.top + index * series.listRowHeight + 2};
}

// Pumps until the loading has settled or `seconds` have passed.
bool PumpUntilSettled(const CTesmerDlg& dialog, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    PumpPendingMessages();
    if (dialog.LoadingSettled() && QueuedMessageCount() == 0) {
      PumpPendingMessages();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Loads the paths into the window, compares the first two files of the
// first series that has two, and saves the window as PNG.
int Screenshot(const Options& options) {
  CTesmerDlg dialog;
  dialog.initialPaths = options.paths;
  if (!dialog.Create()) {
    std::fputs("tesmer: the window could not be created\n", stderr);
    return 1;
  }
  HWND window = dialog.GetSafeHwnd();
  if (!PumpUntilSettled(dialog, 60)) std::fputs("tesmer: loading did not finish in time\n", stderr);
  dialog.panel.Redraw();
  PumpPendingMessages();

  const SeriesEntry* pair = nullptr;
  dialog.panel.collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    if (pair == nullptr && series.shownFiles.length >= 2) pair = &series;
  });
  HWND surface = dialog.GetDlgItem(kPanelSurfaceId);
  if (options.wide) {
    InjectClick(dialog.GetDlgItem(kWidthToggleId), POINT{3, 3}, 0);
    PumpPendingMessages();
    // The pointer leaves the toggle, which would otherwise stay lit.
    InjectMouseMove(surface, POINT{600, 600});
    PumpPendingMessages();
  }
  if (pair != nullptr) {
    InjectClick(surface, FileRowPoint(*pair, 0), 0);
    PumpPendingMessages();
    InjectClick(surface, FileRowPoint(*pair, 1), 1);
    PumpPendingMessages();
  }
  std::u16string out = PathFromNative(options.screenshot);
  bool saved = SaveWindowPng(window, out);
  if (!saved) {
    std::fprintf(stderr, "tesmer: could not write %s\n", options.screenshot);
    return 1;
  }
  std::printf("%s\n", options.screenshot);
  return 0;
}

}  // namespace

int RunWindowProgram(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();
  const bool headless = options.headless || HeadlessRequested(argc, argv) || options.screenshot != nullptr;
  if (!StartSdlPlatform(headless)) {
    std::fputs("tesmer: no display could be opened; try --headless --screenshot FILE.png\n", stderr);
    return 1;
  }
  int status = 0;
  if (options.screenshot != nullptr) {
    status = Screenshot(options);
  } else {
    CTesmerApp app;
    app.initialPaths = options.paths;
    app.InitInstance();
  }
  StopSdlPlatform();
  return status;
}
