// Fills, lines, clipping, block transfer and surface contexts, checked pixel by
// pixel in memory bitmaps.

#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/gdi.h"
#include "tests/gdi/canvas.h"

namespace plat {
namespace {

using drawtest::Canvas;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kInk = RGB(75, 222, 253);
constexpr COLORREF kPaper = RGB(18, 20, 23);

TEST(FillRect, CoversExactlyTheHalfOpenRectangle) {
  struct Case {
    RECT rect;
    RECT covered;  // what must change on a 40 x 30 canvas
  } cases[] = {
      {{5, 6, 15, 9}, {5, 6, 15, 9}},
      {{0, 0, 1, 1}, {0, 0, 1, 1}},
      {{-10, -5, 3, 4}, {0, 0, 3, 4}},       // cut at the canvas's top-left
      {{35, 25, 60, 90}, {35, 25, 40, 30}},  // cut at its bottom-right
      {{10, 10, 10, 20}, {0, 0, 0, 0}},      // empty: zero width
      {{10, 10, 5, 20}, {0, 0, 0, 0}},       // empty: right before left
  };
  for (const Case& c : cases) {
    Canvas canvas(40, 30, kBlack);
    HBRUSH brush = CreateSolidBrush(kInk);
    EXPECT_TRUE(FillRect(canvas.dc(), c.rect, brush));
    DeleteObject(brush);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool inside = PtInRect(c.covered, POINT{x, y});
        ASSERT_EQ(canvas.At(x, y), inside ? kInk : kBlack)
            << "rect " << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom << " at "
            << x << "," << y;
      }
    }
  }
}

TEST(FillRect, NullBrushFillsNothingAndColoursKeepTheirChannels) {
  Canvas canvas(8, 8, kBlack);
  EXPECT_TRUE(FillRect(canvas.dc(), RECT{0, 0, 8, 8}, GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 8, 8}, kBlack), 0);

  // Red 18, green 20, blue 23 is stored as the bytes 17 14 12 00.
  HBRUSH brush = CreateSolidBrush(kPaper);
  FillRect(canvas.dc(), RECT{0, 0, 1, 1}, brush);
  DeleteObject(brush);
  PixelView view;
  ASSERT_TRUE(GetBitmapPixels(canvas.bitmap(), view));
  EXPECT_EQ(view.data[0], 23);
  EXPECT_EQ(view.data[1], 20);
  EXPECT_EQ(view.data[2], 18);
  EXPECT_EQ(view.data[3], 0);
}

// Draws the outline through the four corners and back to the start, as the
// views frame their lists.
void Outline(HDC dc, const RECT& r) {
  MoveToEx(dc, r.left, r.top);
  LineTo(dc, r.right, r.top);
  LineTo(dc, r.right, r.bottom);
  LineTo(dc, r.left, r.bottom);
  LineTo(dc, r.left, r.top);
}

TEST(LineTo, FourLinesBackToTheStartCloseTheOutline) {
  Canvas canvas(30, 30, kBlack);
  HPEN pen = CreatePen(PS_SOLID, 1, kInk);
  HGDIOBJ old = SelectObject(canvas.dc(), pen);
  const RECT r{4, 5, 20, 17};
  Outline(canvas.dc(), r);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      const bool onEdge = ((x == r.left || x == r.right) && y >= r.top && y <= r.bottom) ||
                          ((y == r.top || y == r.bottom) && x >= r.left && x <= r.right);
      ASSERT_EQ(canvas.At(x, y), onEdge ? kInk : kBlack) << x << "," << y;
    }
  }
  SelectObject(canvas.dc(), old);
  DeleteObject(pen);
}

