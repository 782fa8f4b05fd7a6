// tesmer anonymize [--profile fixed|basic] [OPTIONS] PATH…: loads the paths
// as a drop onto the window would (files at once, folders by their candidate
// files on the loader thread), de-identifies the whole collection with the
// window's fixed profile or the basic confidentiality profile, and reports
// every input that was not loaded and every file that was not written, then
// a summary. Exit status: 0 everything loaded and written, 1 anything not
// loaded or not written (or nothing to write), 2 bad arguments.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/value_text.h"
#include "anonymize/anonymize.h"
#include "anonymize/confidentiality.h"
#include "app/cli/commands.h"
#include "app/cli/drop_loading.h"
#include "app/cli/json_text.h"
#include "collection/collection.h"
#include "intake/file_system.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tesmer anonymize [-r] [--profile fixed|basic] [--out DIR] [--rename] [OPTIONS] PATH...\n"
      "  writes a de-identified copy of every DICOM file given, and of the DICOM files directly\n"
      "  inside every folder given, into a sibling folder named <folder>__Anony, or under DIR\n"
      "  -r                   also every folder below the folders given, taking files by their content\n"
      "  --profile fixed      the window's fixed profile (the default)\n"
      "  --profile basic      the DICOM basic application level confidentiality profile\n"
      "  --out DIR            one tree: each copy at DIR/<its path relative to its PATH>\n"
      "  --rename             opaque names under DIR: P0001/ST001/SE001/IM00001.dcm (needs --out)\n"
      "basic profile only:\n"
      "  --key FILE           the secret of the UID mapping and date shift (else a fresh random one)\n"
      "  --retain-uids --retain-dates --shift-dates --retain-device --retain-institution\n"
      "  --retain-patient-chars --clean-descriptors --retain-safe-private\n"
      "                       the profile's options (--retain-safe-private keeps no private element\n"
      "                       yet: there is no list of safe private attributes)\n"
      "  --refuse-burned-in   skip files that may carry text burned into their pixels\n"
      "  --report FILE.json   one record per source: output, status, counts, warnings, failures\n"
      "  --map FILE.csv       the original and new UIDs (it links the copies back to the patients)\n",
      stderr);
  return 2;
}

struct Flag {
  const char* name;
  int32_t option;
};

constexpr Flag kOptionFlags[] = {
    {"--retain-uids", OptionRetainUids},
    {"--retain-dates", OptionRetainDates},
    {"--shift-dates", OptionShiftDates},
    {"--retain-device", OptionRetainDevice},
    {"--retain-institution", OptionRetainInstitution},
    {"--retain-patient-chars", OptionRetainPatientChars},
    {"--clean-descriptors", OptionCleanDescriptors},
    {"--retain-safe-private", OptionRetainSafePrivate},
};

struct Arguments {
  bool basic = false;
  bool basicOnly = false;  // an option of the basic profile was given
  OutputPlan plan;
  BasicOptions options;
  std::string keyFile;
  std::u16string reportFile, mapFile;  // absolute, as drop paths are
  std::vector<std::u16string> paths;
  bool recursive = false;
};

