// tesmer anonymize PATH…: loads the paths as a drop onto the window would
// (files at once, folders by their candidate files on the loader thread),
// runs the window's anonymize command over the whole collection, and reports
// every input that was not loaded and every file that was not written, then
// a summary. Exit status: 0 everything loaded and written, 1 anything not
// loaded or not written (or nothing to write), 2 bad arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "anonymize/anonymize.h"
#include "app/cli/commands.h"
#include "app/cli/drop_loading.h"
#include "collection/collection.h"
#include "platform/core/text.h"

namespace {

int Usage() {
  std::fputs("usage: tesmer anonymize [-r] PATH...\n"
             "  writes a de-identified copy of every DICOM file given, and of the DICOM files\n"
             "  directly inside every folder given, into a sibling folder named <folder>__Anony\n"
             "  -r  also every folder below the folders given, taking files by their content\n",
             stderr);
  return 2;
}

}  // namespace

int RunAnonymizeCommand(int argc, char** argv) {
  std::vector<std::u16string> paths;
  bool recursive = false;
  if (!ReadDropPaths("anonymize", argc, argv, paths, &recursive)) return Usage();

  StudyCollection collection;
  collection.includeSubfolders = recursive;
  DropLeftOut leftOut;
  const std::vector<NotLoaded> notLoaded = LoadPathsAsDrop(collection, paths, &leftOut);
  if (leftOut.subfoldersWithFiles > 0)
    std::fprintf(stdout, "skipped: %d subfolders holding files (-r loads them)\n", leftOut.subfoldersWithFiles);
  for (const NotLoaded& input : notLoaded) {
    std::fputs("not loaded: ", stdout);
    PutPath(stdout, input.path);
    std::fprintf(stdout, ": %s\n", input.reason);
  }

  const AnonymizeResult result = AnonymizeCollection(collection);
  for (const FileFailure& failure : result.failures) {
    std::fputs("failed: ", stdout);
    PutPath(stdout, failure.path);
    if (!failure.outputPath.empty()) {
      std::fputs(" -> ", stdout);
      PutPath(stdout, failure.outputPath);
    }
    std::fprintf(stdout, ": %s\n", FailureDescription(failure).c_str());
  }
  if (result.shownFiles == 0) {
    std::fputs("nothing to de-identify: no DICOM files were loaded\n", stdout);
    return 1;
  }
  const std::string completion = plat::Utf16ToUtf8(CompletionText(result));
  std::fprintf(stdout, "%s: %d written, %d failed", completion.c_str(), result.written, result.failed);
  if (!notLoaded.empty()) std::fprintf(stdout, ", %d not loaded", static_cast<int>(notLoaded.size()));
  std::fputs("\n", stdout);
  std::fflush(stdout);
  return result.failed == 0 && notLoaded.empty() ? 0 : 1;
}
