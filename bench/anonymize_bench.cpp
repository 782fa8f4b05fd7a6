// De-identifying a folder of CT-like files, side by side with peer tools doing
// the same edits and with a plain copy of the folder (the physical limit):
//   tesmer      `tesmer anonymize DIR` of the same build tree: the folder
//               loaded as a drop, every file de-identified and written
//   gdcmanon    GDCM's `gdcmanon --dumb` blanking, replacing and removing the
//               same elements (libgdcm-tools)
//   dcmodify    DCMTK's `dcmodify` making the same edits in place on a copy
//   tesmer basic  `tesmer anonymize --profile basic --out OUT DIR`: the basic
//               confidentiality profile at every depth, with a random key
//   gdcmanon -e GDCM's basic profile (`gdcmanon -e`, with a certificate made
//               by openssl for the run, as it requires one)
//   cp -r       copying the folder
// and, in memory, building one file's de-identified stream.
//
//   anonymize_bench [--files N] [--dir DIR] [--keep] [google benchmark flags]
//
// The corpus (N files of about 0.5 MB, default 2000) is generated under DIR
// (default: a new folder in /tmp) and removed at the end with every output
// unless --keep. Every tool reads the same files from the page cache and
// writes into a folder of its own that did not exist before; what earlier
// runs wrote is flushed (and, as root, dropped from the cache) before each
// run, outside the timed part. Files deleted shortly before a run slow down
// the creation of new ones on ext4 for a few minutes, so the figures are
// steadier when nothing was deleted on that file system just before. Besides the
// time, `cpu_s` gives the tool's own CPU time (user and system), which a busy
// machine disturbs less.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "tests/support/dicom_builder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using fixture::DicomBuilder;
using fixture::Encoding;

int fileCount = 2000;
std::string root;  // holds corpus/ and the outputs

std::string CorpusDir() { return root + "/corpus"; }

// One CT slice: 512 x 512 pixels of 16 bits and the usual header elements,
// with a private group, a public sequence and every element the profile
// touches.
std::vector<uint8_t> CtSlice(int index) {
  char sop[64], number[16];
  std::snprintf(sop, sizeof sop, "1.2.826.0.1.3680043.2.1125.1.%d", index);
  std::snprintf(number, sizeof number, "%d", index + 1);
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, sop);
  fixture::CtImageIdentity(b, sop)
      .Text(0x0008, 0x0020, "DA", "20240102")
      .Text(0x0008, 0x0021, "DA", "20240102")
      .Text(0x0008, 0x0022, "DA", "20240102")
      .Text(0x0008, 0x0023, "DA", "20240102")
      .Text(0x0008, 0x0030, "TM", "101010")
      .Text(0x0008, 0x0031, "TM", "101010")
      .Text(0x0008, 0x0032, "TM", "101010")
      .Text(0x0008, 0x0033, "TM", "101010")
      .Text(0x0008, 0x0050, "SH", "ACC0001")
      .Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0008, 0x0070, "LO", "ACME MEDICAL")
      .Text(0x0008, 0x0080, "LO", "GENERAL HOSPITAL")
      .Text(0x0008, 0x0081, "ST", "1 HOSPITAL ROAD")
      .Text(0x0008, 0x0090, "PN", "WANG^WU")
      .Text(0x0008, 0x1040, "LO", "RADIOLOGY")
      .Text(0x0008, 0x103E, "LO", "CT HEAD 5mm")
      .Text(0x0008, 0x1050, "PN", "LI^SI");
  b.BeginSequence(0x0008, 0x1120).BeginItem().Uid(0x0008, 0x1150, "1.2.3").Uid(0x0008, 0x1155, "1.2.3.4")
      .EndItem().EndSequence();
  b.Text(0x0009, 0x0010, "LO", "ACME 1.0").Text(0x0009, 0x1001, "LO", "INTERNAL REF 42");
  b.Text(0x0010, 0x0010, "PN", "ZHANG^SAN")
      .Text(0x0010, 0x0020, "LO", "PID000123")
      .Text(0x0010, 0x0030, "DA", "19700101")
      .Text(0x0010, 0x0040, "CS", "M")
      .Text(0x0010, 0x1010, "AS", "054Y")
      .Text(0x0010, 0x1030, "DS", "70")
      .Text(0x0018, 0x0050, "DS", "5")
      .Text(0x0018, 0x0060, "DS", "120")
      .Uid(0x0020, 0x000D, "1.2.826.0.1.3680043.2.1125.1")
      .Uid(0x0020, 0x000E, "1.2.826.0.1.3680043.2.1125.1.1")
      .Text(0x0020, 0x0010, "SH", "1")
      .Text(0x0020, 0x0013, "IS", number)
      .Text(0x0020, 0x0032, "DS", "-125\\-125\\0");
  fixture::MonochromePixelModule(b, 512, 512);
  b.Text(0x0029, 0x0010, "LO", "ACME CSA").Element(0x0029, 0x1010, "OB", std::vector<uint8_t>(2048, 0x5A));
  b.Text(0x0040, 0x0245, "TM", "101010");
  std::vector<uint8_t> pixels(512 * 512 * 2);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 7 + index) & 0xFF);
  b.Element(0x7FE0, 0x0010, "OW", pixels);
  return b.Bytes();
}

