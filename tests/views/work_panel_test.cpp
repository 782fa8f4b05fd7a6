// The work panel as a whole: the usage text, the selection and its notices,
// the mouse rules (click against drag, the x = 244 boundary, scrolling limits,
// dragging the hex panel), clearing, and the drawing objects of many frames.
#include <chrono>
#include <thread>

#include "platform/core/text.h"
#include "tests/support/temp_dir.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

constexpr COLORREF kTextGrey = 0xA09894;

class WorkPanel : public PanelTest {
 protected:
  // Three files of one patient, shown after one frame.
  void LoadThree() {
    for (int i = 0; i < 3; ++i) serials.push_back(Add(PatientFile("DOE^JOHN", "1.2.3.4.5.6", i + 1), u"/data/ct/f" + std::u16string(1, u'1' + i) + u".dcm"));
    Frame();
  }
  // The top of file row k (from 0) of the first patient.
  int RowTop(int k) { return 4 + TextHeight() + 2 + k * (TextHeight() + 2); }
  POINT OnRow(int k) { return POINT{40, RowTop(k) + 2}; }

  std::vector<int32_t> serials;
};

TEST_F(WorkPanel, UsageTextStandsAtItsFixedPlacesInGrey) {
  Frame();
  const int h = Extent(u"使用说明：").cy;
  EXPECT_TRUE(ShowsTextAt(POINT{236, 230}, u"使用说明：", kTextGrey, RECT{200, 226, 600, 230 + h}));
  const std::u16string_view lines[] = {
      u"1. 将DICOM文件或者文件夹拖到此窗口上即可打开文件。",
      u"2. 导入文件后，左键单击打开当前文件，右键单击打开对比文件，再次右键单击取消对比文件。",
      u"3. 双击DICOM标签可以查看标签的二进制形式。",
      u"4. 文件名列表、DICOM标签列表可以上下拖动，DICOM标签面板可以任意拖动。",
      u"5. 脱敏后文件存于 \"文件夹名 + __Anony\" 文件夹下。",
  };
  for (int k = 1; k <= 5; ++k) {
    const int y = 236 + k * (h + 10);
    EXPECT_TRUE(ShowsTextAt(POINT{260, y}, lines[k - 1], kTextGrey, RECT{0, y, kWidth, y + h})) << "line " << k;
  }
  // Nothing but the text: the rest of the frame is the panel background.
  RECT ink = Box(kTextGrey);
  EXPECT_GE(ink.left, 236);
  EXPECT_GE(ink.top, 230);
  EXPECT_LE(ink.bottom, 236 + 5 * (h + 10) + h);
  EXPECT_EQ(At(0, 0), kBackground);
  EXPECT_EQ(At(kWidth - 1, kHeight - 1), kBackground);
  EXPECT_EQ(Count(RECT{0, 0, kWidth, 226}, kBackground), kWidth * 226);
}

TEST_F(WorkPanel, LeftClickChoosesTheCurrentFileAndAnnouncesItsPath) {
  LoadThree();
  Click(OnRow(1));
  EXPECT_EQ(panel.currentSerial, serials[1]);
  EXPECT_EQ(panel.selectedPath, u"/data/ct/f2.dcm");
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(announced[0], u"/data/ct/f2.dcm");
  // A second click on the current file changes and announces nothing.
  Frame();
  Click(OnRow(1));
  EXPECT_EQ(announced.size(), 1u);
}

TEST_F(WorkPanel, PressMoveReleaseIsADragNotAClick) {
  LoadThree();
  POINT p = OnRow(0);
  panel.MouseMove(0, p);
  panel.LeftDown(kLeftButton, p);
  panel.MouseMove(kLeftButton, POINT{p.x + 1, p.y});
  panel.LeftUp(0, POINT{p.x + 1, p.y});
  EXPECT_EQ(panel.currentSerial, -1);
  EXPECT_TRUE(announced.empty());
  // The next press and release without movement is a click again.
  Click(p);
  EXPECT_EQ(panel.currentSerial, serials[0]);
}

