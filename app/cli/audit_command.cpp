// tesmer audit [--json] [--against SOURCE_PATH] PATH…: reads every file
// under the paths and lists what in each may still identify a person. With
// --against, each copy is also searched for the values of its source (the
// file at the same place relative to SOURCE_PATH). Exit status: 0 nothing
// found, 1 anything found, 2 bad arguments.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/value_text.h"
#include "anonymize/confidentiality.h"
#include "app/cli/commands.h"
#include "app/cli/drop_loading.h"
#include "app/cli/json_text.h"
#include "platform/core/text.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
  std::fputs("usage: tesmer audit [--json] [--against SOURCE_PATH] PATH...\n"
             "  lists what in the DICOM files under the paths may still identify a person;\n"
             "  exit 0 when nothing is found, 1 when anything is\n",
             stderr);
  return 2;
}

// One file to audit and the source it is compared with (empty: none).
struct AuditTarget {
  std::u16string copy;
  std::u16string source;
};

void Collect(const std::u16string& input, const std::u16string& against, std::vector<AuditTarget>& targets) {
  const fs::path root(plat::PathToNative(input));
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    std::u16string source;
    if (!against.empty()) {
      source = fs::is_directory(fs::path(plat::PathToNative(against)), error)
                   ? against + u"/" + plat::PathFromNative(root.filename().string())
                   : against;
    }
    targets.push_back({input, source});
    return;
  }
  std::vector<AuditTarget> found;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string relative = fs::relative(it->path(), root, error).string();
    found.push_back({plat::PathFromNative(it->path().string()),
                     against.empty() ? std::u16string() : against + u"/" + plat::PathFromNative(relative)});
  }
  std::sort(found.begin(), found.end(), [](const AuditTarget& a, const AuditTarget& b) { return a.copy < b.copy; });
  targets.insert(targets.end(), found.begin(), found.end());
}

std::u16string FindingText(const std::string& bytes) {
  return CodePageText(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

}  // namespace

int RunAuditCommand(int argc, char** argv) {
  bool json = false;
  std::u16string against;
  std::vector<char*> rest;
  int i = 0;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--against") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage();
      against = DropPathOf(argv[++i]);
    } else if (std::strcmp(argv[i], "--") == 0) {
      break;
    } else {
      rest.push_back(argv[i]);
    }
  }
  for (; i < argc; ++i) rest.push_back(argv[i]);
  std::vector<std::u16string> paths;
  if (!ReadDropPaths("audit", static_cast<int>(rest.size()), rest.data(), paths)) return Usage();
  std::error_code error;
  for (const std::u16string& path : paths) {
    if (!fs::exists(fs::path(plat::PathToNative(path)), error)) {
      std::fputs("tesmer audit: no such file or folder: ", stderr);
      PutPath(stderr, path);
      std::fputs("\n", stderr);
      return 2;
    }
  }
  if (!against.empty() && !fs::exists(fs::path(plat::PathToNative(against)), error)) {
    std::fputs("tesmer audit: no such source: ", stderr);
    PutPath(stderr, against);
    std::fputs("\n", stderr);
    return 2;
  }

  std::vector<AuditTarget> targets;
  for (const std::u16string& path : paths) Collect(path, against, targets);

  int32_t filesWithFindings = 0, audited = 0;
  for (const AuditTarget& target : targets) {
    DicomFile copy;
    copy.Analyse(target.copy);
    if (copy.status < 1) continue;  // not a DICOM file
    ++audited;
    DicomFile source;
    const DicomFile* sourceFile = nullptr;
    if (!target.source.empty()) {
      source.Analyse(target.source);
      if (source.status >= 1) {
        sourceFile = &source;
      } else {
        std::fputs("note: no readable source for ", stderr);
        PutPath(stderr, target.copy);
        std::fputs("\n", stderr);
      }
    }
    const AuditReport report = AuditFile(copy, sourceFile);
    if (!report.findings.empty()) ++filesWithFindings;
    if (json) {
      std::string out = "{\"path\":";
      AppendJsonString(out, report.path);
      out += ",\"findings\":[";
      for (size_t f = 0; f < report.findings.size(); ++f) {
        const AuditFinding& finding = report.findings[f];
        if (f > 0) out += ',';
        out += "{\"place\":";
        AppendJsonUtf8(out, finding.path.c_str());
        out += ",\"kind\":";
        AppendJsonUtf8(out, finding.kind.c_str());
        out += ",\"detail\":";
        AppendJsonString(out, FindingText(finding.detail));
        out += '}';
      }
      out += "]}\n";
      std::fputs(out.c_str(), stdout);
    } else {
      for (const AuditFinding& finding : report.findings) {
        PutPath(stdout, report.path);
        std::fprintf(stdout, ": %s %s: ", finding.kind.c_str(), finding.path.c_str());
        PutEscaped(stdout, plat::Utf16ToUtf8(FindingText(finding.detail)));
        std::fputs("\n", stdout);
      }
    }
  }
  if (!json)
    std::fprintf(stdout, "audited %d files: %d may still identify a person\n", audited, filesWithFindings);
  std::fflush(stdout);
  return filesWithFindings == 0 ? 0 : 1;
}