void MakeCorpus() {
  fs::create_directories(CorpusDir());
  for (int i = 0; i < fileCount; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/IM%05d.dcm", i + 1);
    std::vector<uint8_t> bytes = CtSlice(i);
    std::FILE* f = std::fopen((CorpusDir() + name).c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "cannot write the corpus under %s\n", root.c_str());
      std::exit(1);
    }
  }
}

// The child's CPU time (user + system) of the last Spawn, in seconds.
double childCpuSeconds = 0;

// Runs a program with its own arguments (no shell); true when it exits 0.
bool Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1 /* O_WRONLY */, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1 /* O_WRONLY */, 0);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  childCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Every run writes into a folder that never existed, and nothing is deleted
// until the end: a file system without a journal (ext4 in this setup) skips
// recently freed inodes one by one when it creates files, so deleting one
// run's output would slow down the file creation of whichever run follows.
int runNumber = 0;
std::string FreshFolder(const char* tool) { return root + "/" + tool + "-" + std::to_string(++runNumber); }

std::string corpus;  // the corpus folder's current path

// Reads every file of a folder, so that the next run finds it in the page
// cache.
void Warm(const std::string& folder) {
  std::vector<char> chunk(1 << 20);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::FILE* f = std::fopen(entry.path().c_str(), "rb");
    if (f == nullptr) continue;
    while (std::fread(chunk.data(), 1, chunk.size(), f) == chunk.size()) {
    }
    std::fclose(f);
  }
}

// Flushes what earlier runs wrote, so that their write-back does not fall
// into the next run's time, and, where allowed (as root), drops the cached
// pages of those outputs, so that no run pays for reclaiming the memory of
// the runs before it. The next run's input is read back into the cache
// afterwards.
void Settle(const std::string& input) {
  ::sync();
  if (std::FILE* drop = std::fopen("/proc/sys/vm/drop_caches", "w")) {
    std::fputs("1", drop);
    std::fclose(drop);
  }
  Warm(input);
}

size_t CountFiles(const std::string& folder) {
  std::error_code ec;
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file()) ++n;
  return n;
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Times runs of a tool: `run` prepares its run, sets `start` right before
// starting the tool and returns the folder the tool wrote.
template <typename Run>
void TimeRuns(benchmark::State& state, Run run) {
  double cpu = 0;
  for (auto _ : state) {
    Settle(corpus);
    Clock::time_point start;
    std::string output = run(state, start);
    state.SetIterationTime(Seconds(start));
    cpu += childCpuSeconds;
    if (CountFiles(output) != static_cast<size_t>(fileCount)) state.SkipWithError("not every file was written");
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(fileCount) * 0.527, benchmark::Counter::kIsIterationInvariantRate);
}

