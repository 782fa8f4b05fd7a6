// Analysis throughput in memory, and the generator of the corpora that
// tools/bench-analysis.sh times `tesmer dump --json` on beside dcmdump and cat.
//
//   analysis_bench [google benchmark flags]      in-memory benchmarks
//   analysis_bench --make-corpus DIR             writes the three corpora:
//       DIR/native/native-400mb.dcm   one file of 400,000,000 bytes of native pixels
//       DIR/elements/elements-50k.dcm 50,000 small implicit-VR elements
//       DIR/small/IMnnnn.dcm          2,000 CT-like files of about 0.5 MB
//   analysis_bench --make-memory-corpus DIR      writes the two files that
//       tools/bench-dump-memory.sh measures the dump's memory on:
//       DIR/zeros-1024000000.dcm      a valid header, then zeros up to the size limit
//       DIR/elements-1m.dcm           1,000,000 small implicit-VR elements
//
// The in-memory cases analyse the same shapes (the native file scaled down to
// 64 MB so that a run stays short) and render every element the way the dump
// command does (name and value text).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "tests/support/dicom_builder.h"

namespace {

namespace fs = std::filesystem;
using fixture::DicomBuilder;
using fixture::Encoding;
using fixture::Length;

constexpr uint32_t kNativePixelBytes = 400000000;
constexpr int kManyElements = 50000;
constexpr int kSmallFiles = 2000;

// The header of a CT-like image whose Pixel Data holds `pixelBytes` bytes;
// the pixel value bytes themselves are not included.
std::vector<uint8_t> ImageHeader(int index, uint16_t rows, uint16_t columns, uint32_t pixelBytes) {
  char sop[64], number[16];
  std::snprintf(sop, sizeof sop, "1.2.826.0.1.3680043.2.1125.7.%d", index);
  std::snprintf(number, sizeof number, "%d", index + 1);
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, fixture::kCtImageStorage, sop);
  fixture::CtImageIdentity(b, sop)
      .Text(0x0008, 0x0020, "DA", "20240105")
      .Text(0x0008, 0x0030, "TM", "083015")
      .Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0008, 0x0080, "LO", "BENCH GENERAL HOSPITAL")
      .Text(0x0008, 0x103E, "LO", "CT HEAD 5mm")
      .Text(0x0010, 0x0010, "PN", "BENCH^PATIENT")
      .Text(0x0010, 0x0020, "LO", "P000042")
      .Text(0x0010, 0x0030, "DA", "19650412")
      .Text(0x0018, 0x0050, "DS", "5.0")
      .Uid(0x0020, 0x000D, "1.2.826.0.1.3680043.2.1125.7")
      .Uid(0x0020, 0x000E, "1.2.826.0.1.3680043.2.1125.7.1")
      .Text(0x0020, 0x0013, "IS", number)
      .Text(0x0020, 0x0032, "DS", "-125.0\\-125.0\\42.5");
  fixture::MonochromePixelModule(b, rows, columns).Header(0x7FE0, 0x0010, "OW", pixelBytes);
  return b.Bytes();
}

