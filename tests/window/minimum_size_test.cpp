// The minimum size of a resizable window reaches the native window system
// before the window is first shown, with the tracking size the window's
// procedure answers once it is set up (a dialog, after WM_INITDIALOG).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/dialog.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"

namespace {

using namespace plat;

// A backend that only records what it is told, in order.
class RecordingBackend final : public WindowBackend {
 public:
  void SetMinimumSize(HWND, SIZE size) override { calls.push_back("minimum " + std::to_string(size.cx) + "x" + std::to_string(size.cy)); }
  void ShowNative(HWND, bool show) override {
    if (show) calls.push_back("show");
  }
  RECT ScreenRect() override { return RECT{0, 0, 1920, 1080}; }
  void WaitEvents(uint32_t) override {}
  void Wake() override {}
  std::vector<std::string> calls;
};

TEST(MinimumSize, IsToldBeforeTheFirstShowWithTheAnswerAfterInitialisation) {
  RecordingBackend backend;
  SetWindowBackend(&backend);
  DialogTemplate t;
  t.caption = u"可调";
  t.cx = 200;
  t.cy = 100;
  t.style = WS_POPUP | WS_CAPTION | WS_THICKFRAME;  // hidden until shown
  bool initialised = false;
  HWND dialog = CreateDialogIndirectParamW(
      t, HWND{},
      [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
        if (m == WM_INITDIALOG) initialised = true;
        if (m == WM_GETMINMAXINFO && initialised) {
          auto* info = reinterpret_cast<MINMAXINFO*>(l);
          info->ptMinTrackSize = POINT{300, 200};
          return 0;
        }
        return DefDlgProcW(h, m, w, l);
      },
      0);
  ASSERT_TRUE(dialog);
  ShowWindow(dialog, SW_SHOW);
  // The last minimum told before the first "show" is the procedure's own
  // (in client pixels, so below 300 x 200 by the frame).
  std::string lastMinimum;
  for (const std::string& call : backend.calls) {
    if (call == "show") break;
    if (call.rfind("minimum ", 0) == 0) lastMinimum = call;
  }
  ASSERT_FALSE(lastMinimum.empty());
  int cx = 0, cy = 0;
  ASSERT_EQ(std::sscanf(lastMinimum.c_str(), "minimum %dx%d", &cx, &cy), 2);
  EXPECT_GT(cx, 250);
  EXPECT_GT(cy, 150);
  EXPECT_LE(cx, 300);
  EXPECT_LE(cy, 200);
  DestroyWindow(dialog);
  SetWindowBackend(nullptr);
  ResetWindowState();
}

}  // namespace