// The anonymize command as a user runs it: `tesmer anonymize DIR`, from the
// same build tree. Its output folder is named after the source folder, so the
// corpus takes a fresh name before each run.
std::string tesmerPath;

void BM_Tesmer(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string renamed = FreshFolder("corpus");
    fs::rename(corpus, renamed);
    corpus = renamed;
    start = Clock::now();
    if (!Spawn({tesmerPath, "anonymize", corpus})) s.SkipWithError("tesmer anonymize failed");
    return corpus + "__Anony";
  });
}

std::vector<std::string> GdcmanonArgs(const std::string& output) {
  std::vector<std::string> args = {"gdcmanon", "--dumb", "--continue", "-i", corpus, "-o", output};
  for (const char* tag : {"0010,0030", "0010,0040", "0010,1010", "0010,1030", "0010,2160", "0010,21a0", "0010,4000",
                          "0008,0050", "0008,0080", "0008,0081", "0008,1040", "0008,1048", "0008,1050", "0008,1060",
                          "0010,21b0", "0008,0020", "0008,0021", "0008,0022", "0008,0023", "0008,0030", "0008,0031",
                          "0008,0032", "0008,0033"}) {
    args.push_back("--empty");
    args.push_back(tag);
  }
  for (const char* replacement :
       {"0010,0010=*********", "0010,0020=000000000", "0020,000d=2.25.1.1", "0020,000e=2.25.1.2",
        "0008,0018=2.25.1.3", "0040,0245=2.25.1.5"}) {
    args.push_back("--replace");
    args.push_back(replacement);
  }
  for (const char* tag : {"0009,0010", "0009,1001", "0029,0010", "0029,1010"}) {
    args.push_back("--remove");
    args.push_back(tag);
  }
  for (const char* mark : {"0012,0062=YES", "0012,0063=Basic Confidentiality Profile Anonymize"}) {
    args.push_back("--replace");
    args.push_back(mark);
  }
  return args;
}

void BM_GdcmanonDumb(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string output = FreshFolder("gdcmanon");
    fs::create_directories(output);
    start = Clock::now();
    if (!Spawn(GdcmanonArgs(output))) s.SkipWithError("gdcmanon failed (is libgdcm-tools installed?)");
    return output;
  });
}

// dcmodify edits in place, so each run works on a fresh copy (not timed).
void BM_Dcmodify(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string output = FreshFolder("dcmodify");
    if (!Spawn({"cp", "-r", corpus, output})) s.SkipWithError("cp failed");
    Settle(output);
    std::vector<std::string> args = {"dcmodify", "-nb", "-q", "-imt", "-ep", "-gst", "-gse", "-gin", "-nmu"};
    for (const char* tag : {"(0010,0030)", "(0010,0040)", "(0010,1010)", "(0010,1030)", "(0010,2160)", "(0010,21A0)",
                            "(0010,4000)", "(0008,0050)", "(0008,0080)", "(0008,0081)", "(0008,1040)", "(0008,1048)",
                            "(0008,1050)", "(0008,1060)", "(0010,21B0)", "(0008,0020)", "(0008,0021)", "(0008,0022)",
                            "(0008,0023)", "(0008,0030)", "(0008,0031)", "(0008,0032)", "(0008,0033)"}) {
      args.push_back("-ma");
      args.push_back(std::string(tag) + "=");
    }
    for (const char* edit : {"(0010,0010)=*********", "(0010,0020)=000000000", "(0040,0245)=2.25.1.5",
                             "(0012,0062)=YES", "(0012,0063)=Basic Confidentiality Profile Anonymize"}) {
      args.push_back("-i");
      args.push_back(edit);
    }
    for (const auto& entry : fs::directory_iterator(output)) args.push_back(entry.path().string());
    start = Clock::now();
    if (!Spawn(args)) s.SkipWithError("dcmodify failed (is dcmtk installed?)");
    return output;
  });
}

