// tesmer anonymize PATH…: loads the paths as a drop onto the window would
// (files at once, folders by their candidate files), runs the window's
// anonymize command over the whole collection, and reports every file that
// was not written. Exit status: 0 all written, 1 anything failed or nothing
// to write, 2 bad arguments.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "anonymize/anonymize.h"
#include "app/cli/commands.h"
#include "collection/collection.h"
#include "intake/intake.h"
#include "platform/core/drop.h"
#include "platform/core/file_system.h"
#include "platform/core/text.h"

namespace {

int Usage() {
  std::fputs("usage: tesmer anonymize PATH...\n"
             "  writes a de-identified copy of every DICOM file given, and of the DICOM files\n"
             "  directly inside every folder given, into a sibling folder named <folder>__Anony\n",
             stderr);
  return 2;
}

// Paths go out as the file system's own bytes.
void PutPath(std::FILE* out, const std::u16string& path) {
  std::string native = plat::PathToNative(path);
  std::fwrite(native.data(), 1, native.size(), out);
}

void ReportPath(const char* before, const std::u16string& path, const char* after) {
  std::fputs(before, stdout);
  PutPath(stdout, path);
  std::fputs(after, stdout);
  std::fputs("\n", stdout);
}

// The candidate files of the given folders that did not join the collection.
std::vector<std::u16string> SkippedCandidates(const StudyCollection& collection,
                                              const std::vector<std::u16string>& paths) {
  std::unordered_set<std::u16string> loaded;
  collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    for (DicomFile* file : series.shownFiles) loaded.insert(file->path);
  });
  std::vector<std::u16string> skipped;
  for (const std::u16string& path : paths) {
    std::vector<std::u16string> candidates;
    if (!IsDirectory(path) || ListFolderFiles(path, candidates) < 0) continue;
    for (std::u16string& candidate : candidates)
      if (loaded.count(candidate) == 0) skipped.push_back(std::move(candidate));
  }
  return skipped;
}

// A path as the desktop would drop it: absolute, with links left as named.
std::u16string DropPathOf(const char* argument) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(argument), ec);
  std::string native = ec ? std::string(argument) : absolute.lexically_normal().string();
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  return plat::PathFromNative(native);
}

// Drops the paths onto the collection and waits until the loader has taken
// in every folder, then moves the loaded files into the shown lists.
DropOutcome LoadAsDrop(StudyCollection& collection, const std::vector<std::u16string>& paths) {
  DropOutcome outcome = HandleDrop(plat::CreateDrop(paths), collection);
  while (collection.loader && collection.loader->running.load() != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  while (collection.TakeAllPendingFiles() != 0) std::this_thread::yield();
  return outcome;
}

}  // namespace

int RunAnonymizeCommand(int argc, char** argv) {
  std::vector<std::u16string> paths;
  bool options = true;
  for (int i = 0; i < argc; ++i) {
    if (options && std::strcmp(argv[i], "--") == 0) {
      options = false;
      continue;
    }
    if (options && argv[i][0] == '-') {
      std::fprintf(stderr, "tesmer anonymize: unknown option %s\n", argv[i]);
      return Usage();
    }
    if (argv[i][0] == '\0') return Usage();
    paths.push_back(DropPathOf(argv[i]));
  }
  if (paths.empty()) return Usage();

  // A path that names nothing would give an empty folder run in the
  // window; here it is reported instead.
  int32_t notLoaded = 0;
  std::vector<std::u16string> existing;
  for (const std::u16string& path : paths) {
    if (plat::GetFileAttributesW(path) != plat::INVALID_FILE_ATTRIBUTES) {
      existing.push_back(path);
      continue;
    }
    ReportPath("not loaded: ", path, ": no such file or folder");
    ++notLoaded;
  }

  StudyCollection collection;
  DropOutcome dropped = LoadAsDrop(collection, existing);
  for (const std::u16string& path : dropped.rejected) {
    ReportPath("not loaded: ", path, ": not a readable DICOM file");
    ++notLoaded;
  }
  // Candidates of a folder are chosen by their names alone; those that are
  // no DICOM files are mentioned but are not failures.
  for (const std::u16string& path : SkippedCandidates(collection, existing))
    ReportPath("skipped: ", path, ": not a readable DICOM file");

  AnonymizeResult result = AnonymizeCollection(collection);
  for (const FileFailure& failure : result.failures) {
    std::fputs("failed: ", stdout);
    PutPath(stdout, failure.path);
    if (!failure.outputPath.empty()) {
      std::fputs(" -> ", stdout);
      PutPath(stdout, failure.outputPath);
    }
    std::fprintf(stdout, ": %s\n", AnonymizeFailureText(failure.reason));
  }
  if (result.shownFiles == 0) {
    std::fputs("nothing to de-identify: no DICOM files were loaded\n", stdout);
    return 1;
  }
  std::string completion = plat::Utf16ToUtf8(CompletionText(result));
  std::fprintf(stdout, "%s: %d written, %d failed", completion.c_str(), result.written, result.failed);
  if (notLoaded > 0) std::fprintf(stdout, ", %d not loaded", notLoaded);
  std::fputs("\n", stdout);
  return result.failed == 0 && notLoaded == 0 ? 0 : 1;
}
