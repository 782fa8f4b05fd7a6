#include "app/cli/drop_loading.h"

#include <cstring>
#include <filesystem>
#include <unordered_set>

#include "collection/collection.h"
#include "intake/intake.h"
#include "platform/core/drop.h"
#include "platform/core/file_system.h"
#include "platform/core/messages.h"
#include "platform/core/text.h"

std::u16string DropPathOf(const char* argument) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(argument), ec);
  std::string native = ec ? std::string(argument) : absolute.lexically_normal().string();
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  return plat::PathFromNative(native);
}

bool ReadDropPaths(const char* command, int argc, char** argv, std::vector<std::u16string>& paths,
                   bool* recursive) {
  bool options = true;
  for (int i = 0; i < argc; ++i) {
    if (options && std::strcmp(argv[i], "--") == 0) {
      options = false;
      continue;
    }
    if (options && recursive != nullptr && (std::strcmp(argv[i], "-r") == 0 || std::strcmp(argv[i], "--recursive") == 0)) {
      *recursive = true;
      continue;
    }
    if (options && argv[i][0] == '-') {
      std::fprintf(stderr, "tesmer %s: unknown option ", command);
      PutEscaped(stderr, argv[i]);
      std::fputs("\n", stderr);
      return false;
    }
    if (argv[i][0] == '\0') return false;
    paths.push_back(DropPathOf(argv[i]));
  }
  return !paths.empty();
}

std::vector<NotLoaded> LoadPathsAsDrop(StudyCollection& collection, const std::vector<std::u16string>& paths,
                                       DropLeftOut* leftOut) {
  std::vector<NotLoaded> notLoaded;
  // A path that names nothing gives an empty folder run, as in the window.
  for (const std::u16string& path : paths)
    if (plat::GetFileAttributesW(path) == plat::INVALID_FILE_ATTRIBUTES)
      notLoaded.push_back({path, "no such file or folder"});

  // This thread plays the user-interface thread: a window of its own
  // receives the loader's messages through the real queue.
  int32_t runsEnded = 0;
  plat::HWND window = plat::CreateMessageWindow([&](plat::HWND, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == WM_LOAD_PROGRESS && lParam == -1) ++runsEnded;
    return intptr_t(0);
  });
  collection.window = window;
  DropOutcome outcome = HandleDrop(plat::CreateDrop(paths), collection);
  for (const std::u16string& path : outcome.rejected) notLoaded.push_back({path, "not a readable DICOM file"});
  plat::MSG msg;
  while (runsEnded < outcome.folderRuns && plat::GetMessageW(&msg) > 0) plat::DispatchMessageW(&msg);
  collection.StopLoader();  // the runs are over; this only joins the thread
  collection.window = plat::HWND{};
  plat::DestroyWindow(window);
  while (collection.TakeAllPendingFiles() != 0) {
  }

  // Folder candidates that did not load are reported like dropped files,
  // and what the listing left out is counted.
  std::unordered_set<std::u16string> loaded;
  collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    for (const DicomFile* file : series.shownFiles) loaded.insert(file->path);
  });
  const bool recursive = collection.includeSubfolders.load();
  for (const std::u16string& path : paths) {
    std::vector<std::u16string> candidates;
    FolderListingCounts counts;
    if (!IsDirectory(path)) continue;
    if ((recursive ? ListFolderTree(path, candidates, &counts) : ListFolderFiles(path, candidates, &counts)) < 0)
      continue;
    if (leftOut != nullptr) {
      leftOut->subfoldersWithFiles += counts.subfoldersWithFiles;
      leftOut->notDicom += counts.notDicom;
    }
    for (std::u16string& candidate : candidates)
      if (loaded.count(candidate) == 0) notLoaded.push_back({std::move(candidate), "not a readable DICOM file"});
  }
  return notLoaded;
}

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

void PutPath(std::FILE* out, const std::u16string& path) { PutEscaped(out, plat::PathToNative(path)); }