TEST_F(WorkPanel, RightClicksChooseReplaceAndClearTheCompareFile) {
  LoadThree();
  RightClick(OnRow(0));
  EXPECT_EQ(panel.currentSerial, serials[0]);
  EXPECT_EQ(panel.compareSerial, -1);
  RightClick(OnRow(1));
  EXPECT_EQ(panel.compareSerial, serials[1]);
  RightClick(OnRow(2));
  EXPECT_EQ(panel.compareSerial, serials[2]);
  RightClick(OnRow(0));  // the current file: nothing
  EXPECT_EQ(panel.compareSerial, serials[2]);
  RightClick(OnRow(2));  // the compare file: cleared, announcing nothing
  EXPECT_EQ(panel.compareSerial, -1);
  EXPECT_EQ(panel.currentSerial, serials[0]);
  EXPECT_EQ(announced, (std::vector<std::u16string>{u"/data/ct/f1.dcm", u"/data/ct/f2.dcm", u"/data/ct/f3.dcm"}));
}

TEST_F(WorkPanel, ChoosingTheCompareFileAsCurrentClearsTheComparison) {
  LoadThree();
  Click(OnRow(0));
  RightClick(OnRow(1));
  ASSERT_EQ(panel.compareSerial, serials[1]);
  Click(OnRow(1));
  EXPECT_EQ(panel.currentSerial, serials[1]);
  EXPECT_EQ(panel.compareSerial, -1);
  // Making the current file the compare file leaves no comparison either.
  panel.SetCompareFile(serials[1]);
  EXPECT_EQ(panel.compareSerial, -1);
}

TEST_F(WorkPanel, X244IsTheFileListForWheelAndDragButTheTagAreaForClicks) {
  LoadThree();
  Click(OnRow(0));
  panel.tagContentHeight = 1000;
  panel.tagViewHeight = 600;
  panel.fileContentHeight = 1000;
  panel.fileViewHeight = 600;

  // Double-click: 243 does nothing, 244 chooses a row.
  panel.LeftDoubleClick(0, POINT{243, 100});
  EXPECT_EQ(panel.hexRow, -1);
  panel.LeftDoubleClick(0, POINT{244, 100});
  EXPECT_EQ(panel.hexRow, (100 - 18) / panel.tagRowHeight);

  // Wheel: 244 scrolls the file list, 245 the tag area.
  EXPECT_EQ(panel.Wheel(0, -120, POINT{244, 100}), 1);
  EXPECT_EQ(panel.fileScroll, -40);
  EXPECT_EQ(panel.tagScroll, 0);
  EXPECT_EQ(panel.Wheel(0, -120, POINT{245, 100}), 1);
  EXPECT_EQ(panel.tagScroll, -40);

  // Drag: 244 scrolls the file list, 245 the tag area.
  panel.MouseMove(0, POINT{244, 300});
  panel.LeftDown(kLeftButton, POINT{244, 300});
  panel.MouseMove(kLeftButton, POINT{244, 290});
  EXPECT_EQ(panel.fileScroll, -50);
  panel.MouseMove(kLeftButton, POINT{245, 280});
  EXPECT_EQ(panel.tagScroll, -50);
  panel.LeftUp(0, POINT{245, 280});

  // Right click: 244 is the tag area (closes the hex view), 243 the file list.
  RightClick(POINT{243, 100});
  EXPECT_NE(panel.hexRow, -1);
  RightClick(POINT{244, 100});
  EXPECT_EQ(panel.hexRow, -1);
}

TEST_F(WorkPanel, WheelAndDragStopAtTheirLimits) {
  LoadThree();
  Click(OnRow(0));
  struct Case {
    bool tagArea;
    bool wheel;
    int32_t limit;
  } cases[] = {
      {true, true, 600 - 1000 - 16},   // -416
      {true, false, 600 - 1000 - 16},  // -416
      {false, true, 600 - 1000},       // -400: the wheel keeps no margin in the file list
      {false, false, 600 - 1000 - 16}, // -416: a drag does
  };
  for (const Case& c : cases) {
    panel.tagScroll = panel.fileScroll = 0;
    panel.tagContentHeight = panel.fileContentHeight = 1000;
    panel.tagViewHeight = panel.fileViewHeight = 600;
    const int x = c.tagArea ? 600 : 100;
    int32_t& scroll = c.tagArea ? panel.tagScroll : panel.fileScroll;
    if (c.wheel) {
      for (int i = 0; i < 30; ++i) EXPECT_EQ(panel.Wheel(0, -1, POINT{x, 300}), 1);
      EXPECT_EQ(scroll, c.limit);
      // Scrolling back stops at 0, 40 pixels a message whatever the delta.
      panel.Wheel(0, 1, POINT{x, 300});
      EXPECT_EQ(scroll, c.limit + 40);
      panel.Wheel(0, 120, POINT{x, 300});
      EXPECT_EQ(scroll, c.limit + 80);
      for (int i = 0; i < 30; ++i) panel.Wheel(0, 120, POINT{x, 300});
      EXPECT_EQ(scroll, 0);
    } else {
      panel.MouseMove(0, POINT{x, 700});
      panel.LeftDown(kLeftButton, POINT{x, 700});
      for (int y = 690; y >= 0; y -= 10) panel.MouseMove(kLeftButton, POINT{x, y});
      panel.MouseMove(kLeftButton, POINT{x, 0});
      EXPECT_EQ(scroll, c.limit);
      for (int y = 10; y <= 700; y += 10) panel.MouseMove(kLeftButton, POINT{x, y});
      EXPECT_EQ(scroll, 0);
      panel.LeftUp(0, POINT{x, 700});
    }
  }
}

