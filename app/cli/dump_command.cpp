// tesmer dump [--json] [--log] PATH…: the analysis of each file as element
// lines (indented by depth), the whole analysis log, or one JSON object per
// file per line.
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "app/cli/commands.h"
#include "app/cli/json_text.h"
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

void AppendJson(std::string& out, const DicomFile& file) {
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
  out.reserve(out.size() + static_cast<size_t>(file.elements.length) * 160);
  bool first = true;
  for (const DicomElement& e : file.elements) {
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
void AppendElementLines(std::string& out, const DicomFile& file) {
  int32_t counter = 0;
  for (const DicomElement& e : file.elements) {
    out.append(static_cast<size_t>(e.depth > 0 ? e.depth : 0) * 4, ' ');
    plat::AppendUtf8(out, ElementLogLine(e, file, ++counter, ValueForm::Whole));
    out.push_back('\n');
  }
}

// The output of one file: standard output text and, for an unreadable file
// in JSON mode, its log for standard error.
void DumpOne(const char* arg, DumpMode mode, std::string& out, std::string& err) {
  DicomFile file;
  if (mode == DumpMode::Log) file.logToText = 1;
  file.Analyse(plat::PathFromNative(arg));
  if (file.status == StatusNotRead && mode != DumpMode::Log) {
    // Unreadable files report why: analyse again with the log kept (cheap,
    // as nothing beyond the header was read).
    // In JSON mode the log goes to standard error, so that standard output
    // keeps one object per line.
    file.logToText = 1;
    file.Analyse(file.path);
    if (mode == DumpMode::Json) {
      AppendJson(out, file);
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
      AppendJson(out, file);
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
      AppendElementLines(out, file);
      break;
  }
}

void Write(const std::string& text, FILE* stream) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// Many files are analysed on a few worker threads while this thread writes
// their outputs in the order given. Workers run at most kWindow files ahead of
// the writer, so that only a few files' bytes are in memory at once.
void DumpInParallel(char** paths, size_t count, DumpMode mode, unsigned workers) {
  struct Slot {
    std::string out, err;
    bool done = false;
  };
  const size_t kWindow = 2 * workers;
  std::vector<Slot> slots(count);
  std::mutex lock;
  std::condition_variable changed;
  size_t next = 0, written = 0;

  auto work = [&] {
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return next >= count || next < written + kWindow; });
        if (next >= count) return;
        i = next++;
      }
      std::string out, err;
      DumpOne(paths[i], mode, out, err);
      {
        std::lock_guard<std::mutex> guard(lock);
        slots[i].out = std::move(out);
        slots[i].err = std::move(err);
        slots[i].done = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < workers; ++t) threads.emplace_back(work);

  for (size_t i = 0; i < count; ++i) {
    std::string out, err;
    {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return slots[i].done; });
      out = std::move(slots[i].out);
      err = std::move(slots[i].err);
    }
    Write(out, stdout);
    Write(err, stderr);
    {
      std::lock_guard<std::mutex> guard(lock);
      written = i + 1;
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
    DumpOne(argv[first + static_cast<int>(i)], mode, out, err);
    Write(err, stderr);
    err.clear();
    if (out.size() > (1u << 20)) {
      Write(out, stdout);
      out.clear();
    }
  }
  Write(out, stdout);
  return 0;
}