std::vector<uint8_t> ImageFile(int index, uint16_t rows, uint16_t columns) {
  const uint32_t pixelBytes = static_cast<uint32_t>(rows) * columns * 2;
  std::vector<uint8_t> bytes = ImageHeader(index, rows, columns, pixelBytes);
  const size_t start = bytes.size();
  bytes.resize(start + pixelBytes);
  for (uint32_t i = 0; i < pixelBytes; i += 2) {
    const uint16_t v = static_cast<uint16_t>((i / 2 * 7 + static_cast<uint32_t>(index)) & 0x0FFF);
    bytes[start + i] = static_cast<uint8_t>(v);
    bytes[start + i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return bytes;
}

// An implicit-VR little-endian file of `count` small elements: a few patient
// and study elements, then a Referenced Image Sequence whose items hold four
// elements each (class and instance UIDs, frame and instance numbers).
std::vector<uint8_t> ManyElementsFile(int count) {
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Meta(fixture::kImplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.826.0.1.3680043.2.1125.9.1");
  b.Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0010, 0x0010, "PN", "BENCH^MANY")
      .Text(0x0010, 0x0020, "LO", "P000043");
  int made = 3;
  b.BeginSequence(0x0008, 0x1140, Length::Undefined);
  ++made;
  char uid[64], number[16];
  for (int item = 0; made + 4 <= count; ++item) {
    std::snprintf(uid, sizeof uid, "1.2.826.0.1.3680043.2.1125.9.1.%d", item);
    std::snprintf(number, sizeof number, "%d", item + 1);
    b.BeginItem(Length::Undefined)
        .Uid(0x0008, 0x1150, "1.2.840.10008.5.1.4.1.1.2")
        .Uid(0x0008, 0x1155, uid)
        .Text(0x0008, 0x1160, "IS", number)
        .Text(0x0020, 0x0013, "IS", number)
        .EndItem();
    made += 4;
  }
  b.EndSequence();
  for (; made < count; ++made) b.Text(0x0020, 0x4000, "LT", "x");
  return b.Bytes();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

int MakeCorpus(const std::string& dir) {
  std::error_code ec;
  for (const char* sub : {"/native", "/elements", "/small"}) fs::create_directories(dir + sub, ec);

  // One native-pixel file of 400,000,000 pixel bytes (10,000 x 20,000 x 2),
  // written in slices so that it never sits in memory whole.
  {
    const std::string path = dir + "/native/native-400mb.dcm";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 1;
    std::vector<uint8_t> header = ImageHeader(0, 10000, 20000, kNativePixelBytes);
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    std::vector<uint8_t> slice(1 << 22);
    for (size_t i = 0; i < slice.size(); ++i) slice[i] = static_cast<uint8_t>(i * 131);
    for (uint32_t left = kNativePixelBytes; ok && left > 0;) {
      const size_t n = left < slice.size() ? left : slice.size();
      ok = std::fwrite(slice.data(), 1, n, out) == n;
      left -= static_cast<uint32_t>(n);
    }
    if (std::fclose(out) != 0 || !ok) return 1;
  }
  if (!WriteFile(dir + "/elements/elements-50k.dcm", ManyElementsFile(kManyElements))) return 1;
  for (int i = 0; i < kSmallFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/small/IM%04d.dcm", i);
    if (!WriteFile(dir + name, ImageFile(i, 512, 512))) return 1;
  }
  return 0;
}

// The file of zeros walks as 128 million empty elements until the record
// limit stops it; it is written sparse, as its zeros need no disk.
int MakeMemoryCorpus(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  DicomBuilder b(Encoding::ImplicitLittle);
  b.Preamble().Meta(fixture::kImplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.826.0.1.3680043.2.1125.9.2");
  const std::string zeros = dir + "/zeros-1024000000.dcm";
  if (!WriteFile(zeros, b.Bytes())) return 1;
  if (::truncate(zeros.c_str(), static_cast<off_t>(kMaxFileBytes)) != 0) return 1;
  return WriteFile(dir + "/elements-1m.dcm", ManyElementsFile(1000000)) ? 0 : 1;
}

// Renders every element as the dump command's JSON does: name and value text.
size_t RenderAll(const DicomFile& f) {
  size_t characters = 0;
  for (const DicomElement& e : f.elements) {
    characters += std::strlen(NameOfKeyUtf8(e.Key()));
    characters += ValueText(e, f).size();
  }
  return characters;
}

void RunAnalysis(benchmark::State& state, const std::vector<uint8_t>& bytes, bool render) {
  int64_t elements = 0;
  for (auto _ : state) {
    DicomFile f;
    f.AnalyseBytes(u"bench.dcm", bytes.data(), bytes.size());
    if (f.status < StatusImage) state.SkipWithError("analysis failed");
    elements += f.elements.length;
    if (render) benchmark::DoNotOptimize(RenderAll(f));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
  state.SetItemsProcessed(elements);
}

void BM_AnalyseNativePixels64MB(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = ImageFile(0, 4096, 8192);
  RunAnalysis(state, bytes, state.range(0) != 0);
}
BENCHMARK(BM_AnalyseNativePixels64MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Analyse50kImplicitElements(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = ManyElementsFile(kManyElements);
  RunAnalysis(state, bytes, state.range(0) != 0);
}
BENCHMARK(BM_Analyse50kImplicitElements)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_AnalyseSmallFile(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = ImageFile(1, 512, 512);
  RunAnalysis(state, bytes, state.range(0) != 0);
}
BENCHMARK(BM_AnalyseSmallFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A million tiny elements: the element list must grow in amortised constant
// time per record.
void BM_AnalyseMillionElements(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = ManyElementsFile(1000000);
  RunAnalysis(state, bytes, false);
}
BENCHMARK(BM_AnalyseMillionElements)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--make-corpus") == 0) {
    const int r = MakeCorpus(argv[2]);
    if (r != 0) std::fprintf(stderr, "cannot write the corpus under %s: %s\n", argv[2], std::strerror(errno));
    return r;
  }
  if (argc == 3 && std::strcmp(argv[1], "--make-memory-corpus") == 0) {
    const int r = MakeMemoryCorpus(argv[2]);
    if (r != 0) std::fprintf(stderr, "cannot write the files under %s: %s\n", argv[2], std::strerror(errno));
    return r;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