TEST(LineTo, EndPointIsNotDrawnInAnyDirection) {
  struct Case {
    POINT from, to;
  } cases[] = {
      {{2, 10}, {12, 10}}, {{12, 10}, {2, 10}}, {{10, 2}, {10, 12}},
      {{10, 12}, {10, 2}}, {{2, 3}, {14, 9}},   {{14, 15}, {3, 2}},
  };
  for (const Case& c : cases) {
    Canvas canvas(20, 20, kBlack);
    HPEN pen = CreatePen(PS_SOLID, 1, kInk);
    HGDIOBJ old = SelectObject(canvas.dc(), pen);
    MoveToEx(canvas.dc(), c.from.x, c.from.y);
    LineTo(canvas.dc(), c.to.x, c.to.y);
    EXPECT_EQ(canvas.At(c.from.x, c.from.y), kInk);
    EXPECT_EQ(canvas.At(c.to.x, c.to.y), kBlack);
    // One pixel per step along the longer axis: the line is connected.
    const int steps = std::max(std::abs(c.to.x - c.from.x), std::abs(c.to.y - c.from.y));
    EXPECT_EQ(canvas.CountOther(RECT{0, 0, 20, 20}, kBlack), steps);
    // The current position moved to the end point.
    POINT at;
    MoveToEx(canvas.dc(), 0, 0, &at);
    EXPECT_EQ(at.x, c.to.x);
    EXPECT_EQ(at.y, c.to.y);
    SelectObject(canvas.dc(), old);
    DeleteObject(pen);
  }
}

TEST(LineTo, DottedPenAlternatesAndTransparentGapsKeepTheBackground) {
  for (int mode : {TRANSPARENT, OPAQUE}) {
    Canvas canvas(40, 10, kPaper);
    HPEN dotted = CreatePen(PS_DOT, 1, RGB(128, 128, 128));
    HGDIOBJ old = SelectObject(canvas.dc(), dotted);
    SetBkMode(canvas.dc(), mode);
    SetBkColor(canvas.dc(), RGB(255, 0, 0));
    MoveToEx(canvas.dc(), 2, 4);
    LineTo(canvas.dc(), 30, 4);
    const COLORREF gap = mode == TRANSPARENT ? kPaper : RGB(255, 0, 0);
    for (int x = 2; x < 30; ++x) {
      EXPECT_EQ(canvas.At(x, 4), (x - 2) % 2 == 0 ? RGB(128, 128, 128) : gap) << "mode " << mode << " x " << x;
    }
    EXPECT_EQ(canvas.At(30, 4), kPaper);
    EXPECT_EQ(canvas.CountOther(RECT{0, 0, 40, 4}, kPaper), 0);
    EXPECT_EQ(canvas.CountOther(RECT{0, 5, 40, 10}, kPaper), 0);
    SelectObject(canvas.dc(), old);
    DeleteObject(dotted);
  }
}

TEST(LineTo, NullPenDrawsNothingButMoves) {
  Canvas canvas(10, 10, kBlack);
  SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  MoveToEx(canvas.dc(), 1, 1);
  LineTo(canvas.dc(), 8, 8);
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 10, 10}, kBlack), 0);
  POINT at;
  MoveToEx(canvas.dc(), 0, 0, &at);
  EXPECT_EQ(at.x, 8);
}

TEST(Clipping, SaveIntersectRestoreLimitsDrawingAndThenLiftsIt) {
  Canvas canvas(50, 40, kBlack);
  HDC dc = canvas.dc();
  HBRUSH brush = CreateSolidBrush(kInk);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  const RECT clip{10, 8, 30, 20};

  const int level = SaveDC(dc);
  ASSERT_GT(level, 0);
  EXPECT_EQ(IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom), SIMPLEREGION);
  FillRect(dc, RECT{0, 0, 50, 40}, brush);
  MoveToEx(dc, 0, 25);
  LineTo(dc, 49, 0);  // a diagonal through and beyond the clip
  SetPixel(dc, 5, 5, RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 5, 5), CLR_INVALID);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x) {
      if (!PtInRect(clip, POINT{x, y})) {
        ASSERT_EQ(canvas.At(x, y), kBlack) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(canvas.CountOther(clip, kBlack), (clip.right - clip.left) * (clip.bottom - clip.top));

  // Narrowing further intersects; the clip box reports what is left.
  IntersectClipRect(dc, 20, 0, 100, 100);
  RECT box;
  EXPECT_EQ(GetClipBox(dc, box), SIMPLEREGION);
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.top, 8);
  EXPECT_EQ(box.right, 30);
  EXPECT_EQ(box.bottom, 20);

  SelectClipRgn(dc, nullptr);
  EXPECT_TRUE(RestoreDC(dc, -1));
  canvas.Fill(kBlack);
  FillRect(dc, RECT{0, 0, 50, 40}, brush);
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 50, 40}, kInk), 0);

  SelectObject(dc, oldPen);
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(Clipping, RestoreBringsBackObjectsColoursAndModes) {
  Canvas canvas(10, 10);
  HDC dc = canvas.dc();
  HPEN first = CreatePen(PS_SOLID, 1, kInk);
  HPEN second = CreatePen(PS_DOT, 1, kInk);
  HGDIOBJ original = SelectObject(dc, first);
  SetTextColor(dc, RGB(1, 2, 3));
  SetBkMode(dc, TRANSPARENT);
  const int outer = SaveDC(dc);
  SelectObject(dc, second);
  SetTextColor(dc, RGB(4, 5, 6));
  SetBkMode(dc, OPAQUE);
  IntersectClipRect(dc, 0, 0, 2, 2);
  EXPECT_EQ(SaveDC(dc), outer + 1);
  EXPECT_TRUE(RestoreDC(dc, outer));  // drops both levels
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(SelectObject(dc, first), first);  // the first pen was current again
  RECT box;
  GetClipBox(dc, box);
  EXPECT_EQ(box.right, 10);
  EXPECT_FALSE(RestoreDC(dc, -1));  // nothing saved any more
  SelectObject(dc, original);
  DeleteObject(first);
  DeleteObject(second);
}

