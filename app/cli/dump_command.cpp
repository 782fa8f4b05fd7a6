// tesmer dump [--json] [--log] PATH…: the analysis of each file as element
// lines (indented by depth), the whole analysis log, or one JSON object per
// file per line.
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "app/cli/commands.h"
#include "app/cli/json_text.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace {

enum class DumpMode { Elements, Log, Json };

// JSON output is built by hand: a file of tens of thousands of elements makes
// hundreds of thousands of small appends, and printf-style formatting of each
// would cost more than the whole analysis.

void AppendInt(std::string& out, long long v) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, r.ptr);
}

void AppendHex4(std::string& out, uint16_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  const char digits[4] = {kDigits[v >> 12], kDigits[(v >> 8) & 0xF], kDigits[(v >> 4) & 0xF], kDigits[v & 0xF]};
  out.append(digits, 4);
}

void Write(const std::string& text, FILE* stream) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// Output goes to its stream in pieces of about a megabyte, so that a file of
// millions of elements never has its whole output in memory. Without a
// stream it stays in `out` for a writer to take.
constexpr size_t kOutputPiece = size_t{1} << 20;
void Spill(std::string& out, FILE* stream) {
  if (stream != nullptr && out.size() >= kOutputPiece) {
    Write(out, stream);
    out.clear();
  }
}

void AppendJson(std::string& out, const DicomFile& file, FILE* stream = nullptr) {
  out += "{\"path\":";
  AppendJsonString(out, file.path);
  out += ",\"status\":";
  AppendInt(out, file.status);
  out += ",\"transferSyntaxIndex\":";
  AppendInt(out, file.transferSyntaxIndex);
  out += ",\"explicitVr\":";
  AppendInt(out, file.explicitVr);
  out += ",\"littleEndian\":";
  AppendInt(out, file.littleEndian);
  out += ",\"elements\":[";
  // About 150 bytes per element: one allocation instead of a growth series.
  if (stream == nullptr) out.reserve(out.size() + static_cast<size_t>(file.elements.length) * 160);
  bool first = true;
  for (const DicomElement& e : file.elements) {
    Spill(out, stream);
    if (!first) out.push_back(',');
    first = false;
    out += "{\"tag\":\"";
    AppendHex4(out, e.group);
    out.push_back(',');
    AppendHex4(out, e.element);
    out += "\",\"vr\":";
    if (e.vr == kNoVr) {
      out += "\"\"";
    } else {
      const char16_t letters[2] = {static_cast<char16_t>(e.vr & 0xFF), static_cast<char16_t>((e.vr >> 8) & 0xFF)};
      AppendJsonString(out, std::u16string_view(letters, 2));
    }
    out += ",\"length\":";
    AppendInt(out, e.length);
    out += ",\"offset\":";
    AppendInt(out, e.offset);
    out += ",\"end\":";
    AppendInt(out, e.end);
    out += ",\"depth\":";
    AppendInt(out, e.depth);
    out += ",\"name\":";
    AppendJsonUtf8(out, NameOfKeyUtf8(e.Key()));
    out += ",\"value\":";
    AppendJsonString(out, ValueText(e, file));
    out += ",\"text\":";
    AppendJsonString(out, WholeValueText(e, file));
    out.push_back('}');
  }
  out += "]}\n";
}

// Element lines as the log writes them, four spaces per nesting level.
void AppendElementLines(std::string& out, const DicomFile& file, FILE* stream) {
  int32_t counter = 0;
  for (const DicomElement& e : file.elements) {
    Spill(out, stream);
    out.append(static_cast<size_t>(e.depth > 0 ? e.depth : 0) * 4, ' ');
    plat::AppendUtf8(out, ElementLogLine(e, file, ++counter, ValueForm::Whole));
    out.push_back('\n');
  }
}

// Analyses one file for its dump. Unreadable files are analysed again with
// the log kept, so that their output says why (cheap, as nothing beyond the
// header was read).
std::unique_ptr<DicomFile> AnalyseForDump(const char* arg, DumpMode mode) {
  auto file = std::make_unique<DicomFile>();
  if (mode == DumpMode::Log) file->logToText = 1;
  file->Analyse(plat::PathFromNative(arg));
  if (file->status == StatusNotRead && mode != DumpMode::Log) {
    file->logToText = 1;
    file->Analyse(file->path);
  }
  return file;
}

