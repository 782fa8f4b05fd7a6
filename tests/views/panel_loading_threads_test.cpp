// The panel drawn, hit-tested and searched on this thread while the loader
// thread appends to the collection it draws.
#include <chrono>
#include <thread>

#include "intake/loader.h"
#include "platform/core/text.h"
#include "tests/support/temp_dir.h"
#include "tests/views/panel_fixture.h"

namespace viewtest {
namespace {

class PanelWhileLoading : public PanelTest {};

TEST_F(PanelWhileLoading, FramesAndMouseDuringAFolderRunSeeEveryFileInTheEnd) {
  fixture::TempDir dir;
  constexpr int kFiles = 240;
  for (int i = 0; i < kFiles; ++i)
    dir.Write("f" + std::to_string(i) + ".dcm", PatientFile("PATIENT^" + std::to_string(i % 6), "1.2." + std::to_string(i % 3), i));
  ASSERT_EQ(panel.StartFolderRun(plat::PathFromNative(dir.path())), 1);

  int frames = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (panel.collection.loader != nullptr && panel.collection.loader->running.load() != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    Frame();
    ++frames;
    const int y = 4 + (frames * 7) % 300;
    panel.MouseMove(0, POINT{30, y});
    Click(POINT{30, y});
    panel.RightUp(0, POINT{30, y + 14});
    panel.Wheel(0, frames % 2 == 0 ? -120 : 120, POINT{100, y});
    if (panel.currentSerial != -1) {
      EXPECT_NE(panel.FindFileBySerial(panel.currentSerial), nullptr);
    }
  }
  ASSERT_EQ(panel.collection.loader->running.load(), 0) << "the run did not end";
  Frame();
  EXPECT_EQ(panel.collection.ShownFileCount(), kFiles);
  EXPECT_EQ(panel.patients.length, 6);
  // Every header and every file of the expanded patients counts 14 pixels,
  // each patient the 4-pixel gap above it.
  int32_t expected = 0;
  for (const PatientEntry* p : panel.patients) {
    expected += 4 + 14;
    if (p->collapsed != 0) continue;
    for (const StudyEntry* s : p->studies)
      for (const SeriesEntry* series : s->series) expected += 14 * series->shownFiles.length;
  }
  EXPECT_EQ(panel.fileContentHeight, expected);
  panel.ClearAll();
  EXPECT_EQ(panel.patients.length, 0);
}

}  // namespace
}  // namespace viewtest