TEST(BitBlt, CopiesTheBlockAndRespectsBothSides) {
  Canvas source(20, 20, kBlack);
  HBRUSH brush = CreateSolidBrush(kInk);
  FillRect(source.dc(), RECT{5, 5, 10, 8}, brush);
  SetPixel(source.dc(), 0, 0, RGB(9, 9, 9));

  Canvas target(20, 20, kPaper);
  EXPECT_TRUE(BitBlt(target.dc(), 2, 3, 20, 20, source.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(target.At(2, 3), RGB(9, 9, 9));
  EXPECT_EQ(target.At(7, 8), kInk);
  EXPECT_EQ(target.At(11, 10), kInk);
  EXPECT_EQ(target.At(12, 10), kBlack);
  EXPECT_EQ(target.At(1, 3), kPaper);  // left of the block: untouched
  EXPECT_EQ(target.At(2, 2), kPaper);  // above it

  // A source rectangle partly outside the source leaves the rest alone, and
  // the destination's clipping applies.
  target.Fill(kPaper);
  SaveDC(target.dc());
  IntersectClipRect(target.dc(), 0, 0, 10, 20);
  EXPECT_TRUE(BitBlt(target.dc(), 0, 0, 20, 20, source.dc(), 10, -5, SRCCOPY));
  RestoreDC(target.dc(), -1);
  EXPECT_EQ(target.At(0, 4), kPaper);   // source rows above 0 do not exist
  EXPECT_EQ(target.At(0, 5), kBlack);   // source (10, 0)
  EXPECT_EQ(target.At(12, 10), kPaper); // clipped away
  DeleteObject(brush);
}

TEST(BitBlt, OverlappingCopyWithinOneBitmap) {
  Canvas canvas(10, 10, kBlack);
  for (int y = 0; y < 10; ++y) SetPixel(canvas.dc(), 0, y, RGB(y * 10, 0, 0));
  EXPECT_TRUE(BitBlt(canvas.dc(), 0, 2, 1, 8, canvas.dc(), 0, 0, SRCCOPY));
  for (int y = 2; y < 10; ++y) EXPECT_EQ(canvas.At(0, y), RGB((y - 2) * 10, 0, 0)) << y;
}

TEST(Drawing, ExtremeCoordinatesDrawTheVisiblePartAndNeverHang) {
  Canvas canvas(20, 20, kBlack);
  HDC dc = canvas.dc();
  HBRUSH brush = CreateSolidBrush(kInk);
  EXPECT_TRUE(FillRect(dc, RECT{INT32_MIN, INT32_MIN, INT32_MAX, 2}, brush));
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 20, 2}, kInk), 0);
  EXPECT_EQ(canvas.CountOther(RECT{0, 2, 20, 20}, kBlack), 0);
  DeleteObject(brush);

  canvas.Fill(kBlack);
  HPEN pen = CreatePen(PS_DOT, 1, kInk);
  HGDIOBJ old = SelectObject(dc, pen);
  SetBkMode(dc, TRANSPARENT);
  MoveToEx(dc, -1000000000, -1000000000);
  LineTo(dc, 1000000000, 1000000000);  // the diagonal through the canvas
  for (int i = 0; i < 20; ++i) EXPECT_EQ(canvas.At(i, i), i % 2 == 0 ? kInk : kBlack) << i;
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 20, 20}, kBlack), 10);
  MoveToEx(dc, INT32_MIN, 7);
  LineTo(dc, INT32_MAX, 9);
  SelectObject(dc, old);
  DeleteObject(pen);

  canvas.Fill(kBlack);
  EXPECT_TRUE(TextOutW(dc, INT32_MAX, INT32_MAX, u"主选"));
  EXPECT_TRUE(TextOutW(dc, INT32_MIN, 0, u"主选"));
  RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  DrawTextW(dc, u"比较", huge, DT_RIGHT | DT_SINGLELINE | DT_VCENTER);
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 20, 20}, kBlack), 0);
  Canvas other(5, 5, kInk);
  EXPECT_TRUE(BitBlt(dc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, other.dc(), INT32_MAX, 0, SRCCOPY));
  EXPECT_EQ(canvas.CountOther(RECT{0, 0, 20, 20}, kBlack), 0);
}

