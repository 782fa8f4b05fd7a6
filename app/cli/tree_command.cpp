// tesmer tree PATH…: loads the paths as a drop onto the window would (files
// at once on this thread, folders on the loader thread, whose end messages
// arrive through the message queue as they do in the window) and prints the
// collection: patients, their studies, series and files, in the collection's
// order. Exit status: 0 everything loaded, 1 some input was not loaded, 2 bad
// arguments.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/cli/commands.h"
#include "collection/collection.h"
#include "intake/intake.h"
#include "platform/core/drop.h"
#include "platform/core/file_system.h"
#include "platform/core/messages.h"
#include "platform/core/text.h"

namespace {

int Usage() {
  std::fputs("usage: tesmer tree PATH...\n"
             "  loads DICOM files, and the DICOM files directly inside folders, as a drop onto\n"
             "  the window would, and prints the patients, studies, series and files\n",
             stderr);
  return 2;
}

// Bytes as they are, except control characters, which could rewrite the
// terminal or break the one-node-per-line layout; quotes and backslashes are
// escaped inside quoted values.
void PutEscaped(std::FILE* out, const std::string& bytes, bool quoted) {
  if (quoted) std::fputc('"', out);
  for (unsigned char c : bytes) {
    if (c < 0x20 || c == 0x7F)
      std::fprintf(out, "\\x%02X", c);
    else if (quoted && (c == '"' || c == '\\'))
      std::fprintf(out, "\\%c", c);
    else
      std::fputc(c, out);
  }
  if (quoted) std::fputc('"', out);
}

void PutValue(const char* name, const std::u16string& text) {
  std::fprintf(stdout, " %s=", name);
  PutEscaped(stdout, plat::Utf16ToUtf8(text), true);
}

// Paths go out as the file system's own bytes.
void PutPath(std::FILE* out, const std::u16string& path) { PutEscaped(out, plat::PathToNative(path), false); }

void ReportNotLoaded(const std::u16string& path, const char* why) {
  std::fputs("tesmer tree: not loaded: ", stderr);
  PutPath(stderr, path);
  std::fprintf(stderr, ": %s\n", why);
}

// A path as the desktop would drop it: absolute, with links left as named.
std::u16string DropPathOf(const char* argument) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(argument), ec);
  std::string native = ec ? std::string(argument) : absolute.lexically_normal().string();
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  return plat::PathFromNative(native);
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
  bool options = true;
  for (int i = 0; i < argc; ++i) {
    if (options && std::strcmp(argv[i], "--") == 0) {
      options = false;
      continue;
    }
    if (options && argv[i][0] == '-') {
      std::fprintf(stderr, "tesmer tree: unknown option ");
      PutEscaped(stderr, argv[i], false);
      std::fputs("\n", stderr);
      return Usage();
    }
    if (argv[i][0] == '\0') return Usage();
    paths.push_back(DropPathOf(argv[i]));
  }
  if (paths.empty()) return Usage();

  // This thread plays the user-interface thread: a window of its own receives
  // the loader's messages through the real queue.
  int32_t runsEnded = 0;
  plat::HWND window = plat::CreateMessageWindow([&](plat::HWND, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == WM_LOAD_PROGRESS && lParam == -1) ++runsEnded;
    return intptr_t(0);
  });
  int exitCode = 0;
  {
    StudyCollection collection;
    collection.window = window;

    // A path that names nothing would give an empty folder run, as in the
    // window; it is also reported here.
    for (const std::u16string& path : paths) {
      if (plat::GetFileAttributesW(path) == plat::INVALID_FILE_ATTRIBUTES) {
        ReportNotLoaded(path, "no such file or folder");
        exitCode = 1;
      }
    }
    DropOutcome outcome = HandleDrop(plat::CreateDrop(paths), collection);
    for (const std::u16string& path : outcome.rejected) {
      ReportNotLoaded(path, "not a readable DICOM file");
      exitCode = 1;
    }
    plat::MSG msg;
    while (runsEnded < outcome.folderRuns && plat::GetMessageW(&msg) > 0) plat::DispatchMessageW(&msg);
    collection.StopLoader();  // the runs are over; this only joins the thread
    while (collection.TakeAllPendingFiles() != 0) {
    }

    // Folder candidates are chosen by name; those that did not load are
    // reported like dropped files.
    std::unordered_set<std::u16string> loaded;
    collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
      for (const DicomFile* file : series.shownFiles) loaded.insert(file->path);
    });
    for (const std::u16string& path : paths) {
      std::vector<std::u16string> candidates;
      if (!IsDirectory(path) || ListFolderFiles(path, candidates) < 0) continue;
      for (const std::u16string& candidate : candidates) {
        if (loaded.count(candidate) != 0) continue;
        ReportNotLoaded(candidate, "not a readable DICOM file");
        exitCode = 1;
      }
    }
    PrintTree(collection);
  }
  plat::DestroyWindow(window);
  std::fflush(stdout);
  return exitCode;
}
