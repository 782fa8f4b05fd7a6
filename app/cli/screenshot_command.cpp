// tesmer screenshot --out FILE.png [--width W --height H] [--current N]
//   [--compare M] [--hex ROW] [--collapse K] PATH…
// Loads the paths as a drop onto the window would, chooses the current and
// the compare file (N and M count the files of the file list from 1), opens
// the hex panel on tag row ROW (from 0), collapses patient K (from 1), paints
// the work panel headless through its own repaint into a window of W x H
// (default 1200 x 800) and saves that window as PNG.
// Exit status: 0 saved, 1 inputs not loaded or the picture not saved,
// 2 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/commands.h"
#include "app/cli/drop_loading.h"
#include "platform/core/text.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"
#include "views/show_work.h"

namespace {

constexpr std::u16string_view kWindowClass = u"TesmerScreenshot";

int Usage() {
  std::fputs(
      "usage: tesmer screenshot --out FILE.png [--width W --height H] [--current N] [--compare M]\n"
      "                         [--hex ROW] [--collapse K] PATH...\n"
      "  loads the paths as a drop onto the window would, chooses file N of the file list as\n"
      "  the current file and file M as the compare file (from 1), opens the bytes of tag\n"
      "  row ROW (from 0), collapses patient K (from 1), and saves the work panel as PNG\n",
      stderr);
  return 2;
}

// A whole decimal number within [low, high], or false.
bool ParseNumber(const char* text, long low, long high, long& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

struct Options {
  std::u16string out;
  long width = 1200;
  long height = 800;
  long current = 0;  // 0: none
  long compare = 0;
  long hex = -1;
  long collapse = 0;
  std::vector<std::u16string> paths;
};

// Fills `options` from the arguments; false for bad ones.
bool ParseOptions(int argc, char** argv, Options& options) {
  struct Numeric {
    const char* name;
    long* value;
    long low, high;
  } numerics[] = {
      {"--width", &options.width, 1, 8192},  {"--height", &options.height, 1, 8192},
      {"--current", &options.current, 1, INT32_MAX}, {"--compare", &options.compare, 1, INT32_MAX},
      {"--hex", &options.hex, 0, INT32_MAX},  {"--collapse", &options.collapse, 1, INT32_MAX},
  };
  bool optionsEnd = false;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (!optionsEnd && std::strcmp(a, "--") == 0) {
      optionsEnd = true;
      continue;
    }
    if (!optionsEnd && a[0] == '-') {
      if (i + 1 >= argc) return false;
      if (std::strcmp(a, "--out") == 0) {
        if (argv[i + 1][0] == '\0') return false;
        options.out = plat::PathFromNative(argv[++i]);
        continue;
      }
      bool known = false;
      for (const Numeric& n : numerics) {
        if (std::strcmp(a, n.name) != 0) continue;
        if (!ParseNumber(argv[++i], n.low, n.high, *n.value)) return false;
        known = true;
        break;
      }
      if (!known) return false;
      continue;
    }
    if (a[0] == '\0') return false;
    options.paths.push_back(DropPathOf(a));
  }
  return !options.out.empty() && !options.paths.empty();
}

// The serial of file n (from 1) in the order of the file list, or -1.
int32_t SerialOfListedFile(const ShowWork& panel, long n) {
  long k = 0;
  int32_t serial = -1;
  panel.collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    for (const DicomFile* file : series.shownFiles)
      if (++k == n && serial == -1) serial = file->serial;
  });
  return serial;
}

void Report(const char* what, const std::u16string& path) {
  std::fprintf(stderr, "tesmer screenshot: %s: ", what);
  PutPath(stderr, path);
  std::fputs("\n", stderr);
}

}  // namespace

int RunScreenshotCommand(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();

  int exitCode = 0;
  ShowWork panel;
  for (const NotLoaded& n : LoadPathsAsDrop(panel.collection, options.paths)) {
    Report(n.reason, n.path);
    exitCode = 1;
  }

  plat::WNDCLASSW windowClass;
  windowClass.name = std::u16string(kWindowClass);
  windowClass.proc = [](plat::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return plat::DefWindowProcW(window, message, wParam, lParam);
  };
  if (!plat::RegisterClassW(windowClass)) {
    std::fputs("tesmer screenshot: no window class\n", stderr);
    return 1;
  }
  // A borderless window whose client area is the panel, as the panel surface
  // of the main window is.
  plat::HWND window = plat::CreateWindowExW(0, kWindowClass, u"Tesmer", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0,
                                            static_cast<int>(options.width), static_cast<int>(options.height),
                                            plat::HWND{}, 0);
  if (!window) {
    std::fputs("tesmer screenshot: no window\n", stderr);
    return 1;
  }
  panel.SetWindows(window, window);
  panel.Redraw();  // lays the file list out and measures the tag rows

  struct Choice {
    long number;
    const char* name;
    void (ShowWork::*apply)(int32_t);
  } choices[] = {{options.current, "--current", &ShowWork::SetCurrentFile},
                 {options.compare, "--compare", &ShowWork::SetCompareFile}};
  for (const Choice& c : choices) {
    if (c.number == 0) continue;
    int32_t serial = SerialOfListedFile(panel, c.number);
    if (serial == -1) {
      std::fprintf(stderr, "tesmer screenshot: %s %ld: the file list has no such file\n", c.name, c.number);
      exitCode = 1;
      continue;
    }
    (panel.*c.apply)(serial);
    // A frame after each choice, as a user sees one after each click: the
    // single list of the current file sets the tag row height that the
    // comparison and the hex selection then use.
    panel.Redraw();
  }
  if (options.collapse > 0) {
    StudyCollection::ShapeReader reader(panel.collection);
    if (options.collapse <= reader.patients.length) {
      reader.patients[static_cast<int32_t>(options.collapse - 1)]->collapsed = 1;
    } else {
      std::fprintf(stderr, "tesmer screenshot: --collapse %ld: no such patient\n", options.collapse);
      exitCode = 1;
    }
  }
  if (options.hex >= 0) panel.hexRow = static_cast<int32_t>(options.hex);
  panel.Redraw();

  if (!plat::SaveWindowPng(window, options.out)) {
    Report("not saved", options.out);
    exitCode = 1;
  }
  plat::DestroyWindow(window);
  return exitCode;
}
