// The window messages of the system itself, all addressed to the main window.
#pragma once

#include <cstdint>

#include "platform/core/messages.h"

enum : uint32_t {
  // Posted by the loader thread after every file: wParam the files loaded so
  // far in the run, lParam the number of candidates, or -1 when the run ended.
  WM_LOAD_PROGRESS = plat::WM_USER + 301,
  // Posted by the loader thread: repaint the work panel (wParam, lParam 0).
  WM_WORK_REDRAW = plat::WM_USER + 302,
  // Sent by the work panel when the user chose a current or compare file.
  WM_FILE_SELECTED = plat::WM_USER + 303,
  // Posted by the loader thread before the end of a run that left out
  // subfolders holding files (folders loaded without their subfolders):
  // wParam how many.
  WM_LOAD_SKIPPED = plat::WM_USER + 304,
};

static_assert(WM_LOAD_PROGRESS == 1325 && WM_WORK_REDRAW == 1326 && WM_FILE_SELECTED == 1327);
