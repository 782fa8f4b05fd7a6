// The series lock between the loader and the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "collection/collection.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::SimpleFile;

std::u16string U(const std::string& s) { return plat::Utf8ToUtf16(s); }

// Analyses a built file from memory as if it lay at `path`, and adds it.
DicomFile* Add(StudyCollection& c, const std::string& path, const SimpleFile& spec) {
  auto* file = new DicomFile;
  std::vector<uint8_t> bytes = fixture::BuildSimpleFile(spec);
  file->AnalyseBytes(U(path), bytes.data(), bytes.size());
  EXPECT_GE(file->status, 1) << path;
  EXPECT_TRUE(c.AddAnalysedFile(file));
  return file;
}

SimpleFile Patient(const std::string& name, const std::string& id) {
  SimpleFile f;
  f.patientName = name;
  f.patientId = id;
  return f;
}

TEST(SeriesLockTest, TakePendingFilesNeverWaitsAndKeepsOrder) {
  StudyCollection c;
  DicomFile* first = Add(c, "/t/1", Patient("P", "1"));
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

  DicomFile* second = Add(c, "/t/2", Patient("P", "1"));
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