void BM_TesmerBasic(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string output = FreshFolder("basic");
    start = Clock::now();
    if (!Spawn({tesmerPath, "anonymize", "--profile", "basic", "--out", output, corpus}))
      s.SkipWithError("tesmer anonymize --profile basic failed");
    return output;
  });
}

// GDCM's basic profile encrypts the original values into the copy, so it
// needs a certificate: one made for the run.
std::string certificate;

void BM_GdcmanonBasic(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string output = FreshFolder("gdcmbasic");
    fs::create_directories(output);
    start = Clock::now();
    if (certificate.empty() || !Spawn({"gdcmanon", "-e", "-c", certificate, "--continue", "-i", corpus, "-o", output}))
      s.SkipWithError("gdcmanon -e failed (are libgdcm-tools and openssl installed?)");
    return output;
  });
}

void BM_CopyFolder(benchmark::State& state) {
  TimeRuns(state, [](benchmark::State& s, Clock::time_point& start) {
    std::string output = FreshFolder("copy");
    start = Clock::now();
    if (!Spawn({"cp", "-r", corpus, output})) s.SkipWithError("cp failed");
    return output;
  });
}

// The de-identified stream of one slice, in memory only.
void BM_BuildOneStream(benchmark::State& state) {
  std::vector<uint8_t> bytes = CtSlice(1);
  DicomFile file;
  file.AnalyseBytes(u"/corpus/IM00001.dcm", bytes.data(), bytes.size());
  AnonyProfile profile;
  if (!profile.BuildBasicProfile()) state.SkipWithError("no profile");
  profile.insertMarks = 1;
  for (auto _ : state) {
    if (!profile.BuildAnonymized(file)) state.SkipWithError("no stream");
    benchmark::DoNotOptimize(profile.output.data);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

}  // namespace

// One run per repetition; the repetitions of all tools are interleaved at
// random (see main), so that a busy moment of a shared machine does not fall
// on one tool alone. The minimum is the figure to compare.
void Folder(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
  b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BM_BuildOneStream);
BENCHMARK(BM_CopyFolder)->Apply(Folder);
BENCHMARK(BM_Tesmer)->Apply(Folder);
BENCHMARK(BM_GdcmanonDumb)->Apply(Folder);
BENCHMARK(BM_Dcmodify)->Apply(Folder);
BENCHMARK(BM_TesmerBasic)->Apply(Folder);
BENCHMARK(BM_GdcmanonBasic)->Apply(Folder);

int main(int argc, char** argv) {
  std::vector<char*> rest = {argv[0]};
  bool ownRoot = true;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
      fileCount = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      root = argv[++i];
      ownRoot = false;
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (fileCount <= 0) fileCount = 1;
  tesmerPath = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string();
  if (root.empty()) {
    char pattern[] = "/tmp/tesmer-anon-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    root = pattern;
  } else {
    fs::create_directories(root);
  }
  std::fprintf(stderr, "generating %d CT-like files under %s\n", fileCount, root.c_str());
  MakeCorpus();
  corpus = CorpusDir();
  if (Spawn({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", root + "/bench-key.pem", "-out",
             root + "/bench-cert.pem", "-days", "2", "-subj", "/CN=anonymize-bench"}))
    certificate = root + "/bench-cert.pem";
  ::sync();

  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  rest.insert(rest.begin() + 1, interleave);
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ec;
  if (keep) {
    std::fprintf(stderr, "corpus and outputs kept under %s\n", root.c_str());
  } else if (ownRoot) {
    fs::remove_all(root, ec);
  } else {
    std::vector<fs::path> made;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
      const std::string name = entry.path().filename().string();
      for (const char* prefix : {"corpus", "copy-", "gdcmanon-", "dcmodify-", "basic-", "gdcmbasic-", "bench-"})
        if (name.rfind(prefix, 0) == 0) made.push_back(entry.path());
    }
    for (const fs::path& path : made) fs::remove_all(path, ec);
  }
  return 0;
}
