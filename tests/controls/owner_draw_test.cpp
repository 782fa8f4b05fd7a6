#include "controls/owner_draw.h"

#include <gtest/gtest.h>

#include "platform/window/testing.h"
#include "platform/window/window.h"

#include <string>
#include <vector>


using plat::RGB;

namespace {

// A memory context with a bitmap selected: the target a frame is copied to.
class Target {
 public:
  Target(int w, int h, plat::COLORREF fill = RGB(0, 0, 0)) : w_(w), h_(h) {
    dc_ = plat::CreateCompatibleDC(nullptr);
    bitmap_ = plat::CreateCompatibleBitmap(dc_, w, h);
    previous_ = plat::SelectObject(dc_, bitmap_);
    plat::HBRUSH brush = plat::CreateSolidBrush(fill);
    plat::FillRect(dc_, plat::RECT{0, 0, w, h}, brush);
    plat::DeleteObject(brush);
  }
  ~Target() {
    plat::SelectObject(dc_, previous_);
    plat::DeleteObject(bitmap_);
    plat::DeleteDC(dc_);
  }
  plat::HDC dc() const { return dc_; }
  // Pixels inside r that are not `colour`.
  int CountOther(const plat::RECT& r, plat::COLORREF colour) const {
    int n = 0;
    for (int y = r.top; y < r.bottom && y < h_; ++y)
      for (int x = r.left; x < r.right && x < w_; ++x) n += plat::GetPixel(dc_, x, y) != colour;
    return n;
  }

 private:
  int w_, h_;
  plat::HDC dc_;
  plat::HBITMAP bitmap_;
  plat::HGDIOBJ previous_;
};

// A surface that records the order of its slots and draws a marker, rendered
// into a memory context of the test's own.
class Probe : public vxOnwerDraw {
 public:
  std::vector<std::string> calls;
  plat::COLORREF firstPixelSeen = plat::CLR_INVALID;
  bool drawMarker = true;

  void ClearBackground() override {
    calls.push_back("ClearBackground");
    vxOnwerDraw::ClearBackground();
  }
  void DrawContent() override {
    calls.push_back("DrawContent");
    firstPixelSeen = plat::GetPixel(memoryContext, 0, 0);
    if (!drawMarker) return;
    plat::HBRUSH brush = plat::CreateSolidBrush(RGB(200, 10, 10));
    plat::FillRect(memoryContext, plat::RECT{10, 10, 20, 20}, brush);
    plat::DeleteObject(brush);
  }
  void Paint(plat::HDC target, int w, int h) { PaintFrame(target, w, h); }
};

TEST(PixelBuffer, GrowsOnlyBeyondItsAllocationAndNeverShrinks) {
  PixelBuffer buffer;
  struct Step {
    int32_t w, h;
    int32_t capacity, size, stride;
    bool sameAllocation;  // the data pointer stays the one of the step before
  } steps[] = {
      {800, 600, 1920000, 1920000, 3200, false},
      {400, 300, 1920000, 480000, 1600, true},
      {800, 600, 1920000, 1920000, 3200, true},
      {800, 600, 1920000, 1920000, 3200, true},
      {801, 600, 1922400, 1922400, 3204, false},
      {0, 600, 1922400, 0, 0, true},
  };
  uint8_t* last = nullptr;
  for (const Step& s : steps) {
    buffer.Resize(s.w, s.h);
    EXPECT_EQ(buffer.width, s.w);
    EXPECT_EQ(buffer.height, s.h);
    EXPECT_EQ(buffer.stride, s.stride) << s.w << "x" << s.h;
    EXPECT_EQ(buffer.capacity, s.capacity) << s.w << "x" << s.h;
    EXPECT_EQ(buffer.size, s.size) << s.w << "x" << s.h;
    if (s.sameAllocation) {
      EXPECT_EQ(buffer.data, last) << s.w << "x" << s.h;
    }
    last = buffer.data;
  }
}

TEST(PixelBuffer, ZeroSizeAllocatesNothingAndHugeSizesDoNotWrap) {
  PixelBuffer buffer;
  buffer.Resize(0, 0);
  EXPECT_EQ(buffer.data, nullptr);
  EXPECT_EQ(buffer.capacity, 0);
  buffer.Resize(40000, 40000);  // 6.4e9 bytes: not describable in 32 bits
  EXPECT_EQ(buffer.data, nullptr);
  EXPECT_EQ(buffer.size, 0);
  EXPECT_EQ(buffer.capacity, 0);
}

TEST(OwnerDraw, RedrawWithoutWindowsDoesNothing) {
  Probe probe;
  probe.Redraw();
  EXPECT_TRUE(probe.calls.empty());
  EXPECT_EQ(probe.memoryContext, nullptr);
  EXPECT_EQ(probe.frameBuffer.data, nullptr);
}

TEST(OwnerDraw, FrameStartsFromTheBackgroundAndReachesTheTargetWhole) {
  Target target(64, 48, RGB(1, 2, 3));
  Probe probe;
  probe.Paint(target.dc(), 64, 48);
  EXPECT_EQ(probe.calls, (std::vector<std::string>{"ClearBackground", "DrawContent"}));
  EXPECT_EQ(probe.firstPixelSeen, RGB(0, 0, 0));
  // The base background is black everywhere the content did not draw.
  EXPECT_EQ(target.CountOther(plat::RECT{0, 0, 64, 48}, RGB(0, 0, 0)), 100);
  EXPECT_EQ(target.CountOther(plat::RECT{10, 10, 20, 20}, RGB(200, 10, 10)), 0);
  // The memory context draws with a transparent background.
  EXPECT_EQ(plat::GetBkMode(probe.memoryContext), plat::TRANSPARENT);
}

TEST(OwnerDraw, EmptyContentShowsBlack) {
  Target target(32, 32, RGB(90, 90, 90));
  Probe probe;
  probe.drawMarker = false;
  probe.Paint(target.dc(), 32, 32);
  EXPECT_EQ(target.CountOther(plat::RECT{0, 0, 32, 32}, RGB(0, 0, 0)), 0);
}

TEST(OwnerDraw, RepeatedFramesCreateNoLastingObjects) {
  Target target(120, 80);
  Probe probe;
  probe.Paint(target.dc(), 120, 80);  // the first frame makes the memory context
  plat::GdiObjectCounts after = plat::GetGdiObjectCounts();
  int32_t capacity = probe.frameBuffer.capacity;
  uint8_t* data = probe.frameBuffer.data;
  for (int i = 0; i < 2000; ++i) probe.Paint(target.dc(), 120 - i % 3, 80);
  EXPECT_EQ(plat::GetGdiObjectCounts(), after);
  EXPECT_EQ(probe.frameBuffer.capacity, capacity);
  EXPECT_EQ(probe.frameBuffer.data, data);
}

TEST(OwnerDraw, DestructionReleasesTheMemoryContext) {
  plat::GdiObjectCounts before = plat::GetGdiObjectCounts();
  {
    Target target(16, 16);
    Probe probe;
    probe.Paint(target.dc(), 16, 16);
    EXPECT_GT(plat::GetGdiObjectCounts().contexts, before.contexts + 1);
  }
  EXPECT_EQ(plat::GetGdiObjectCounts(), before);
}

// A borderless top-level window of the headless window layer as the target.
class OwnerDrawWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::WNDCLASSW windowClass;
    windowClass.name = u"OwnerDrawTarget";
    windowClass.proc = [](plat::HWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return plat::DefWindowProcW(w, m, wp, lp); };
    ASSERT_TRUE(plat::RegisterClassW(windowClass));
    window = plat::CreateWindowExW(0, u"OwnerDrawTarget", u"", plat::WS_POPUP | plat::WS_VISIBLE, 10, 10, 800, 600,
                                   plat::HWND{}, 0);
    ASSERT_TRUE(window);
  }
  void TearDown() override { plat::ResetWindowState(); }
  plat::HWND window;
};

