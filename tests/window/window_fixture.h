// Shared set-up of the window tests: the SDL backend on the dummy video
// driver for the whole test program, a clean window state after every test,
// and a procedure that records the messages a window receives.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/sdl/sdl_platform.h"
#include "platform/window/dialog.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"

namespace tesmer_test {

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_TRUE(plat::StartSdlPlatform(true));
  }
  static void TearDownTestSuite() { plat::StopSdlPlatform(); }
  void TearDown() override { plat::ResetWindowState(); }
};

struct Received {
  plat::HWND window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// Records every message of interest, then lets `next` (or the default
// procedure) handle it. The record is shared with the procedure, so windows
// that outlive the log never call into freed memory.
class MessageLog {
 public:
  explicit MessageLog(std::vector<uint32_t> interesting)
      : data_(std::make_shared<Data>(Data{std::move(interesting), {}})), received(data_->received) {}

  plat::WindowProc Proc(plat::WindowProc next = {}) {
    std::shared_ptr<Data> data = data_;
    return [data, next](plat::HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
      for (uint32_t i : data->interesting) {
        if (i == m) {
          data->received.push_back(Received{h, m, w, l});
          break;
        }
      }
      return next ? next(h, m, w, l) : plat::DefWindowProcW(h, m, w, l);
    };
  }

  std::vector<uint32_t> Messages() const {
    std::vector<uint32_t> out;
    for (const Received& r : received) out.push_back(r.message);
    return out;
  }

 private:
  struct Data {
    std::vector<uint32_t> interesting;
    std::vector<Received> received;
  };
  std::shared_ptr<Data> data_;

 public:
  std::vector<Received>& received;
};

// Destroys every window when it goes out of scope: declared after the
// locals that window procedures capture, it ends the windows before them.
struct DestroyWindowsAtEnd {
  ~DestroyWindowsAtEnd() { plat::ResetWindowState(); }
};

// Registers a class whose windows answer with `proc`.
inline void RegisterTestClass(const char16_t* name, plat::WindowProc proc, uint32_t style = 0,
                              plat::HBRUSH background = nullptr) {
  plat::WNDCLASSW c;
  c.name = name;
  c.proc = std::move(proc);
  c.style = style;
  c.background = background;
  plat::RegisterClassW(c);
}

}  // namespace tesmer_test
