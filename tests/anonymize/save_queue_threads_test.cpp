// Saving de-identified streams on writer threads: outcomes counted in the
// order files were handed over whichever thread saved them, every stream
// saved whole before the command returns, and replacement UIDs generated in
// file order. Runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/save_queue.h"
#include "collection/collection.h"
#include "platform/core/text.h"
#include "tests/anonymize/anonymize_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

using anonymize_fixture::Bytes;
using anonymize_internal::SaveJob;
using anonymize_internal::SaveQueue;
using fixture::TempDir;
namespace fs = std::filesystem;

std::u16string U(const std::string& s) { return plat::Utf8ToUtf16(s); }
std::string N(const std::u16string& s) { return plat::Utf16ToUtf8(s); }

// Job i of the queue test: its bytes, and how it ends.
Bytes ContentOf(int i) { return Bytes(1000 + 37 * static_cast<size_t>(i), static_cast<uint8_t>(i * 7 + 1)); }
bool KnownFailure(int i) { return i % 5 == 3; }  // failed before any write
bool Blocked(int i) { return i % 7 == 2; }       // its folder is a file

TEST(SaveQueue, CountsOutcomesInHandOverOrderAndSavesEveryStreamWhole) {
  struct Case {
    int32_t maxPending;
    int32_t writers;
  } cases[] = {{1, 1}, {4, 1}, {2, 2}, {4, 2}, {3, 0}};
  constexpr int kJobs = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pending " << c.maxPending << ", writers " << c.writers);
    TempDir dir;
    dir.Write("blocked", {9});
    AnonymizeResult result;
    std::vector<std::string> expectedFailures;
    {
      SaveQueue queue(result, c.maxPending, c.writers);
      for (int i = 0; i < kJobs; ++i) {
        SaveJob job;
        job.source = U("source-" + std::to_string(i));
        job.outputPath = U(dir.Join((Blocked(i) ? "blocked/" : "out/") + std::to_string(i)));
        if (KnownFailure(i)) {
          job.outcome = AnonymizeFailure::OutputTooLarge;
        } else {
          // The way the command fills streams: into a buffer the queue
          // hands back once the stream it held was saved.
          job.stream = queue.TakeBuffer();
          job.stream.length = 0;
          const Bytes content = ContentOf(i);
          ASSERT_TRUE(job.stream.Append(content.data(), static_cast<int64_t>(content.size())));
        }
        if (KnownFailure(i) || Blocked(i)) expectedFailures.push_back("source-" + std::to_string(i));
        queue.Add(std::move(job));
      }
      queue.Finish();
      // Everything is saved and counted once Finish returns.
      EXPECT_EQ(result.written + result.failed, kJobs);
    }
    EXPECT_EQ(result.failed, static_cast<int32_t>(expectedFailures.size()));
    ASSERT_EQ(result.failures.size(), expectedFailures.size());
    for (size_t k = 0; k < expectedFailures.size(); ++k) {
      const FileFailure& f = result.failures[k];
      EXPECT_EQ(N(f.path), expectedFailures[k]);
      const int i = std::stoi(expectedFailures[k].substr(7));
      EXPECT_EQ(f.reason, KnownFailure(i) ? AnonymizeFailure::OutputTooLarge : AnonymizeFailure::NotSaved);
      EXPECT_FALSE(f.outputPath.empty());
    }
    int saved = 0;
    for (int i = 0; i < kJobs; ++i) {
      if (KnownFailure(i) || Blocked(i)) continue;
      ++saved;
      EXPECT_EQ(fixture::ReadFileBytes(dir.Join("out/" + std::to_string(i))), ContentOf(i)) << i;
    }
    EXPECT_EQ(result.written, saved);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Join("out")), fs::directory_iterator()), saved);
  }
}

