// libFuzzer target over the in-memory analysis of one file.
//
// The first input byte chooses the options, the rest is the file:
//   bit 0  analyse a second time with the log kept as text and compare
//   bit 1  render every element (value text, log line, value by key)
// Whatever the bytes, the analysis must end, stay inside the buffer and leave
// records that every reader can use without leaving the file.
//
// At start-up the target writes a few well-formed seed files (explicit,
// implicit and big-endian files, nested sequences, fragments, a private value
// of undefined length, deflated data sets, bare explicit data sets) into the
// first corpus folder when that folder is empty.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <string_view>
#include <vector>

#include <sanitizer/asan_interface.h>

#include "analysis/character_set.h"
#include "analysis/dicom_file.h"
#include "analysis/transfer_syntax.h"
#include "analysis/value_text.h"
#include "tests/support/dicom_builder.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

void CheckRecords(const DicomFile& f, size_t n) {
  if (n <= 132) Check(f.status == StatusNotRead && f.elements.length == 0, "short file not read");
  else Check(f.status == StatusImage || f.status == StatusInterrupted || f.status == StatusComplete, "final status");
  Check(f.fileBytes.length == static_cast<int32_t>(n), "fileBytes keeps the whole input");
  // Records point into the walked bytes: the inflated copy of a deflated
  // data set, which starts with the meta group as read.
  const ByteBuffer<uint8_t>& walked = f.WalkedBytes();
  const int64_t size = walked.length;
  if (f.Deflated()) {
    Check(f.transferSyntaxIndex == kDeflatedExplicitLittleRow, "only a deflated syntax inflates");
    Check(f.DeflatedFrom() > 132 && f.DeflatedFrom() <= walked.length, "the inflated data set follows the meta group");
    Check(std::memcmp(walked.data, f.fileBytes.data, static_cast<size_t>(f.DeflatedFrom())) == 0,
          "the meta group is copied as read");
    Check(size - f.DeflatedFrom() <= kMaxFileBytes, "inflation is bounded");
  } else {
    Check(&walked == &f.fileBytes, "other files walk their bytes as read");
  }
  Check(f.elements.length <= f.recordLimit, "the record limit holds");

  int64_t lastTop = -1;
  for (const DicomElement& e : f.elements) {
    Check(e.offset >= 0 && e.offset + 7 <= size, "record starts inside the file");
    Check(e.end >= e.offset, "record ends at or after its start");
    Check(e.depth >= 0 && e.depth <= kMaxSequenceDepth, "depth within bounds");
    Check(e.vr != kNoVr, "every record has a VR");
    if (e.vr == vr::SQ) Check(e.length == -1, "sequences have length all ones");
    if (e.length >= 0) Check(static_cast<int64_t>(e.end) - e.length >= static_cast<int64_t>(e.offset) + 8,
                             "value starts after an 8- or 12-byte header");
    else Check(e.length == -1, "negative lengths are all ones");
    if (e.depth == 0) {
      Check(e.offset > lastTop, "top-level records move forward");
      lastTop = e.offset;
    }
    const uint8_t* first;
    int32_t count;
    f.ValueSpan(e, first, count);
    if (first != nullptr) {
      Check(first >= walked.data && first + count <= walked.data + walked.length, "value span inside the file");
    }
  }
  if (f.status == StatusImage || f.status == StatusComplete) {
    // The walk reached the end exactly: the last top-level record ends there,
    // and the image rule alone decides between the two statuses.
    int64_t lastTopEnd = -1;
    bool topLevelPixelData = false;
    for (const DicomElement& e : f.elements) {
      if (e.depth != 0) continue;
      lastTopEnd = e.end;
      if (e.Key() == MakeTagKey(0x7FE0, 0x0010)) topLevelPixelData = true;
    }
    Check(lastTopEnd == size, "a complete walk ends at the end of the file");
    const bool image = topLevelPixelData && IsAcceptedImageSyntax(f.transferSyntaxIndex);
    Check(image == (f.status == StatusImage), "image status rule");
  }
}