TEST_F(WorkPanel, ContentNoHigherThanItsViewIsNotScrolled) {
  LoadThree();
  Frame();
  ASSERT_LE(panel.fileContentHeight, panel.fileViewHeight);
  EXPECT_EQ(panel.Wheel(0, -120, POINT{100, 100}), 0);
  EXPECT_EQ(panel.fileScroll, 0);
  panel.LeftDown(kLeftButton, POINT{100, 300});
  EXPECT_EQ(panel.MouseMove(kLeftButton, POINT{100, 200}), 0);
  EXPECT_EQ(panel.fileScroll, 0);
}

TEST_F(WorkPanel, HexPanelIsDraggedAndPinnedInsideTheFrame) {
  LoadThree();
  Click(OnRow(0));
  panel.LeftDoubleClick(0, POINT{300, 40});
  Frame();
  ASSERT_EQ(panel.hexShown, 1);
  ASSERT_EQ(panel.hexRect.left, 346);

  // A drag that starts inside moves it along; past the left and top edges it
  // stays pinned at 0 with its size kept.
  POINT p{500, 500};
  panel.MouseMove(0, p);
  panel.LeftDown(kLeftButton, p);
  EXPECT_EQ(panel.hexDragging, 1);
  while (p.x > 20) {
    p.x -= 20;
    p.y -= 20;
    panel.MouseMove(kLeftButton, p);
  }
  EXPECT_EQ(panel.hexRect.left, 0);
  EXPECT_EQ(panel.hexRect.right, 560);
  EXPECT_EQ(panel.hexRect.top, 0);
  EXPECT_EQ(panel.hexRect.bottom, 400);
  EXPECT_EQ(panel.fileScroll, 0);
  // Past the right and bottom edges: one pixel inside the frame.
  for (int i = 0; i < 60; ++i) {
    p.x += 20;
    p.y += 20;
    panel.MouseMove(kLeftButton, p);
  }
  EXPECT_EQ(panel.hexRect.right, kWidth - 1);
  EXPECT_EQ(panel.hexRect.left, kWidth - 1 - 560);
  EXPECT_EQ(panel.hexRect.bottom, kHeight - 1);
  EXPECT_EQ(panel.hexRect.top, kHeight - 1 - 400);
  panel.LeftUp(0, p);
  // A move without the button ends the hex drag.
  panel.MouseMove(0, p);
  EXPECT_EQ(panel.hexDragging, 0);

  // The panel is drawn where it was dragged to.
  Frame();
  EXPECT_EQ(At(panel.hexRect.left + 3, panel.hexRect.top + 3), COLORREF{0x2B2522});
  EXPECT_EQ(At(panel.hexRect.left, panel.hexRect.top + 100), COLORREF{0x85CDF2});
}

TEST_F(WorkPanel, RightClickInsideTheHexPanelClosesItWithoutTouchingTheFileBelow) {
  LoadThree();
  Click(OnRow(0));
  panel.hexRect = RECT{0, 0, 560, 400};  // over the file list
  panel.LeftDoubleClick(0, POINT{300, 40});
  Frame();
  ASSERT_EQ(panel.hexShown, 1);
  EXPECT_EQ(panel.RightUp(0, OnRow(1)), 1);
  EXPECT_EQ(panel.hexRow, -1);
  EXPECT_EQ(panel.compareSerial, -1);
  EXPECT_EQ(announced.size(), 1u);
}

