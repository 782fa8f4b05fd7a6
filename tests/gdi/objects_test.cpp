// Drawing objects: selection, deletion, stock objects and the live count.

#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/gdi.h"
#include "tests/gdi/canvas.h"

namespace plat {
namespace {

using drawtest::Canvas;
using drawtest::MakeFont;

TEST(Objects, EachKindCountsWhileAliveAndStockObjectsNever) {
  const GdiObjectCounts before = GetGdiObjectCounts();
  HPEN pen = CreatePen(PS_DOT, 1, RGB(128, 128, 128));
  HBRUSH brush = CreateSolidBrush(RGB(34, 37, 43));
  HFONT font = MakeFont(u"宋体", 12);
  HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  GetStockObject(NULL_BRUSH);
  GetStockObject(DEFAULT_GUI_FONT);
  GdiObjectCounts now = GetGdiObjectCounts();
  EXPECT_EQ(now.pens, before.pens + 1);
  EXPECT_EQ(now.brushes, before.brushes + 1);
  EXPECT_EQ(now.fonts, before.fonts + 1);
  EXPECT_EQ(now.bitmaps, before.bitmaps + 1);
  EXPECT_EQ(now.contexts, before.contexts + 1);
  EXPECT_EQ(GetObjectType(pen), OBJ_PEN);
  EXPECT_EQ(GetObjectType(brush), OBJ_BRUSH);
  EXPECT_EQ(GetObjectType(font), OBJ_FONT);
  EXPECT_EQ(GetObjectType(bitmap), OBJ_BITMAP);

  for (HGDIOBJ object : {pen, brush, font, bitmap}) EXPECT_TRUE(DeleteObject(object));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(GetGdiObjectCounts(), before);

  // Deleted handles are rejected, not reused.
  EXPECT_EQ(GetObjectType(pen), OBJ_NONE);
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));  // ignored
  EXPECT_EQ(GetObjectType(GetStockObject(NULL_BRUSH)), OBJ_BRUSH);
}

TEST(Objects, SelectReturnsThePreviousObjectOfTheSameKind) {
  Canvas canvas(4, 4);
  HDC dc = canvas.dc();
  HPEN a = CreatePen(PS_SOLID, 1, RGB(1, 1, 1));
  HPEN b = CreatePen(PS_SOLID, 1, RGB(2, 2, 2));
  HBRUSH brush = CreateSolidBrush(RGB(3, 3, 3));
  HGDIOBJ original = SelectObject(dc, a);
  EXPECT_EQ(GetObjectType(original), OBJ_PEN);
  EXPECT_EQ(SelectObject(dc, b), a);
  HGDIOBJ originalBrush = SelectObject(dc, brush);  // a brush does not replace the pen
  EXPECT_EQ(GetObjectType(originalBrush), OBJ_BRUSH);
  EXPECT_EQ(SelectObject(dc, a), b);
  // An invalid object leaves the context unchanged.
  HPEN gone = CreatePen(PS_SOLID, 1, 0);
  DeleteObject(gone);
  EXPECT_EQ(SelectObject(dc, gone), nullptr);
  EXPECT_EQ(SelectObject(dc, original), a);
  SelectObject(dc, originalBrush);
  for (HGDIOBJ object : {a, b, brush}) DeleteObject(object);
}

TEST(Objects, DeletingASelectedObjectFreesItWhenTheContextLetsGo) {
  const GdiObjectCounts before = GetGdiObjectCounts();
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(9, 9, 9));
  HGDIOBJ original = SelectObject(dc, pen);
  SaveDC(dc);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(GetObjectType(pen), OBJ_NONE);  // the handle is gone at once
  EXPECT_EQ(GetGdiObjectCounts().pens, before.pens + 1);  // still drawn with
  EXPECT_EQ(SelectObject(dc, original), nullptr);  // the freed pen is not handed back
  EXPECT_EQ(GetGdiObjectCounts().pens, before.pens + 1);  // the saved state holds it
  RestoreDC(dc, -1);
  DeleteDC(dc);
  EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(Objects, ABitmapIsSelectedIntoOneContextAtATime) {
  HDC first = CreateCompatibleDC(nullptr);
  HDC second = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(first, 8, 8);
  HGDIOBJ original = SelectObject(first, bitmap);
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(SelectObject(second, bitmap), nullptr);
  SelectObject(first, original);
  HGDIOBJ secondOriginal = SelectObject(second, bitmap);
  EXPECT_NE(secondOriginal, nullptr);
  SelectObject(second, secondOriginal);
  DeleteObject(bitmap);
  DeleteDC(first);
  DeleteDC(second);
}