// The value's bytes through the decoders of the character sets with code
// extensions and the multi-byte ones, whole and cut short.
void DecodeInEverySet(const DicomElement& e, const DicomFile& f) {
  static const std::string_view kDeclarations[] = {
      "\\ISO 2022 IR 87\\ISO 2022 IR 159", "ISO 2022 IR 13\\ISO 2022 IR 87", "\\ISO 2022 IR 149\\ISO 2022 IR 58",
      "ISO 2022 IR 6\\ISO 2022 IR 100\\ISO 2022 IR 126", "ISO_IR 192", "GB18030", "ISO_IR 100",
  };
  const uint8_t* first;
  int32_t count;
  f.ValueSpan(e, first, count);
  if (first == nullptr) return;
  const size_t n = static_cast<size_t>(count < 4096 ? count : 4096);
  for (std::string_view d : kDeclarations) {
    const CharacterSet set = ParseCharacterSet(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    Check(set.declared, "known declarations parse");
    for (VrCode code : {vr::PN, vr::LT}) {
      const std::u16string whole = DecodeText(first, n, set, code);
      Check(whole.size() <= n, "one character at most per byte");
      (void)DecodeText(first, n / 2, set, code, true);
    }
  }
}

void RenderAll(const DicomFile& f) {
  int32_t counter = 0;
  for (const DicomElement& e : f.elements) {
    int32_t length = 0;
    std::u16string text = ValueText(e, f, &length);
    Check(length == e.length, "ValueText reports the length");
    // Numbers print in full ("%f" of a large double is long); every other
    // value text comes from at most 48 bytes.
    if (e.vr != vr::FL && e.vr != vr::FD) Check(text.size() <= 48 || text == u"{binary data}", "value text is short");
    std::u16string line = ElementLogLine(e, f, ++counter);
    Check(!line.empty(), "log line");
    (void)WholeValueText(e, f);
    (void)ValueTextIsPartial(e, f);
    DecodeInEverySet(e, f);
    if (e.depth == 0) {
      std::u16string out = u"untouched";
      int32_t r = f.ValueByKey(e.Key(), out);
      Check(r == -1 || r > 0, "ValueByKey result");
      if (r == -1) Check(out == u"untouched", "ValueByKey leaves the text alone on -1");
    }
  }
}

bool SameRecords(const DicomFile& a, const DicomFile& b) {
  if (a.status != b.status || a.elements.length != b.elements.length) return false;
  if (a.transferSyntaxIndex != b.transferSyntaxIndex || a.explicitVr != b.explicitVr ||
      a.littleEndian != b.littleEndian)
    return false;
  return a.elements.length == 0 ||
         std::memcmp(a.elements.data, b.elements.data, sizeof(DicomElement) * static_cast<size_t>(a.elements.length)) ==
         0;
}

// Seed files, each behind an option byte that turns everything on.
std::vector<std::vector<uint8_t>> Seeds() {
  using fixture::DicomBuilder;
  using fixture::Encoding;
  using fixture::Length;
  std::vector<std::vector<uint8_t>> seeds;
  for (Encoding enc : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
    fixture::SimpleFile recipe;
    recipe.encoding = enc;
    seeds.push_back(fixture::BuildSimpleFile(recipe));
  }
  {
    DicomBuilder b(Encoding::ExplicitLittle);
    b.Preamble().Meta(fixture::kExplicitLittle);
    b.BeginSequence(0x0008, 0x1140).BeginItem().Uid(0x0008, 0x1150, "1.2.3");
    b.BeginSequence(0x0008, 0x1155, Length::Defined).BeginItem(Length::Defined).Text(0x0010, 0x0010, "PN", "A");
    b.EndItem().EndSequence().EndItem().EndSequence();
    b.Header(0x0009, 0x1001, "UN", 0xFFFFFFFFu);
    b.SetEncoding(Encoding::ImplicitLittle).BeginItem().Text(0x0010, 0x0020, "LO", "ID").EndItem();
    b.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0}).SetEncoding(Encoding::ExplicitLittle);
    b.US(0x0028, 0x0010, 2);
    seeds.push_back(b.Bytes());
  }
  {
    DicomBuilder b(Encoding::ExplicitLittle);
    b.Preamble().Meta("1.2.840.10008.1.2.4.50");
    b.Text(0x0010, 0x0010, "PN", "DOE").EncapsulatedPixelData({{1, 2, 3, 4}, {5, 6}}, {0, 12});
    seeds.push_back(b.Bytes());
  }
  {
    DicomBuilder b(Encoding::ImplicitLittle);
    b.Text(0x0008, 0x0060, "CS", "MR").BeginSequence(0x0008, 0x1140, Length::Defined);
    b.BeginItem(Length::Defined).Uid(0x0008, 0x1150, "1.2").EndItem();
    b.BeginItem().Uid(0x0008, 0x1155, "1.2.3").EndItem().EndSequence();
    b.Header(0x0019, 0x1010, "UN", 0xFFFFFFFFu).BeginItem().Text(0x0010, 0x0010, "PN", "X").EndItem();
    b.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
    b.Text(0x0010, 0x0020, "LO", std::string(120, 'Z'));
    seeds.push_back(b.Bytes());
  }
  {
    // Deflated data sets, whole and cut short.
    fixture::SimpleFile recipe;
    recipe.pixelBytes = 64;
    std::vector<uint8_t> deflated = fixture::BuildDeflatedFile(recipe);
    seeds.push_back(deflated);
    deflated.resize(deflated.size() - 7);
    seeds.push_back(deflated);
  }
  for (Encoding enc : {Encoding::ExplicitLittle, Encoding::ExplicitBig}) {
    // Bare explicit data sets: no preamble, no meta group.
    DicomBuilder b(enc);
    b.Text(0x0008, 0x0060, "CS", "CT").Text(0x0010, 0x0010, "PN", "DOE^JOHN").US(0x0028, 0x0010, 2);
    b.BeginSequence(0x0008, 0x1140).BeginItem().Uid(0x0008, 0x1150, "1.2.3").EndItem().EndSequence();
    b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(150, 7));
    seeds.push_back(b.Bytes());
  }
  for (auto& s : seeds) s.insert(s.begin(), 0x03);
  return seeds;
}

