#include "intake/loader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "intake/drop.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace {

using fixture::LoaderMessage;
using fixture::Progress;
using fixture::Redraw;

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }

// Writes `count` DICOM files named <prefix>0, <prefix>1, ... into the folder.
void WriteStudy(const fixture::TempDir& dir, const std::string& sub, const std::string& prefix, int count,
                const std::string& patient = "DOE^JOHN") {
  for (int i = 0; i < count; ++i) {
    fixture::SimpleFile recipe;
    recipe.patientName = patient;
    recipe.sopInstanceUid = "1.2.3." + std::to_string(i);
    dir.Write(sub + "/" + prefix + std::to_string(i) + ".dcm", fixture::BuildSimpleFile(recipe));
  }
}

// A loader clock that holds the loader thread at its n-th call (1: the
// start of a run, 1 + k: right after file k was loaded) until `open` is set
// or `release` says so. It reads 0 otherwise, so nothing is throttled in.
struct Gate {
  std::atomic<int> calls{0};
  std::atomic<bool> reached{false};
  std::atomic<bool> open{false};
};

std::function<uint32_t()> HoldingClock(std::shared_ptr<Gate> gate, int holdAtCall,
                                       std::function<bool()> release = nullptr) {
  return [gate, holdAtCall, release]() -> uint32_t {
    if (++gate->calls == holdAtCall) {
      gate->reached = true;
      while (!gate->open && !(release && release())) plat::Sleep(1);
    }
    return 0;
  };
}

void WaitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 30000 && !flag.load(); ++i) plat::Sleep(1);
  ASSERT_TRUE(flag.load());
}

class LoaderTest : public ::testing::Test {
 protected:
  vxLoader& MakeLoader() {
    collection.loader = {new vxLoader(&collection), &DestroyLoader};
    return *collection.loader;
  }
  int32_t Shown() {
    collection.TakeAllPendingFiles();
    return collection.ShownFileCount();
  }

  fixture::TempDir dir;
  fixture::MessageRecorder recorder;
  StudyCollection collection;

  void SetUp() override { collection.window = recorder.window; }
  void TearDown() override { collection.Clear(); }
};

TEST_F(LoaderTest, PostsProgressAfterEveryFileAndTheEnd) {
  WriteStudy(dir, "ct", "a", 2);
  dir.Write("ct/IM0003", {'n', 'o', 't'});  // a candidate that fails analysis still counts
  dir.Write("ct/notes.txt", {1});
  vxLoader& loader = MakeLoader();
  loader.clock = [] { return 0u; };
  ASSERT_EQ(loader.Start(U(dir.Join("ct"))), 1);
  ASSERT_TRUE(recorder.PumpRuns(1));
  EXPECT_EQ(recorder.seen, (std::vector<LoaderMessage>{Progress(1, 3), Progress(2, 3), Progress(3, 3),
                                                       Progress(3, -1), Redraw(), Redraw()}));
  EXPECT_EQ(loader.running.load(), 0);
  EXPECT_EQ(loader.thread.load(), nullptr);
  EXPECT_EQ(loader.cursor.load(), 3);
  EXPECT_EQ(Shown(), 2);
}

TEST_F(LoaderTest, RepaintsAtMostEveryHundredMillisecondsAcrossTheWrap) {
  WriteStudy(dir, "ct", "f", 10);
  vxLoader& loader = MakeLoader();
  // 40 ms per file, starting just before the tick counter wraps.
  auto tick = std::make_shared<uint32_t>(0xFFFFFFA0u);
  loader.clock = [tick] {
    uint32_t now = *tick;
    *tick += 40;
    return now;
  };
  ASSERT_EQ(loader.Start(U(dir.Join("ct"))), 1);
  ASSERT_TRUE(recorder.PumpRuns(1));
  // Files end at 40, 80, 120, ... ms: a repaint once 100 ms have passed since
  // the last one, just before that file's progress.
  std::vector<LoaderMessage> expected;
  for (int k = 1; k <= 10; ++k) {
    if (k % 3 == 0) expected.push_back(Redraw());
    expected.push_back(Progress(k, 10));
  }
  expected.insert(expected.end(), {Progress(10, -1), Redraw(), Redraw()});
  EXPECT_EQ(recorder.seen, expected);
}

