// Time per frame of the work panel at 1200 x 800, painted through its own
// repaint into a headless window:
//   - a file list of 10,000 files (100 patients of 100), scrolled to its
//     middle, beside the tag list of the current file;
//   - the single tag list of a 50,000-element file scrolled to its middle;
//   - the comparison of two such files, scrolled to the middle, with the hex
//     panel open.
// The target is under 8 ms per frame for each.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "platform/window/window.h"
#include "tests/support/dicom_builder.h"
#include "views/show_work.h"

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 800;

std::vector<uint8_t> PatientFile(int patient, int instance) {
  fixture::SimpleFile recipe;
  recipe.patientName = "PATIENT^" + std::to_string(patient);
  recipe.patientId = "ID" + std::to_string(patient);
  recipe.sopInstanceUid = "1.2.3.4.5.6.7." + std::to_string(patient) + "." + std::to_string(instance);
  return fixture::BuildSimpleFile(recipe);
}

// A file of `count` elements: text elements in ascending tags, every
// `differEvery`-th value changed so that two such files differ there.
std::vector<uint8_t> LargeFile(int count, int differEvery) {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4");
  b.Text(0x0010, 0x0010, "PN", "LARGE^FILE");
  for (int i = 0; i < count; ++i) {
    const uint16_t group = static_cast<uint16_t>(0x0011 + 2 * (i / 40000));
    const uint16_t element = static_cast<uint16_t>(0x1000 + i % 40000);
    std::string value = "VALUE " + std::to_string(i);
    if (differEvery > 0 && i % differEvery == 0) value += " CHANGED";
    b.Text(group, element, "LO", value);
  }
  return b.Bytes();
}

// A panel painting into a headless window.
class Bench {
 public:
  Bench() {
    plat::WNDCLASSW windowClass;
    windowClass.name = u"ViewsBench";
    windowClass.proc = [](plat::HWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return plat::DefWindowProcW(w, m, wp, lp); };
    plat::RegisterClassW(windowClass);
    window_ = plat::CreateWindowExW(0, u"ViewsBench", u"", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, kWidth, kHeight,
                                    plat::HWND{}, 0);
    panel = std::make_unique<ShowWork>();
    panel->SetWindows(window_, window_);
  }
  ~Bench() {
    panel.reset();
    plat::DestroyWindow(window_);
  }
  int32_t Add(const std::vector<uint8_t>& bytes, const std::u16string& path) {
    auto* file = new DicomFile;
    file->AnalyseBytes(path, bytes.data(), bytes.size());
    int32_t serial = file->serial;
    panel->collection.AddAnalysedFile(file);
    return serial;
  }

  std::unique_ptr<ShowWork> panel;

 private:
  plat::HWND window_;
};

void BM_FileListOf10000Files(benchmark::State& state) {
  Bench bench;
  int32_t first = -1;
  for (int p = 0; p < 100; ++p)
    for (int i = 0; i < 100; ++i) {
      int32_t serial = bench.Add(PatientFile(p, i), u"/data/p" + std::u16string(1, u'0' + p % 10) + u"/f.dcm");
      if (first == -1) first = serial;
    }
  ShowWork& panel = *bench.panel;
  panel.Redraw();
  panel.SetCurrentFile(first);
  panel.Redraw();
  panel.fileScroll = -(panel.fileContentHeight / 2);
  for (auto _ : state) panel.Redraw();
  state.counters["files"] = panel.collection.ShownFileCount();
}
BENCHMARK(BM_FileListOf10000Files)->Unit(benchmark::kMillisecond);

void BM_TagListOf50000Elements(benchmark::State& state) {
  Bench bench;
  int32_t serial = bench.Add(LargeFile(50000, 0), u"/data/large/a.dcm");
  ShowWork& panel = *bench.panel;
  panel.Redraw();
  panel.SetCurrentFile(serial);
  panel.Redraw();
  panel.tagScroll = -(panel.tagContentHeight / 2);
  for (auto _ : state) panel.Redraw();
  state.counters["elements"] = panel.FindFileBySerial(serial)->elements.length;
}
BENCHMARK(BM_TagListOf50000Elements)->Unit(benchmark::kMillisecond);

void BM_CompareTwo50000ElementFilesWithHexPanel(benchmark::State& state) {
  Bench bench;
  int32_t a = bench.Add(LargeFile(50000, 0), u"/data/large/a.dcm");
  int32_t b = bench.Add(LargeFile(50000, 7), u"/data/large/b.dcm");
  ShowWork& panel = *bench.panel;
  panel.Redraw();
  panel.SetCurrentFile(a);
  panel.Redraw();
  panel.SetCompareFile(b);
  panel.tagScroll = -(panel.tagContentHeight / 2);
  panel.hexRow = panel.alignment.length / 2;
  panel.Redraw();
  for (auto _ : state) panel.Redraw();
  state.counters["rows"] = panel.alignment.length;
  state.counters["hexShown"] = panel.hexShown;
}
BENCHMARK(BM_CompareTwo50000ElementFilesWithHexPanel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