TEST_F(OwnerDrawWindow, RedrawPaintsTheWholeClientArea) {
  Probe probe;
  probe.SetWindows(window, window);
  probe.Redraw();
  EXPECT_EQ(probe.calls, (std::vector<std::string>{"ClearBackground", "DrawContent"}));
  EXPECT_EQ(probe.frameBuffer.width, 800);
  EXPECT_EQ(probe.frameBuffer.height, 600);
  EXPECT_EQ(plat::GetWindowPixel(window, 15, 15), RGB(200, 10, 10));
  EXPECT_EQ(plat::GetWindowPixel(window, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(plat::GetWindowPixel(window, 799, 599), RGB(0, 0, 0));
}

TEST_F(OwnerDrawWindow, BufferFollowsTheWindowAndKeepsItsAllocation) {
  Probe probe;
  probe.SetWindows(window, window);
  probe.Redraw();
  EXPECT_EQ(probe.frameBuffer.capacity, 1920000);
  uint8_t* data = probe.frameBuffer.data;
  ASSERT_TRUE(plat::MoveWindow(window, 10, 10, 400, 300, false));
  probe.Redraw();
  EXPECT_EQ(probe.frameBuffer.capacity, 1920000);
  EXPECT_EQ(probe.frameBuffer.size, 480000);
  ASSERT_TRUE(plat::MoveWindow(window, 10, 10, 800, 600, false));
  probe.Redraw();
  EXPECT_EQ(probe.frameBuffer.data, data);
  ASSERT_TRUE(plat::MoveWindow(window, 10, 10, 801, 600, false));
  probe.Redraw();
  EXPECT_EQ(probe.frameBuffer.capacity, 1922400);
  EXPECT_EQ(plat::GetWindowPixel(window, 800, 599), RGB(0, 0, 0));
}

TEST_F(OwnerDrawWindow, ThousandsOfRepaintsLeaveTheObjectCountUnchanged) {
  Probe probe;
  probe.SetWindows(window, window);
  probe.Redraw();
  const plat::GdiObjectCounts counts = plat::GetGdiObjectCounts();
  for (int i = 0; i < 3000; ++i) probe.Redraw();
  EXPECT_EQ(plat::GetGdiObjectCounts(), counts);
}

TEST_F(OwnerDrawWindow, ADestroyedTargetIsNotPainted) {
  Probe probe;
  probe.SetWindows(window, window);
  plat::DestroyWindow(window);
  probe.Redraw();
  EXPECT_TRUE(probe.calls.empty());
  EXPECT_EQ(probe.memoryContext, nullptr);
}

}  // namespace