bool ReadArguments(int argc, char** argv, Arguments& args) {
  std::vector<char*> rest;
  int i = 0;
  auto value = [&](const char*& out) {
    if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
    out = argv[++i];
    return true;
  };
  for (; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = nullptr;
    if (std::strcmp(a, "--") == 0) break;
    if (std::strcmp(a, "--profile") == 0) {
      if (!value(v)) return false;
      if (std::strcmp(v, "basic") == 0) args.basic = true;
      else if (std::strcmp(v, "fixed") != 0) return false;
    } else if (std::strcmp(a, "--out") == 0) {
      if (!value(v)) return false;
      args.plan.root = DropPathOf(v);
      while (args.plan.root.size() > 1 && args.plan.root.back() == u'/') args.plan.root.pop_back();
    } else if (std::strcmp(a, "--rename") == 0) {
      args.plan.rename = true;
    } else if (std::strcmp(a, "--refuse-burned-in") == 0) {
      args.options.refuseBurnedIn = args.basicOnly = true;
    } else if (std::strcmp(a, "--key") == 0 || std::strcmp(a, "--report") == 0 || std::strcmp(a, "--map") == 0) {
      if (!value(v)) return false;
      if (a[2] == 'k') args.keyFile = v;
      else (a[2] == 'r' ? args.reportFile : args.mapFile) = DropPathOf(v);
      args.basicOnly = true;
    } else {
      bool known = false;
      for (const Flag& flag : kOptionFlags) {
        if (std::strcmp(a, flag.name) == 0) {
          args.options.option[flag.option] = known = args.basicOnly = true;
        }
      }
      if (!known) rest.push_back(argv[i]);
    }
  }
  for (; i < argc; ++i) rest.push_back(argv[i]);
  if (!ReadDropPaths("anonymize", static_cast<int>(rest.size()), rest.data(), args.paths, &args.recursive))
    return false;
  if (args.basicOnly && !args.basic) {
    std::fputs("tesmer anonymize: these options belong to --profile basic\n", stderr);
    return false;
  }
  if (args.plan.rename && args.plan.root.empty()) {
    std::fputs("tesmer anonymize: --rename needs --out DIR\n", stderr);
    return false;
  }
  if (args.options.option[OptionRetainDates] && args.options.option[OptionShiftDates]) {
    std::fputs("tesmer anonymize: --retain-dates and --shift-dates exclude each other\n", stderr);
    return false;
  }
  args.plan.inputs = args.paths;
  return true;
}

bool ReadKey(const std::string& file, std::string& key) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) key.append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok && !key.empty();
}

void PrintFailures(const AnonymizeResult& result) {
  for (const FileFailure& failure : result.failures) {
    std::fputs("failed: ", stdout);
    PutPath(stdout, failure.path);
    if (!failure.outputPath.empty()) {
      std::fputs(" -> ", stdout);
      PutPath(stdout, failure.outputPath);
    }
    std::fprintf(stdout, ": %s\n", FailureDescription(failure).c_str());
  }
}

void AppendCount(std::string& out, const char* name, int32_t n) {
  out += ",\"";
  out += name;
  out += "\":";
  out += std::to_string(n);
}

bool WriteText(const std::u16string& file, const std::string& text) {
  ByteBuffer<uint8_t> bytes;
  if (!bytes.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()))) return false;
  return SaveBuffer(bytes, file);
}

std::string ReportJson(const BasicRunResult& run) {
  std::string out = "[\n";
  for (size_t i = 0; i < run.records.size(); ++i) {
    const BasicSourceRecord& r = run.records[i];
    out += "{\"path\":";
    AppendJsonString(out, r.path);
    out += ",\"output\":";
    AppendJsonString(out, r.outputPath);
    out += ",\"status\":";
    AppendJsonUtf8(out, r.outcome == AnonymizeFailure::None ? "written" : "failed");
    out += ",\"counts\":{\"kept\":" + std::to_string(r.report.kept);
    AppendCount(out, "removed", r.report.removed);
    AppendCount(out, "emptied", r.report.emptied);
    AppendCount(out, "dummies", r.report.dummies);
    AppendCount(out, "uidsMapped", r.report.uidsMapped);
    AppendCount(out, "datesShifted", r.report.datesShifted);
    AppendCount(out, "privateRemoved", r.report.privateRemoved);
    out += "},\"warnings\":[";
    for (size_t w = 0; w < r.report.warnings.size(); ++w) {
      if (w > 0) out += ',';
      AppendJsonUtf8(out, r.report.warnings[w].c_str());
    }
    out += "],\"failures\":[";
    if (r.outcome != AnonymizeFailure::None) AppendJsonUtf8(out, AnonymizeFailureText(r.outcome));
    out += "]}";
    out += i + 1 < run.records.size() ? ",\n" : "\n";
  }
  out += "]\n";
  return out;
}

