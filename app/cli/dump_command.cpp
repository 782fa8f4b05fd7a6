// tesmer dump [--json] [--log] PATH…: the analysis of each file as element
// lines (indented by depth), the whole analysis log, or one JSON object per
// file per line.
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "app/cli/commands.h"
#include "platform/core/text.h"

namespace {

enum class DumpMode { Elements, Log, Json };

void AppendJsonString(std::string& out, std::u16string_view text) {
  out.push_back('"');
  std::string utf8;
  plat::AppendUtf8(utf8, text);
  for (char c : utf8) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

void AppendJsonAscii(std::string& out, const char* text) {
  out.push_back('"');
  for (; *text; ++text) {
    if (*text == '"' || *text == '\\') out.push_back('\\');
    out.push_back(*text);
  }
  out.push_back('"');
}

void AppendInt(std::string& out, long long v) {
  char buffer[24];
  int n = std::snprintf(buffer, sizeof buffer, "%lld", v);
  out.append(buffer, static_cast<size_t>(n));
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
  bool first = true;
  for (const DicomElement& e : file.elements) {
    if (!first) out.push_back(',');
    first = false;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%04X,%04X", e.group, e.element);
    out += "{\"tag\":\"";
    out += tag;
    out += "\",\"vr\":";
    if (e.vr == kNoVr) {
      out += "\"\"";
    } else {
      AppendJsonString(out, std::u16string{static_cast<char16_t>(e.vr & 0xFF), static_cast<char16_t>((e.vr >> 8) & 0xFF)});
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
    AppendJsonAscii(out, NameOfKeyUtf8(e.Key()));
    out += ",\"value\":";
    AppendJsonString(out, ValueText(e, file));
    out.push_back('}');
  }
  out += "]}\n";
}

// Element lines as the log writes them, four spaces per nesting level.
void AppendElementLines(std::string& out, const DicomFile& file) {
  int32_t counter = 0;
  for (const DicomElement& e : file.elements) {
    out.append(static_cast<size_t>(e.depth > 0 ? e.depth : 0) * 4, ' ');
    plat::AppendUtf8(out, ElementLogLine(e, file, ++counter));
    out.push_back('\n');
  }
}

void Flush(std::string& out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  out.clear();
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

  std::string out;
  for (int i = first; i < argc; ++i) {
    DicomFile file;
    if (mode == DumpMode::Log) file.logToText = 1;
    file.Analyse(plat::PathFromNative(argv[i]));
    if (file.status == StatusNotRead && mode != DumpMode::Log) {
      // Unreadable files report why: analyse again with the log kept (cheap,
      // as nothing beyond the header was read).
      // In JSON mode the log goes to standard error, so that standard output
      // keeps one object per line.
      file.logToText = 1;
      file.Analyse(file.path);
      if (mode == DumpMode::Json) {
        AppendJson(out, file);
        std::string log = plat::Utf16ToUtf8(file.logText);
        std::fwrite(log.data(), 1, log.size(), stderr);
      } else {
        out += "# ";
        plat::AppendUtf8(out, file.path);
        out += " status -1\n";
        plat::AppendUtf8(out, file.logText);
      }
      continue;
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
    if (out.size() > (1u << 20)) Flush(out);
  }
  Flush(out);
  return 0;
}