TEST(Objects, BitmapsStartFromTheirBytes) {
  const uint8_t bytes[2 * 2 * 4] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
  HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, bytes);
  ASSERT_NE(bitmap, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ original = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(6, 5, 4));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(9, 8, 7));
  EXPECT_EQ(GetPixel(dc, 2, 0), CLR_INVALID);
  SelectObject(dc, original);
  DeleteObject(bitmap);
  DeleteDC(dc);
  // Other formats and sizes are refused.
  EXPECT_EQ(CreateBitmap(2, 2, 1, 24, bytes), nullptr);
  EXPECT_EQ(CreateBitmap(0, 2, 1, 32, nullptr), nullptr);
}

// One repaint of a window the way the owner-drawn surface does it: the
// window's context, a frame bitmap from the buffer, drawing with objects made
// for the frame, one copy to the window, and everything released.
void Repaint(HDC memory, std::vector<uint32_t>& back, std::vector<uint32_t>& frame, int cycle) {
  PixelView view{reinterpret_cast<uint8_t*>(back.data()), 120, 80, 120 * 4};
  HDC window = CreateSurfaceDC(view, POINT{10, 10}, RECT{0, 0, 100, 60});
  HBITMAP bitmap = CreateBitmap(100, 60, 1, 32, frame.data());
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  HPEN pen = CreatePen(cycle % 2 ? PS_DOT : PS_SOLID, 1, RGB(cycle % 256, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, cycle % 256, 0));
  HFONT font = MakeFont(u"宋体", 12);
  HGDIOBJ oldPen = SelectObject(memory, pen);
  HGDIOBJ oldFont = SelectObject(memory, font);
  SaveDC(memory);
  IntersectClipRect(memory, 2, 2, 90, 50);
  FillRect(memory, RECT{60, 35, 100, 45}, brush);
  MoveToEx(memory, 0, 48);
  LineTo(memory, 99, 48);
  TextOutW(memory, 4, 4, u"主选 (0008,0005)");
  RECT cell{4, 20, 60, 32};
  DrawTextW(memory, u"文件加载完毕", cell, DT_SINGLELINE);
  SelectClipRgn(memory, nullptr);
  RestoreDC(memory, -1);
  BitBlt(window, 0, 0, 100, 60, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldPen);
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  DeleteObject(pen);
  DeleteObject(brush);
  DeleteObject(font);
  DeleteObject(bitmap);
  DeleteDC(window);
}

TEST(Objects, AThousandRepaintsLeaveTheLiveCountUnchanged) {
  std::vector<uint32_t> back(120 * 80, 0);
  std::vector<uint32_t> frame(100 * 60, PixelFromColor(RGB(18, 20, 23)));
  HDC memory = CreateCompatibleDC(nullptr);
  SetBkMode(memory, TRANSPARENT);
  Repaint(memory, back, frame, 0);  // first use resolves the font for the process
  const GdiObjectCounts before = GetGdiObjectCounts();
  for (int cycle = 1; cycle <= 1000; ++cycle) Repaint(memory, back, frame, cycle);
  EXPECT_EQ(GetGdiObjectCounts(), before);
  // The last frame did reach the window: its filled block and line are there.
  EXPECT_EQ(ColorFromPixel(back[size_t(10 + 40) * 120 + 10 + 70]), RGB(0, 1000 % 256, 0));
  EXPECT_EQ(ColorFromPixel(back[size_t(10 + 40) * 120 + 10 + 95]), RGB(18, 20, 23));  // clipped at 90
  EXPECT_EQ(ColorFromPixel(back[size_t(10 + 48) * 120 + 10 + 70]), RGB(1000 % 256, 0, 0));
  DeleteDC(memory);
}

TEST(SystemColours, ButtonColoursAreDistinctAndUnknownIndexesBlack) {
  EXPECT_NE(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT));
  EXPECT_NE(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(-1), 0u);
  EXPECT_EQ(GetSysColor(1000), 0u);
}

}  // namespace
}  // namespace plat
