#include "intake/drop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collection/collection.h"
#include "intake/loader.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace {

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }

std::string WriteFile(const fixture::TempDir& dir, const std::string& name, const std::string& sop) {
  fixture::SimpleFile recipe;
  recipe.sopInstanceUid = sop;
  return dir.Write(name, fixture::BuildSimpleFile(recipe));
}

TEST(DropTest, FilesLoadAtOnceInDropOrderWithAStatusTextEach) {
  fixture::TempDir dir;
  std::string a = WriteFile(dir, "c.dcm", "1.1");
  std::string b = WriteFile(dir, "a.dcm", "1.2");
  std::string bad = dir.Write("bad.dcm", {'x'});
  std::string c = WriteFile(dir, "b.dcm", "1.3");
  fixture::MessageRecorder recorder;
  StudyCollection collection;
  collection.window = recorder.window;

  std::vector<std::u16string> statuses;
  DropOutcome outcome = HandleDrop(plat::CreateDrop({U(a), U(b), U(bad), U(c)}), collection,
                                   [&](const std::u16string& text) { statuses.push_back(text); });
  EXPECT_EQ(outcome.filesLoaded, 3);
  EXPECT_EQ(outcome.rejected, std::vector<std::u16string>{U(bad)});
  EXPECT_EQ(outcome.folderRuns, 0);
  EXPECT_FALSE(collection.loader);  // no folder, no loader
  ASSERT_EQ(statuses.size(), 4u);
  EXPECT_EQ(statuses.back(), U(c) + u" 文件导入");
  EXPECT_EQ(statuses[2], U(bad) + u" 文件导入");

  // Loaded on this thread before HandleDrop returned, in the given order.
  ASSERT_EQ(collection.TakeAllPendingFiles(), 0);
  ASSERT_EQ(collection.patients.length, 1);
  SeriesEntry* series = collection.patients[0]->studies[0]->series[0];
  ASSERT_EQ(series->shownFiles.length, 3);
  EXPECT_EQ(series->shownFiles[0]->path, U(a));
  EXPECT_EQ(series->shownFiles[1]->path, U(b));
  EXPECT_EQ(series->shownFiles[2]->path, U(c));
}

TEST(DropTest, FoldersAndUnreadablePathsGoToTheLoaderOneRunEach) {
  fixture::TempDir dir;
  WriteFile(dir, "one/a.dcm", "1.1");
  WriteFile(dir, "two/a.dcm", "2.1");
  WriteFile(dir, "two/b", "2.2");
  std::string single = WriteFile(dir, "single.dcm", "3.1");
  fixture::MessageRecorder recorder;
  StudyCollection collection;
  collection.window = recorder.window;

  std::vector<std::u16string> statuses;
  DropOutcome outcome = HandleDrop(
      plat::CreateDrop({U(dir.Join("one")), U(dir.Join("missing")), U(single), U(dir.Join("two/"))}), collection,
      [&](const std::u16string& text) { statuses.push_back(text); });
  EXPECT_EQ(outcome.folderRuns, 3);
  EXPECT_EQ(outcome.filesLoaded, 1);
  EXPECT_EQ(statuses, std::vector<std::u16string>{U(single) + u" 文件导入"});
  ASSERT_TRUE(collection.loader);
  // Three runs, one after the other; the missing folder is an empty run.
  ASSERT_TRUE(recorder.PumpRuns(3));
  EXPECT_EQ(recorder.ProgressOnly(),
            (std::vector<fixture::LoaderMessage>{fixture::Progress(1, 1), fixture::Progress(1, -1),
                                                 fixture::Progress(0, -1), fixture::Progress(1, 2),
                                                 fixture::Progress(2, 2), fixture::Progress(2, -1)}));
  collection.TakeAllPendingFiles();
  EXPECT_EQ(collection.ShownFileCount(), 4);
}

}  // namespace