TEST(SaveQueue, LeavesTheLastOfSeveralCopiesBoundForOnePath) {
  for (int32_t writers : {1, 2}) {
    TempDir dir;
    AnonymizeResult result;
    constexpr int kJobs = 40;
    {
      SaveQueue queue(result, 4, writers);
      for (int i = 0; i < kJobs; ++i) {
        SaveJob job;
        job.source = U("source-" + std::to_string(i));
        job.outputPath = U(dir.Join("out/same"));
        const Bytes content = ContentOf(i);
        ASSERT_TRUE(job.stream.Append(content.data(), static_cast<int64_t>(content.size())));
        queue.Add(std::move(job));
      }
    }
    EXPECT_EQ(result.written, kJobs) << writers;
    EXPECT_EQ(fixture::ReadFileBytes(dir.Join("out/same")), ContentOf(kJobs - 1)) << writers;
  }
}

// The time part of a generated UID: "<root>.<kind>.<milliseconds>.<n>".
// The time part of a generated UID and its number within that millisecond
// (above the 22 bits of the process id), which order the UIDs of a process.
std::pair<uint64_t, uint64_t> TimeOfUid(const std::string& uid) {
  const size_t last = uid.rfind('.');
  const size_t before = uid.rfind('.', last - 1);
  return {std::stoull(uid.substr(before + 1, last - before - 1)), std::stoull(uid.substr(last + 1)) >> 22};
}

TEST(AnonymizeCollection, BuildsInFileOrderAndReportsFailuresInThatOrder) {
  TempDir dir;
  std::vector<std::string> sources;
  for (int folder = 0; folder < 4; ++folder) {
    for (int i = 0; i < 12; ++i) {
      const std::string f = std::to_string(folder), n = std::to_string(i);
      fixture::SimpleFile recipe;
      recipe.seriesUid = std::string("1.2.3.4.").append(folder % 2 == 0 ? "0" : "1");
      recipe.sopInstanceUid = std::string("1.2.3.9.").append(f).append(".").append(n);
      sources.push_back(dir.Write(std::string("f").append(f).append("/").append(n).append(".dcm"),
                                  fixture::BuildSimpleFile(recipe)));
    }
  }
  dir.Write("f2__Anony", {1, 2, 3});  // every copy of folder f2 fails
  StudyCollection collection;
  for (const std::string& p : sources) ASSERT_TRUE(collection.LoadFile(U(p))) << p;
  ASSERT_EQ(collection.TakeAllPendingFiles(), 0);

  // The order the command handles the files in.
  std::vector<std::string> order;
  {
    StudyCollection::ShapeReader reader(collection);
    for (PatientEntry* patient : reader.patients)
      for (StudyEntry* study : patient->studies)
        for (SeriesEntry* series : study->series)
          for (DicomFile* file : series->shownFiles) order.push_back(N(file->path));
  }
  ASSERT_EQ(order.size(), sources.size());

  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.written, 36);
  EXPECT_EQ(result.failed, 12);
  std::vector<std::string> failedInOrder;
  for (const std::string& path : order)
    if (path.find("/f2/") != std::string::npos) failedInOrder.push_back(path);
  ASSERT_EQ(result.failures.size(), failedInOrder.size());
  for (size_t k = 0; k < failedInOrder.size(); ++k) {
    EXPECT_EQ(N(result.failures[k].path), failedInOrder[k]);
    EXPECT_EQ(result.failures[k].reason, AnonymizeFailure::NotSaved);
  }

  // Every copy is whole when the command returns, and the instance UIDs,
  // generated one after another, follow the order of the files.
  std::pair<uint64_t, uint64_t> previous{0, 0};
  for (const std::string& path : order) {
    if (path.find("/f2/") != std::string::npos) continue;
    DicomFile out;
    out.Analyse(AnonymizedPathOf(U(path)));
    ASSERT_EQ(out.status, StatusImage) << path;
    const auto time = TimeOfUid(anonymize_fixture::ValueOf(out, 0x0008, 0x0018));
    EXPECT_GT(time, previous) << path;
    previous = time;
  }
}

}  // namespace
