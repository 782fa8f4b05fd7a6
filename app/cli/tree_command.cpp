// tesmer tree PATH…: loads the paths as a drop onto the window would (files
// at once on this thread, folders on the loader thread, whose end messages
// arrive through the message queue as they do in the window) and prints the
// collection: patients, their studies, series and files, in the collection's
// order. Exit status: 0 everything loaded, 1 some input was not loaded, 2 bad
// arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/commands.h"
#include "app/cli/drop_loading.h"
#include "collection/collection.h"
#include "platform/core/text.h"

namespace {

int Usage() {
  std::fputs("usage: tesmer tree [-r] PATH...\n"
             "  loads DICOM files, and the DICOM files directly inside folders, as a drop onto\n"
             "  the window would, and prints the patients, studies, series and files\n"
             "  -r  also every folder below the folders given, taking files by their content\n",
             stderr);
  return 2;
}

void PutValue(const char* name, const std::u16string& text) {
  std::fprintf(stdout, " %s=", name);
  PutEscaped(stdout, plat::Utf16ToUtf8(text), true);
}

void PrintTree(const StudyCollection& collection) {
  StudyCollection::ShapeReader reader(collection);
  int32_t patientNumber = 0;
  for (const PatientEntry* patient : reader.patients) {
    std::fprintf(stdout, "patient %d", ++patientNumber);
    PutValue("label", patient->label);
    PutValue("name", patient->patientName);
    PutValue("id", patient->patientId);
    std::fputs("\n", stdout);
    int32_t studyNumber = 0;
    for (const StudyEntry* study : patient->studies) {
      std::fprintf(stdout, "  study %d", ++studyNumber);
      std::fputs(" folder=\"", stdout);
      PutPath(stdout, study->folder);
      std::fputs("\"", stdout);
      PutValue("uid", study->studyInstanceUid);
      PutValue("id", study->studyId);
      PutValue("date", study->studyDate);
      PutValue("description", study->studyDescription);
      std::fputs("\n", stdout);
      int32_t seriesNumber = 0;
      for (const SeriesEntry* series : study->series) {
        std::fprintf(stdout, "    series %d", ++seriesNumber);
        PutValue("uid", series->seriesInstanceUid);
        PutValue("description", series->seriesDescription);
        std::fputs("\n", stdout);
        // The file's number is its serial, the identity the views use.
        for (const DicomFile* file : series->shownFiles) {
          std::fprintf(stdout, "      file %d ", file->serial);
          PutPath(stdout, file->path);
          std::fputs("\n", stdout);
        }
      }
    }
  }
}

}  // namespace

int RunTreeCommand(int argc, char** argv) {
  std::vector<std::u16string> paths;
  bool recursive = false;
  if (!ReadDropPaths("tree", argc, argv, paths, &recursive)) return Usage();

  StudyCollection collection;
  collection.includeSubfolders = recursive;
  int exitCode = 0;
  DropLeftOut leftOut;
  const std::vector<NotLoaded> notLoaded = LoadPathsAsDrop(collection, paths, &leftOut);
  if (leftOut.subfoldersWithFiles > 0)
    std::fprintf(stderr, "tesmer tree: %d subfolders holding files were not loaded (-r loads them)\n",
                 leftOut.subfoldersWithFiles);
  for (const NotLoaded& input : notLoaded) {
    std::fputs("tesmer tree: not loaded: ", stderr);
    PutPath(stderr, input.path);
    std::fprintf(stderr, ": %s\n", input.reason);
    exitCode = 1;
  }
  PrintTree(collection);
  std::fflush(stdout);
  return exitCode;
}