bool FolderIsEmpty(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return false;
  bool empty = true;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The first argument that is not an option names the corpus folder the
  // fuzzer writes to.
  for (int i = 1; i < *argc; ++i) {
    const char* arg = (*argv)[i];
    if (arg[0] == '-') continue;
    struct stat st;
    if (stat(arg, &st) != 0 || !S_ISDIR(st.st_mode) || !FolderIsEmpty(arg)) break;
    int k = 0;
    for (const auto& seed : Seeds()) {
      std::string name = std::string(arg) + "/seed-" + std::to_string(k++);
      if (FILE* out = std::fopen(name.c_str(), "wb")) {
        std::fwrite(seed.data(), 1, seed.size(), out);
        std::fclose(out);
      }
    }
    break;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  ++data;
  --size;

  DicomFile quiet;
  quiet.AnalyseBytes(u"fuzz.dcm", data, size);
  CheckRecords(quiet, size);
  Check(size == 0 || std::memcmp(quiet.fileBytes.data, data, size) == 0, "fileBytes unchanged");
  if (options & 2) {
    // The spare capacity behind the file's bytes is poisoned while the
    // renderers run, so that a read past the end of the file is caught even
    // inside the rounded-up allocation.
    const ByteBuffer<uint8_t>& walked = quiet.WalkedBytes();
    const uint8_t* spare = walked.data + walked.length;
    const size_t spareBytes = static_cast<size_t>(walked.capacity - walked.length);
    if (walked.data) ASAN_POISON_MEMORY_REGION(spare, spareBytes);
    RenderAll(quiet);
    if (walked.data) ASAN_UNPOISON_MEMORY_REGION(spare, spareBytes);
  }

  if (options & 1) {
    DicomFile logged;
    logged.logToText = 1;
    logged.AnalyseBytes(u"fuzz.dcm", data, size);
    Check(SameRecords(quiet, logged), "the log does not change the walk");
    const std::u16string& log = logged.logText;
    Check(log.rfind(u"分析文件：fuzz.dcm\r\n", 0) == 0, "log starts with the path");
    if (size > 132) {
      const std::u16string done = u"文件分析完毕!\r\n\r\n\r\n", stopped = u"文件分析中断!\r\n\r\n\r\n";
      const std::u16string& tail = logged.status == StatusInterrupted ? stopped : done;
      Check(log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0,
            "log ends with the outcome");
    }
  }
  return 0;
}
