// The shared state of the window layer. User-interface thread only.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/window/internal/window_impl.h"

namespace plat::internal {

struct MenuItem {
  uint32_t flags = 0;
  uintptr_t id = 0;
  std::u16string text;
};

struct MenuData {
  HWND owner;
  std::vector<MenuItem> items;
};

struct State {
  bool initialised = false;
  std::map<std::u16string, std::shared_ptr<WindowClass>> classes;
  std::vector<HWND> topLevels;  // z-order, topmost first
  HWND focus;
  HWND active;
  HWND capture;
  HWND tracked;
  HWND mainWindow;
  MouseState mouse;
  std::set<uint32_t> keysDown;

  struct Timer {
    HWND window;
    uintptr_t id = 0;
    uint32_t interval = 0;
    std::chrono::steady_clock::time_point due;
  };
  std::vector<Timer> timers;

  // The last button press, for double-clicks.
  struct Click {
    HWND window;
    int button = -1;
    uint32_t time = 0;
    POINT point;
  };
  Click lastClick;

  std::map<int, HBRUSH> sysBrushes;
  std::map<uint32_t, MenuData> menus;
  uint32_t lastMenuId = 0;
  HWND openMenu;
  std::vector<std::u16string> dropping;
};

State& S();

// Runs the loop until `done` answers true; 0 when WM_QUIT ended it (the
// quit request is posted again for the outer loop).
int RunModalLoopUntil(const std::function<bool()>& done);

}  // namespace plat::internal
