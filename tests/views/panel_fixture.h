// A work panel for tests: files added from bytes built in code, frames
// painted through the panel's own repaint into a headless window, pixels
// probed at the places the layout computes, and an owner window that counts
// the panel's selection notices.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/dicom_file.h"
#include "platform/core/messages.h"
#include "platform/gdi/gdi.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"
#include "tests/support/dicom_builder.h"
#include "views/show_work.h"

namespace viewtest {

using plat::COLORREF;
using plat::POINT;
using plat::RECT;

constexpr uintptr_t kLeftButton = 0x0001;  // MK_LBUTTON
constexpr COLORREF kBackground = 0x171412;  // RGB(18, 20, 23) as a COLORREF

// A file of one patient, study and series, with the given instance number
// making each file's UID its own.
inline std::vector<uint8_t> PatientFile(const std::string& patient, const std::string& series = "1.2.3.4.5.6",
                                        int instance = 1, uint32_t pixelBytes = 16) {
  fixture::SimpleFile recipe;
  recipe.patientName = patient;
  recipe.patientId = "ID-" + patient;
  recipe.seriesUid = series;
  recipe.sopInstanceUid = "1.2.3.4.5.6.7." + std::to_string(instance);
  recipe.pixelBytes = pixelBytes;
  return fixture::BuildSimpleFile(recipe);
}

class PanelTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 1200;
  static constexpr int kHeight = 800;

  void SetUp() override {
    owner_ = plat::CreateMessageWindow([this](plat::HWND, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
      if (message == WM_FILE_SELECTED) announced.push_back(panel.selectedPath);
      return 0;
    });
    // The panel paints a borderless headless window, as the panel surface of
    // the main window.
    plat::WNDCLASSW windowClass;
    windowClass.name = u"PanelTestSurface";
    windowClass.proc = [](plat::HWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return plat::DefWindowProcW(w, m, wp, lp); };
    ASSERT_TRUE(plat::RegisterClassW(windowClass));
    target_ = plat::CreateWindowExW(0, u"PanelTestSurface", u"", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, kWidth, kHeight,
                                    plat::HWND{}, 0);
    ASSERT_TRUE(target_);
    panel.SetWindows(target_, owner_);
  }
  void TearDown() override {
    plat::DestroyWindow(target_);
    plat::DestroyWindow(owner_);
    plat::DiscardQueuedMessages();
  }

  // Adds a file analysed from bytes under `path`; returns its serial. It is
  // shown from the next frame on.
  int32_t Add(const std::vector<uint8_t>& bytes, const std::u16string& path) {
    auto* file = new DicomFile;
    file->AnalyseBytes(path, bytes.data(), bytes.size());
    int32_t serial = file->serial;
    EXPECT_TRUE(panel.collection.AddAnalysedFile(file)) << "status " << file->status;
    return serial;
  }

  // Repaints the panel and reads the window's pixels back.
  void Frame() {
    panel.Redraw();
    pixels_ = plat::CopyWindowPixels(target_);
    ASSERT_EQ(pixels_.width, kWidth);
    ASSERT_EQ(pixels_.height, kHeight);
  }