TEST_F(LoaderTest, StartWhileRunningReturnsZeroAndLeavesTheRunAlone) {
  WriteStudy(dir, "one", "a", 2);
  WriteStudy(dir, "two", "b", 3);
  vxLoader& loader = MakeLoader();
  auto gate = std::make_shared<Gate>();
  loader.clock = HoldingClock(gate, 1);
  ASSERT_EQ(loader.Start(U(dir.Join("one"))), 1);
  WaitFor(gate->reached);
  EXPECT_EQ(loader.running.load(), 1);
  EXPECT_NE(loader.thread.load(), nullptr);
  EXPECT_EQ(loader.Start(U(dir.Join("two"))), 0);
  gate->open = true;
  ASSERT_TRUE(recorder.PumpRuns(1));
  // Nothing of the refused folder follows.
  recorder.PumpUntil([] { return false; }, 200);
  EXPECT_EQ(recorder.ProgressOnly(), (std::vector<LoaderMessage>{Progress(1, 2), Progress(2, 2), Progress(2, -1)}));
  EXPECT_EQ(Shown(), 2);
}

TEST_F(LoaderTest, FolderSubmittedDuringARunIsLoadedAfterIt) {
  WriteStudy(dir, "one", "a", 2);
  WriteStudy(dir, "two", "b", 3);
  WriteStudy(dir, "three", "c", 1);
  vxLoader& loader = MakeLoader();
  auto gate = std::make_shared<Gate>();
  loader.clock = HoldingClock(gate, 2);  // after the first file of the first run
  ASSERT_EQ(loader.Submit(U(dir.Join("one"))), 1);
  WaitFor(gate->reached);
  EXPECT_EQ(loader.Submit(U(dir.Join("two"))), 2);
  EXPECT_EQ(loader.Submit(U(dir.Join("three"))), 2);
  gate->open = true;
  ASSERT_TRUE(recorder.PumpRuns(3));
  EXPECT_EQ(recorder.ProgressOnly(),
            (std::vector<LoaderMessage>{Progress(1, 2), Progress(2, 2), Progress(2, -1), Progress(1, 3), Progress(2, 3),
                                        Progress(3, 3), Progress(3, -1), Progress(1, 1), Progress(1, -1)}));
  // Each run's files entered the tree in run order: one study per folder.
  ASSERT_EQ(collection.patients.length, 1);
  const auto& studies = collection.patients[0]->studies;
  ASSERT_EQ(studies.length, 3);
  EXPECT_EQ(studies[0]->folder, U(dir.Join("one/")));
  EXPECT_EQ(studies[1]->folder, U(dir.Join("two/")));
  EXPECT_EQ(studies[2]->folder, U(dir.Join("three/")));
  EXPECT_EQ(Shown(), 6);
}

TEST_F(LoaderTest, FolderDroppedAfterARunEndedStartsANewRun) {
  WriteStudy(dir, "one", "a", 2);
  WriteStudy(dir, "two", "b", 1);
  EXPECT_EQ(StartFolderRun(collection, U(dir.Join("one"))), 1);
  ASSERT_TRUE(recorder.PumpRuns(1));
  vxLoader* first = collection.loader.get();
  // Wait until the first run has fully ended on its thread.
  for (int i = 0; i < 5000 && first->running.load() != 0; ++i) plat::Sleep(1);
  EXPECT_EQ(StartFolderRun(collection, U(dir.Join("two"))), 1);
  EXPECT_EQ(collection.loader.get(), first);  // the same loader, a new run
  ASSERT_TRUE(recorder.PumpRuns(2));
  EXPECT_EQ(Shown(), 3);
}

