// Whether `tesmer anonymize` ever hands out one SOP Instance UID twice:
// repeated runs over one folder started back to back, then several runs over
// copies of the folder started at the same moment. Every copy's (0008,0018)
// is read back after each round and the repeats are counted. This is a
// check, not a timing: it prints what it counted and exits 1 on a repeat.
//
//   uid_repeat_bench [--files N] [--runs R] [--processes P]
//
// Defaults: 2000 files, 12 runs one after another, 8 processes at once.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/dicom_element.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The tesmer executable of the same build tree.
std::string Tesmer() {
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string();
}

void WriteFolder(const fixture::TempDir& dir, const std::string& folder, int files) {
  for (int i = 0; i < files; ++i) {
    fixture::SimpleFile recipe;
    recipe.sopInstanceUid = "1.2.826.0.1.3680043.2.1125.9." + std::to_string(i + 1);
    dir.Write(folder + "/IM" + std::to_string(i + 1), fixture::BuildSimpleFile(recipe));
  }
}

// Adds the SOP Instance UIDs of every copy in `folder` to `seen`; returns how
// many were there already.
int CountRepeats(const std::string& folder, std::unordered_set<std::string>& seen, int& read) {
  int repeats = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    DicomFile copy;
    copy.Analyse(plat::PathFromNative(entry.path().string()));
    std::u16string uid;
    if (copy.ValueByKey(MakeTagKey(0x0008, 0x0018), uid) < 1) continue;
    ++read;
    if (!seen.insert(plat::Utf16ToUtf8(uid)).second) ++repeats;
  }
  return repeats;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 2000, runs = 12, processes = 8;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--processes") == 0) processes = std::atoi(argv[i + 1]);
  }
  fixture::TempDir dir;
  std::unordered_set<std::string> seen;
  int read = 0, repeats = 0;

  WriteFolder(dir, "serial", files);
  for (int run = 0; run < runs; ++run) {
    const fixture::ProgramRun done = fixture::RunProgram({Tesmer(), "anonymize", dir.Join("serial")});
    if (done.exit != 0) {
      std::fprintf(stderr, "run %d failed:\n%s", run + 1, done.out.c_str());
      return 2;
    }
    repeats += CountRepeats(dir.Join("serial__Anony"), seen, read);
  }
  std::printf("%d runs one after another of %d files: %d UIDs read, %d repeated\n", runs, files, read, repeats);

  for (int p = 0; p < processes; ++p) WriteFolder(dir, "at-once-" + std::to_string(p), files);
  std::vector<std::thread> starters;
  for (int p = 0; p < processes; ++p)
    starters.emplace_back([&, p] { fixture::RunProgram({Tesmer(), "anonymize", dir.Join("at-once-" + std::to_string(p))}); });
  for (std::thread& t : starters) t.join();
  int atOnceRead = 0, atOnceRepeats = 0;
  for (int p = 0; p < processes; ++p)
    atOnceRepeats += CountRepeats(dir.Join("at-once-" + std::to_string(p) + "__Anony"), seen, atOnceRead);
  std::printf("%d processes at once of %d files: %d UIDs read, %d repeated (against each other and the runs)\n",
              processes, files, atOnceRead, atOnceRepeats);
  return repeats + atOnceRepeats == 0 && read == runs * files && atOnceRead == processes * files ? 0 : 1;
}
