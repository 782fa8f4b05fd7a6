// The loader thread fills the collection from a few hundred files while this
// thread plays the user-interface thread: it loads dropped single files,
// takes pending files, walks every array and counts, as drawing does.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "collection/collection.h"
#include "intake/drop.h"
#include "intake/loader.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace {

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }

constexpr int kFolders = 4;
constexpr int kFilesPerFolder = 75;
constexpr int kSingleFiles = 24;

// Patients, studies and series vary with the file number so that the loader
// keeps creating entries (and growing arrays) while the tree is read.
fixture::SimpleFile Spec(int folder, int i) {
  fixture::SimpleFile recipe;
  recipe.patientName = "PATIENT^" + std::to_string(i % 7);
  recipe.patientId = "ID" + std::to_string(i % 7);
  recipe.studyUid = "1.2.840.9." + std::to_string(i % 3);
  recipe.seriesUid = "1.2.840.9." + std::to_string(i % 3) + "." + std::to_string(i % 5 + folder * 10);
  recipe.seriesDescription = "SERIES" + std::to_string(i % 5);
  recipe.sopInstanceUid = "1.2.840.9.9." + std::to_string(folder) + "." + std::to_string(i);
  return recipe;
}

// What one walk of the tree found, with the tree's links checked on the way.
struct Walk {
  int files = 0;
  int series = 0;
  bool linksHold = true;
};

Walk WalkTree(const StudyCollection& collection, std::unordered_set<const DicomFile*>& everSeen) {
  Walk walk;
  collection.ForEachSeries([&](PatientEntry& patient, StudyEntry& study, SeriesEntry& series) {
    ++walk.series;
    walk.linksHold = walk.linksHold && patient.owner == &collection && study.parent == &patient &&
                     series.parent == &study;
    for (const DicomFile* file : series.shownFiles) {
      walk.linksHold = walk.linksHold && file->series == &series && file->status >= 1;
      everSeen.insert(file);
      ++walk.files;
    }
  });
  return walk;
}

TEST(LoaderStressTest, EveryFileIsShownExactlyOnceWhileTheTreeIsReadThroughout) {
  fixture::TempDir dir;
  std::set<std::u16string> expectedPaths;
  for (int f = 0; f < kFolders; ++f)
    for (int i = 0; i < kFilesPerFolder; ++i) {
      std::string path = dir.Write("f" + std::to_string(f) + "/IM" + std::to_string(i),
                                   fixture::BuildSimpleFile(Spec(f, i)));
      expectedPaths.insert(U(path));
    }
  std::vector<std::u16string> singles;
  for (int i = 0; i < kSingleFiles; ++i) {
    std::string path = dir.Write("single/s" + std::to_string(i) + ".dcm", fixture::BuildSimpleFile(Spec(9, i)));
    singles.push_back(U(path));
    expectedPaths.insert(U(path));
  }

  fixture::MessageRecorder recorder;
  StudyCollection collection;
  collection.window = recorder.window;
  for (int f = 0; f < kFolders; ++f)
    ASSERT_EQ(StartFolderRun(collection, U(dir.Join("f" + std::to_string(f)))), f == 0 ? 1 : 2);

  std::unordered_set<const DicomFile*> everSeen;
  int lastCount = 0;
  int walks = 0;
  size_t nextSingle = 0;
  bool ended = false;
  const uint32_t start = plat::GetTickCount();
  while (!ended || nextSingle < singles.size()) {
    ASSERT_LT(plat::GetTickCount() - start, 120000u) << "the runs did not end";
    plat::MSG msg;
    if (plat::GetMessageW(&msg, 1) == 1) plat::DispatchMessageW(&msg);
    ended = recorder.EndsSeen() == kFolders && recorder.RedrawsAfterLastEnd() >= 2;
    // Single files dropped while the folders load.
    if (nextSingle < singles.size() && walks % 3 == 0) {
      DropOutcome outcome = HandleDrop(plat::CreateDrop({singles[nextSingle++]}), collection);
      ASSERT_EQ(outcome.filesLoaded, 1);
    }
    collection.TakeAllPendingFiles();
    Walk walk = WalkTree(collection, everSeen);
    ASSERT_TRUE(walk.linksHold);
    ASSERT_GE(walk.files, lastCount) << "shown files never go away";
    lastCount = walk.files;
    ++walks;
  }

  // Runs and drops are over: the last take moves everything.
  EXPECT_EQ(collection.TakeAllPendingFiles(), 0);
  Walk final = WalkTree(collection, everSeen);
  EXPECT_TRUE(final.linksHold);
  EXPECT_EQ(final.files, kFolders * kFilesPerFolder + kSingleFiles);
  EXPECT_EQ(everSeen.size(), static_cast<size_t>(final.files));  // no file ever appeared twice or vanished

  std::multiset<std::u16string> shownPaths;
  collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    EXPECT_EQ(series.pendingFiles.length, 0);
    for (const DicomFile* file : series.shownFiles) shownPaths.insert(file->path);
  });
  EXPECT_EQ(std::set<std::u16string>(shownPaths.begin(), shownPaths.end()), expectedPaths);
  EXPECT_EQ(shownPaths.size(), expectedPaths.size());  // each exactly once

  // Progress covered every file of every run, in run order.
  std::vector<fixture::LoaderMessage> ends;
  for (const auto& m : recorder.ProgressOnly())
    if (m.lParam == -1) ends.push_back(m);
  ASSERT_EQ(ends.size(), static_cast<size_t>(kFolders));
  for (const auto& e : ends) EXPECT_EQ(e.wParam, kFilesPerFolder);

  // 7 patients; each folder adds studies of its own; the tree held together.
  EXPECT_EQ(collection.patients.length, 7);
  EXPECT_GT(walks, 1);
}

}  // namespace