TEST_F(LoaderTest, StopLoaderFinishesTheFileInProgressAndNothingAfter) {
  WriteStudy(dir, "ct", "f", 6);
  vxLoader& loader = MakeLoader();
  auto gate = std::make_shared<Gate>();
  vxLoader* raw = &loader;
  // The thread is held inside the iteration of file 2 until cancel is set.
  loader.clock = HoldingClock(gate, 3, [raw] { return raw->cancel.load() == 1; });
  ASSERT_EQ(loader.Start(U(dir.Join("ct"))), 1);
  WaitFor(gate->reached);
  collection.StopLoader();  // sets cancel, then waits for the thread
  EXPECT_FALSE(collection.loader);
  ASSERT_TRUE(recorder.PumpRuns(1));
  EXPECT_EQ(recorder.ProgressOnly(), (std::vector<LoaderMessage>{Progress(1, 6), Progress(2, 6), Progress(2, -1)}));
  EXPECT_EQ(Shown(), 2);
}

TEST_F(LoaderTest, ClearWhileLoadingStopsTheLoaderFirst) {
  WriteStudy(dir, "ct", "f", 8);
  WriteStudy(dir, "more", "g", 2);
  vxLoader& loader = MakeLoader();
  auto gate = std::make_shared<Gate>();
  vxLoader* raw = &loader;
  loader.clock = HoldingClock(gate, 2, [raw] { return raw->cancel.load() == 1; });
  ASSERT_EQ(loader.Submit(U(dir.Join("ct"))), 1);
  WaitFor(gate->reached);
  ASSERT_EQ(loader.Submit(U(dir.Join("more"))), 2);  // the queue is dropped too
  collection.Clear();
  EXPECT_FALSE(collection.loader);
  EXPECT_EQ(collection.patients.length, 0);
  ASSERT_TRUE(recorder.PumpRuns(1));
  recorder.PumpUntil([] { return false; }, 200);
  EXPECT_EQ(recorder.EndsSeen(), 1);
  // The collection is usable again afterwards.
  EXPECT_EQ(StartFolderRun(collection, U(dir.Join("more"))), 1);
  ASSERT_TRUE(recorder.PumpRuns(2));
  EXPECT_EQ(Shown(), 2);
}

TEST_F(LoaderTest, UnlistableFolderEndsAtOnce) {
  dir.Write("file.dcm", {1});
  for (const std::string& folder : {dir.Join("missing"), dir.Join("file.dcm"), std::string()}) {
    recorder.seen.clear();
    vxLoader loader(&collection);
    ASSERT_EQ(loader.Start(U(folder)), 1);
    ASSERT_TRUE(recorder.PumpRuns(1)) << folder;
    EXPECT_EQ(recorder.seen, (std::vector<LoaderMessage>{Progress(0, -1), Redraw(), Redraw()})) << folder;
  }
  EXPECT_EQ(collection.patients.length, 0);
}

TEST_F(LoaderTest, LoaderWithoutTargetEndsWithoutMessages) {
  WriteStudy(dir, "ct", "f", 1);
  vxLoader loader(nullptr);
  ASSERT_EQ(loader.Start(U(dir.Join("ct"))), 1);
  for (int i = 0; i < 5000 && (loader.running.load() != 0 || loader.thread.load() != nullptr); ++i) plat::Sleep(1);
  EXPECT_EQ(loader.running.load(), 0);
  EXPECT_EQ(loader.thread.load(), nullptr);
  recorder.PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(LoaderTest, DestroyingARunningLoaderWaitsForItsThread) {
  WriteStudy(dir, "ct", "f", 5);
  auto gate = std::make_shared<Gate>();
  {
    vxLoader loader(&collection);
    vxLoader* raw = &loader;
    loader.clock = HoldingClock(gate, 2, [raw] { return raw->cancel.load() == 1; });
    ASSERT_EQ(loader.Start(U(dir.Join("ct"))), 1);
    WaitFor(gate->reached);
  }  // the destructor cancels and joins; the file in progress is kept
  EXPECT_EQ(Shown(), 1);
}

}  // namespace