// The output of one analysed file: standard output text into `out` (spilled
// into `stream` as it grows, when there is one) and, for an unreadable file
// in JSON mode, its log for standard error, so that standard output keeps
// one object per line.
void FormatDump(const DicomFile& file, DumpMode mode, std::string& out, std::string& err, FILE* stream) {
  if (file.status == StatusNotRead && mode != DumpMode::Log) {
    if (mode == DumpMode::Json) {
      AppendJson(out, file, stream);
      plat::AppendUtf8(err, file.logText);
    } else {
      out += "# ";
      plat::AppendUtf8(out, file.path);
      out += " status -1\n";
      plat::AppendUtf8(out, file.logText);
    }
    return;
  }
  switch (mode) {
    case DumpMode::Json:
      AppendJson(out, file, stream);
      break;
    case DumpMode::Log:
      plat::AppendUtf8(out, file.logText);
      break;
    case DumpMode::Elements:
      out += "# ";
      plat::AppendUtf8(out, file.path);
      out += " status ";
      AppendInt(out, file.status);
      out.push_back('\n');
      AppendElementLines(out, file, stream);
      break;
  }
}

// Many files are analysed on a few worker threads while this thread writes
// their outputs in the order given. Workers run at most kWindow files ahead of
// the writer, and hold at most kBytesAhead of analysed files' bytes beyond the
// one being written (a file larger than that waits until it is the only one),
// so that memory stays near that of the largest file. A small file's output
// is formatted by its worker; a large one's is streamed by the writer, element
// by element, from its analysed file.
constexpr int64_t kBytesAhead = int64_t{32} << 20;
constexpr int32_t kFormattedAhead = 10000;  // elements; about 1.5 MB of output

void DumpInParallel(char** paths, size_t count, DumpMode mode, unsigned workers) {
  struct Slot {
    std::string out, err;
    std::unique_ptr<DicomFile> file;  // set when the writer formats the output
    int64_t reserved = 0;             // bytes counted against kBytesAhead
    bool done = false;
  };
  const size_t kWindow = 2 * workers;
  std::vector<Slot> slots(count);
  std::mutex lock;
  std::condition_variable changed;
  size_t next = 0, written = 0;
  int64_t bytesAhead = 0;
  int64_t nextSize = -1;  // the size of the file at `next`, once looked up

  auto work = [&] {
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> guard(lock);
        // Files are taken and their bytes counted in order, so that a file
        // waiting for room only waits for files before it, which the writer
        // finishes.
        changed.wait(guard, [&] {
          if (next >= count) return true;
          if (next >= written + kWindow) return false;
          if (nextSize < 0) {
            plat::FileStamp stamp;
            nextSize = plat::StampOf(plat::PathFromNative(paths[next]), stamp) ? static_cast<int64_t>(stamp.size) : 0;
          }
          return bytesAhead == 0 || bytesAhead + nextSize <= kBytesAhead;
        });
        if (next >= count) return;
        i = next++;
        slots[i].reserved = nextSize;
        bytesAhead += nextSize;
        nextSize = -1;
      }
      changed.notify_all();
      std::string out, err;
      std::unique_ptr<DicomFile> file = AnalyseForDump(paths[i], mode);
      if (file->elements.length <= kFormattedAhead) {
        FormatDump(*file, mode, out, err, nullptr);
        file.reset();
      }
      {
        std::lock_guard<std::mutex> guard(lock);
        slots[i].out = std::move(out);
        slots[i].err = std::move(err);
        slots[i].file = std::move(file);
        slots[i].done = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < workers; ++t) threads.emplace_back(work);

  for (size_t i = 0; i < count; ++i) {
    std::string out, err;
    std::unique_ptr<DicomFile> file;
    {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return slots[i].done; });
      out = std::move(slots[i].out);
      err = std::move(slots[i].err);
      file = std::move(slots[i].file);
    }
    if (file != nullptr) FormatDump(*file, mode, out, err, stdout);
    file.reset();
    Write(out, stdout);
    Write(err, stderr);
    {
      std::lock_guard<std::mutex> guard(lock);
      written = i + 1;
      bytesAhead -= slots[i].reserved;
    }
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
}

int Usage() {
  std::fputs("usage: tesmer dump [--json] [--log] PATH...\n", stderr);
  return 2;
}

}  // namespace

int RunDumpCommand(int argc, char** argv) {
  DumpMode mode = DumpMode::Elements;
  int first = 0;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "--json") == 0) mode = DumpMode::Json;
    else if (std::strcmp(argv[first], "--log") == 0) mode = DumpMode::Log;
    else if (std::strcmp(argv[first], "--") == 0) { ++first; break; }
    else return Usage();
  }
  if (first >= argc) return Usage();

  const size_t count = static_cast<size_t>(argc - first);
  const unsigned cores = std::thread::hardware_concurrency();
  const unsigned workers = static_cast<unsigned>(std::min<size_t>({count, cores > 0 ? cores : 1, 4}));
  if (workers >= 2) {
    DumpInParallel(argv + first, count, mode, workers);
    return 0;
  }
  std::string out, err;
  for (size_t i = 0; i < count; ++i) {
    {
      std::unique_ptr<DicomFile> file = AnalyseForDump(argv[first + static_cast<int>(i)], mode);
      FormatDump(*file, mode, out, err, stdout);
    }
    Write(err, stderr);
    err.clear();
    Spill(out, stdout);
  }
  Write(out, stdout);
  return 0;
}