std::string MapCsv(const UidMapper& uids) {
  std::string out = "original,new\n";
  for (const auto& [original, mapped] : uids.Mappings()) {
    // UIDs are digits and dots; anything else is quoted.
    if (original.find_first_not_of("0123456789.") != std::string::npos) {
      out += '"';
      for (char c : original) {
        if (c == '"') out += '"';
        out += c;
      }
      out += '"';
    } else {
      out += original;
    }
    out += ',' + mapped + '\n';
  }
  return out;
}

void PrintSummary(const AnonymizeResult& result, size_t notLoaded) {
  const std::string completion = plat::Utf16ToUtf8(CompletionText(result));
  std::fprintf(stdout, "%s: %d written, %d failed", completion.c_str(), result.written, result.failed);
  if (notLoaded != 0) std::fprintf(stdout, ", %d not loaded", static_cast<int>(notLoaded));
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

}  // namespace

int RunAnonymizeCommand(int argc, char** argv) {
  Arguments args;
  if (!ReadArguments(argc, argv, args)) return Usage();
  std::string key;
  if (!args.keyFile.empty() && !ReadKey(args.keyFile, key)) {
    std::fprintf(stderr, "tesmer anonymize: cannot read the key file %s\n", args.keyFile.c_str());
    return 2;
  }
  if (args.options.option[OptionRetainSafePrivate])
    std::fputs("note: --retain-safe-private keeps no private element: there is no list of safe private "
               "attributes yet\n",
               stderr);

  StudyCollection collection;
  collection.includeSubfolders = args.recursive;
  DropLeftOut leftOut;
  const std::vector<NotLoaded> notLoaded = LoadPathsAsDrop(collection, args.paths, &leftOut);
  if (leftOut.subfoldersWithFiles > 0)
    std::fprintf(stdout, "skipped: %d subfolders holding files (-r loads them)\n", leftOut.subfoldersWithFiles);
  for (const NotLoaded& input : notLoaded) {
    std::fputs("not loaded: ", stdout);
    PutPath(stdout, input.path);
    std::fprintf(stdout, ": %s\n", input.reason);
  }

  AnonymizeResult result;
  bool sideFileFailed = false;  // the report or the map
  if (args.basic) {
    UidMapper uids(key.empty() ? UidMapper::RandomKey() : key);
    const BasicRunResult run = AnonymizeCollectionBasic(collection, args.options, uids, args.plan);
    result = run.summary;
    for (const BasicSourceRecord& record : run.records) {
      for (const std::string& warning : record.report.warnings) {
        std::fputs("warning: ", stdout);
        PutPath(stdout, record.path);
        std::fprintf(stdout, ": %s\n", warning.c_str());
      }
    }
    if (!args.reportFile.empty() && !WriteText(args.reportFile, ReportJson(run))) {
      std::fputs("tesmer anonymize: cannot write the report ", stderr);
      PutPath(stderr, args.reportFile);
      std::fputs("\n", stderr);
      sideFileFailed = true;
    }
    if (!args.mapFile.empty() && !WriteText(args.mapFile, MapCsv(uids))) {
      std::fputs("tesmer anonymize: cannot write the map ", stderr);
      PutPath(stderr, args.mapFile);
      std::fputs("\n", stderr);
      sideFileFailed = true;
    }
  } else {
    result = AnonymizeCollectionPlanned(collection, args.plan);
  }
  PrintFailures(result);
  if (result.shownFiles == 0) {
    std::fputs("nothing to de-identify: no DICOM files were loaded\n", stdout);
    return 1;
  }
  PrintSummary(result, notLoaded.size());
  return result.failed == 0 && notLoaded.empty() && !sideFileFailed ? 0 : 1;
}
