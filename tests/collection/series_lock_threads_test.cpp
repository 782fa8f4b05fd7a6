// The series lock between the loader and the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "collection/collection.h"
#include "tests/support/collection_fixture.h"

namespace {

using fixture::AddBuiltFile;
using fixture::PatientFile;

TEST(SeriesLockTest, TakePendingFilesNeverWaitsAndKeepsOrder) {
  StudyCollection c;
  DicomFile* first = AddBuiltFile(c, "/t/1", PatientFile("P", "1"));
  SeriesEntry* series = first->series;
  std::atomic<int> phase{0};
  std::thread holder([&] {
    std::lock_guard<std::mutex> hold(series->lock);
    phase.store(1);
    while (phase.load() != 2) std::this_thread::yield();
  });
  while (phase.load() != 1) std::this_thread::yield();
  EXPECT_EQ(series->TakePendingFiles(), 0);  // busy: nothing moves
  EXPECT_EQ(series->shownFiles.length, 0);
  EXPECT_EQ(series->pendingFiles.length, 1);
  EXPECT_EQ(c.TakeAllPendingFiles(), 1);
  phase.store(2);
  holder.join();

  DicomFile* second = AddBuiltFile(c, "/t/2", PatientFile("P", "1"));
  ASSERT_EQ(series->TakePendingFiles(), 1);
  ASSERT_EQ(series->shownFiles.length, 2);
  EXPECT_EQ(series->shownFiles[0], first);
  EXPECT_EQ(series->shownFiles[1], second);
  EXPECT_EQ(series->pendingFiles.length, 0);
  EXPECT_GT(series->pendingFiles.capacity, 0);  // storage kept for reuse
  EXPECT_EQ(series->TakePendingFiles(), 1);
  EXPECT_EQ(series->shownFiles.length, 2);
}

}  // namespace