TEST_F(WorkPanel, ClearingReturnsToTheUsageTextAndKeepsTheHexPanelsPlace) {
  LoadThree();
  Click(OnRow(0));
  panel.hexRect = RECT{10, 20, 570, 420};
  panel.LeftDoubleClick(0, POINT{300, 40});
  panel.ClearAll();
  EXPECT_EQ(panel.patients.length, 0);
  EXPECT_EQ(panel.currentSerial, -1);
  EXPECT_EQ(panel.compareSerial, -1);
  EXPECT_EQ(panel.hexRow, -1);
  EXPECT_EQ(panel.tagRowHeight, 12);
  Frame();
  EXPECT_TRUE(ShowsTextAt(POINT{236, 230}, u"使用说明：", kTextGrey, RECT{200, 226, 600, 250}));
  EXPECT_EQ(panel.hexRect.left, 10);
  EXPECT_EQ(panel.hexRect.top, 20);
  // Load again, choose a file, double-click: the panel opens where it was.
  int32_t serial = Add(PatientFile("ROE^JANE"), u"/data/x.dcm");
  Frame();
  Click(OnRow(0));
  EXPECT_EQ(panel.currentSerial, serial);
  panel.LeftDoubleClick(0, POINT{300, 40});
  Frame();
  EXPECT_EQ(panel.hexShown, 1);
  EXPECT_EQ(At(12, 22), COLORREF{0x2B2522});
}

TEST_F(WorkPanel, ClearingStopsARunningLoaderBeforeTheTreeGoes) {
  fixture::TempDir dir;
  for (int i = 0; i < 300; ++i) dir.Write("f" + std::to_string(i) + ".dcm", PatientFile("DOE^JOHN", "1.2.3", i));
  ASSERT_GE(panel.StartFolderRun(plat::PathFromNative(dir.path())), 1);
  panel.ClearAll();
  EXPECT_EQ(panel.patients.length, 0);
  EXPECT_EQ(panel.collection.loader, nullptr);
  // Nothing arrives afterwards: the loader's thread is gone.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  panel.collection.TakeAllPendingFiles();
  EXPECT_EQ(panel.collection.ShownFileCount(), 0);
  EXPECT_EQ(panel.patients.length, 0);
  plat::DiscardQueuedMessages();
}

TEST_F(WorkPanel, TheFirstPanelOwnsTheDrawingObjectCacheUntilItIsDestroyed) {
  EXPECT_EQ(ActiveGdiCache(), &panel.gdiCacheStorage);
  plat::GdiObjectCounts before = plat::GetGdiObjectCounts();
  {
    ShowWork second;
    EXPECT_EQ(ActiveGdiCache(), &panel.gdiCacheStorage);
    EXPECT_NE(CachedBrush(0x123456), nullptr);
    EXPECT_EQ(second.gdiCacheStorage.count, 0);
  }
  // The second panel's end leaves the first one's cache alone.
  EXPECT_EQ(ActiveGdiCache(), &panel.gdiCacheStorage);
  EXPECT_EQ(plat::GetGdiObjectCounts().brushes, before.brushes + 1);
  EXPECT_NE(plat::GetObjectType(CachedBrush(0x123456)), plat::OBJ_NONE);
}

TEST(WorkPanelCache, APanelsEndDeletesItsObjectsAndEmptiesTheReference) {
  plat::GdiObjectCounts before = plat::GetGdiObjectCounts();
  {
    ShowWork panel;
    EXPECT_NE(CachedPen(plat::PS_SOLID, 1, 0x808080), nullptr);
    EXPECT_NE(CachedFont(u"宋体", 12, 400), nullptr);
  }
  EXPECT_EQ(ActiveGdiCache(), nullptr);
  EXPECT_EQ(plat::GetGdiObjectCounts(), before);
  EXPECT_EQ(CachedBrush(1), nullptr);
  // A panel made afterwards becomes the owner.
  ShowWork next;
  EXPECT_EQ(ActiveGdiCache(), &next.gdiCacheStorage);
}

TEST_F(WorkPanel, ManyFramesCreateNoNewDrawingObjects) {
  LoadThree();
  Click(OnRow(0));
  RightClick(OnRow(1));
  panel.LeftDoubleClick(0, POINT{300, 40});
  panel.MouseMove(0, POINT{5, 5});
  panel.LeftDown(kLeftButton, POINT{5, 5});
  Frame();  // every pen, brush and font of these views is cached now
  const plat::GdiObjectCounts counts = plat::GetGdiObjectCounts();
  const int32_t entries = panel.gdiCacheStorage.count;
  for (int i = 0; i < 1000; ++i) Frame();
  EXPECT_EQ(plat::GetGdiObjectCounts(), counts);
  EXPECT_EQ(panel.gdiCacheStorage.count, entries);
  EXPECT_EQ(panel.hexShown, 1);
}

}  // namespace
}  // namespace viewtest