  COLORREF At(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixels_.width || y >= pixels_.height) return plat::CLR_INVALID;
    return plat::ColorFromPixel(pixels_.At(x, y));
  }

  // Pixels of exactly `colour` inside r.
  int Count(const RECT& r, COLORREF colour) const {
    int n = 0;
    for (int y = std::max(0, r.top); y < std::min(kHeight, r.bottom); ++y)
      for (int x = std::max(0, r.left); x < std::min(kWidth, r.right); ++x) n += At(x, y) == colour;
    return n;
  }

  // The bounding box of the pixels of `colour` inside `within`; empty when none.
  RECT Box(COLORREF colour, const RECT& within = RECT{0, 0, kWidth, kHeight}) const {
    RECT box{within.right, within.bottom, within.left, within.top};
    for (int y = std::max(0, within.top); y < std::min(kHeight, within.bottom); ++y)
      for (int x = std::max(0, within.left); x < std::min(kWidth, within.right); ++x) {
        if (At(x, y) != colour) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
    if (box.left >= box.right) box = RECT{};
    return box;
  }

  // Extent of a text in the panel's font.
  plat::SIZE Extent(std::u16string_view text) {
    plat::HDC dc = plat::CreateCompatibleDC(nullptr);
    plat::HGDIOBJ previous = plat::SelectObject(dc, CachedFont(u"宋体", 12, 400));
    plat::SIZE size = plat::GetTextExtentPoint32W(dc, text);
    plat::SelectObject(dc, previous);
    plat::DeleteDC(dc);
    return size;
  }
  int TextHeight() { return Extent(u"test").cy; }

  // A click: press, release without movement.
  void Click(POINT p) {
    panel.MouseMove(0, p);
    panel.LeftDown(kLeftButton, p);
    panel.LeftUp(0, p);
  }
  void RightClick(POINT p) { panel.RightUp(0, p); }

  // Whether the pixels of `area` are exactly those of `text` drawn in
  // `colour` over the background (the panel's unless given): with TextOutW at
  // `at`, or with DrawTextW into `cell` in the given format.
  bool ShowsTextAt(POINT at, std::u16string_view text, COLORREF colour, const RECT& area,
                   COLORREF background = kBackground) {
    return SameAsReference(area, [&](plat::HDC dc) { plat::TextOutW(dc, at.x, at.y, text); }, colour, background);
  }
  // `clipRight` (when positive) limits the compared area on the right, for a
  // cell that a later cell overlaps.
  bool ShowsCell(const RECT& cell, std::u16string_view text, COLORREF colour, uint32_t format = 0,
                 int clipRight = 0) {
    RECT area = cell;
    if (clipRight > 0 && clipRight < area.right) area.right = clipRight;
    return SameAsReference(area, [&](plat::HDC dc) {
      RECT r = cell;
      plat::DrawTextW(dc, text, r, format);
    }, colour, kBackground);
  }

  DicomFile* File(int32_t serial) { return panel.FindFileBySerial(serial); }

  ShowWork panel;
  std::vector<std::u16string> announced;

 private:
  template <typename Draw>
  bool SameAsReference(const RECT& area, Draw draw, COLORREF colour, COLORREF background) {
    plat::HDC dc = plat::CreateCompatibleDC(nullptr);
    plat::HBITMAP bitmap = plat::CreateCompatibleBitmap(dc, kWidth, kHeight);
    plat::HGDIOBJ previousBitmap = plat::SelectObject(dc, bitmap);
    plat::HBRUSH brush = plat::CreateSolidBrush(background);
    plat::FillRect(dc, RECT{0, 0, kWidth, kHeight}, brush);
    plat::DeleteObject(brush);
    plat::HGDIOBJ previousFont = plat::SelectObject(dc, CachedFont(u"宋体", 12, 400));
    plat::SetBkMode(dc, plat::TRANSPARENT);
    plat::SetTextColor(dc, colour);
    draw(dc);
    int differing = 0;
    int ink = 0;
    for (int y = std::max(0, area.top); y < std::min(kHeight, area.bottom); ++y)
      for (int x = std::max(0, area.left); x < std::min(kWidth, area.right); ++x) {
        COLORREF expected = plat::GetPixel(dc, x, y);
        ink += expected != background;
        differing += At(x, y) != expected;
      }
    plat::SelectObject(dc, previousFont);
    plat::SelectObject(dc, previousBitmap);
    plat::DeleteObject(bitmap);
    plat::DeleteDC(dc);
    EXPECT_GT(ink, 0) << "the reference text left no ink in the area";
    return differing == 0 && ink > 0;
  }

  plat::HWND owner_;
  plat::HWND target_;
  plat::WindowPixels pixels_;
};

}  // namespace viewtest