// The drawing context of a window: logical (0, 0) at the window's place in
// its top-level window's back buffer, drawing held inside the window.
TEST(SurfaceDC, DrawsAtTheWindowsPlaceClippedToIt) {
  std::vector<uint32_t> back(60 * 40, PixelFromColor(kPaper));
  PixelView view{reinterpret_cast<uint8_t*>(back.data()), 60, 40, 60 * 4};
  const POINT place{15, 10};
  HDC dc = CreateSurfaceDC(view, place, RECT{0, 0, 20, 12});
  ASSERT_NE(dc, nullptr);
  HBRUSH brush = CreateSolidBrush(kInk);
  FillRect(dc, RECT{-100, -100, 100, 100}, brush);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool inside = x >= 15 && x < 35 && y >= 10 && y < 22;
      ASSERT_EQ(ColorFromPixel(back[size_t(y) * 60 + size_t(x)]), inside ? kInk : kPaper) << x << "," << y;
    }
  }
  // Its own clipping works in its own coordinates and cannot widen the window.
  SelectClipRgn(dc, nullptr);
  std::fill(back.begin(), back.end(), PixelFromColor(kPaper));
  IntersectClipRect(dc, 18, 0, 40, 40);
  FillRect(dc, RECT{0, 0, 60, 60}, brush);
  EXPECT_EQ(ColorFromPixel(back[size_t(10) * 60 + 32]), kPaper);
  EXPECT_EQ(ColorFromPixel(back[size_t(10) * 60 + 33]), kInk);
  EXPECT_EQ(ColorFromPixel(back[size_t(10) * 60 + 34]), kInk);
  EXPECT_EQ(ColorFromPixel(back[size_t(10) * 60 + 35]), kPaper);
  EXPECT_EQ(GetPixel(dc, 19, 0), kInk);

  // Buffers whose rows do not hold whole pixels are refused.
  EXPECT_EQ(CreateSurfaceDC(PixelView{view.data, 60, 40, 60 * 4 - 2}, place, RECT{0, 0, 20, 12}), nullptr);
  EXPECT_EQ(CreateSurfaceDC(PixelView{view.data, 60, 40, 59 * 4}, place, RECT{0, 0, 20, 12}), nullptr);

  // A memory context copies the window's pixels, as a button captures the
  // parent's background under it.
  Canvas copy(20, 12, kBlack);
  EXPECT_TRUE(BitBlt(copy.dc(), 0, 0, 20, 12, dc, 0, 0, SRCCOPY));
  EXPECT_EQ(copy.At(19, 0), kInk);
  EXPECT_EQ(copy.At(0, 0), kPaper);
  DeleteObject(brush);
  EXPECT_TRUE(DeleteDC(dc));
}

}  // namespace
}  // namespace plat
