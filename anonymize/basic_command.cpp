// The runs over a collection that place copies by an output plan: the basic
// confidentiality profile, and the fixed profile with --out.
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/confidentiality.h"
#include "anonymize/internal/save_queue.h"
#include "anonymize/internal/target_checks.h"
#include "anonymize/internal/values.h"
#include "collection/collection.h"
#include "intake/file_system.h"
#include "platform/core/format.h"

using anonymize_internal::SaveJob;
using anonymize_internal::SaveQueue;
using anonymize_internal::AnalysisFailureOf;
using anonymize_internal::CheckTarget;
using anonymize_internal::SourceIdentities;
using anonymize_internal::TopLevelValue;
using anonymize_internal::TrimValue;

namespace {

constexpr char kDicomDirClass[] = "1.2.840.10008.1.3.10";
constexpr char kSecondaryCaptureClasses[] = "1.2.840.10008.5.1.4.1.1.7";

std::u16string Numbered(const char16_t* prefix, int32_t n, int width) {
  std::u16string digits = plat::FormatText(u"%d", {n});
  while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), u'0');
  return prefix + digits;
}

// The path of the file relative to the input it came from: the input itself
// when it is the file, else the rest of the path under the input folder.
std::u16string RelativeToInput(const std::vector<std::u16string>& inputs, const std::u16string& path) {
  for (const std::u16string& input : inputs) {
    if (input == path) return FileNameOf(path);
    std::u16string folder = input;
    while (folder.size() > 1 && folder.back() == u'/') folder.pop_back();
    if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == u'/')
      return path.substr(folder.size() + 1);
  }
  return FileNameOf(path);
}

// One shown file and where its copy goes.
struct PlannedFile {
  DicomFile* file;
  std::u16string outputPath;
  AnonymizeFailure placement;  // None, or why it has no place of its own
};

// Every shown file of the collection in the order the command handles them,
// with its output path; of two files bound for one path the later fails.
std::vector<PlannedFile> PlanCollection(StudyCollection& collection, const OutputPlan& plan) {
  std::vector<PlannedFile> planned;
  std::set<std::u16string> taken;
  StudyCollection::ShapeReader reader(collection);
  int32_t patientNo = 0;
  for (PatientEntry* patient : reader.patients) {
    ++patientNo;
    int32_t studyNo = 0;
    for (StudyEntry* study : patient->studies) {
      ++studyNo;
      int32_t seriesNo = 0;
      for (SeriesEntry* series : study->series) {
        ++seriesNo;
        int32_t instanceNo = 0;
        for (DicomFile* file : series->shownFiles) {
          if (file == nullptr) continue;
          ++instanceNo;
          PlannedFile entry{file, std::u16string(), AnonymizeFailure::None};
          if (plan.root.empty()) {
            entry.outputPath = AnonymizedPathOf(file->path);
          } else if (plan.rename) {
            entry.outputPath = plan.root + u"/" + Numbered(u"P", patientNo, 4) + u"/" + Numbered(u"ST", studyNo, 3) +
                               u"/" + Numbered(u"SE", seriesNo, 3) + u"/" + Numbered(u"IM", instanceNo, 5) + u".dcm";
          } else {
            entry.outputPath = plan.root + u"/" + RelativeToInput(plan.inputs, file->path);
          }
          if (entry.outputPath.empty()) {
            entry.placement = AnonymizeFailure::NoFolder;
          } else if (!plan.root.empty() && !taken.insert(entry.outputPath).second) {
            entry.placement = AnonymizeFailure::NameTaken;
          }
          planned.push_back(std::move(entry));
        }
      }
    }
  }
  return planned;
}

constexpr int32_t kPendingSaves = 4;
constexpr int32_t kWriters = 2;

}  // namespace

bool IsDicomDir(const DicomFile& file) {
  return TrimValue(TopLevelValue(file, 0x0002, 0x0002)) == kDicomDirClass || FileNameOf(file.path) == u"DICOMDIR";
}

bool MayHaveBurnedInText(const DicomFile& file) {
  if (TrimValue(TopLevelValue(file, 0x0028, 0x0301)) == "YES") return true;
  const std::string modality = TrimValue(TopLevelValue(file, 0x0008, 0x0060));
  if (modality == "US" || modality == "SC") return true;
  // Secondary capture, of any modality: screenshots and scanned documents.
  const std::string sopClass = TrimValue(TopLevelValue(file, 0x0008, 0x0016));
  if (sopClass.compare(0, std::strlen(kSecondaryCaptureClasses), kSecondaryCaptureClasses) == 0) return true;
  if (modality == "XA") {
    for (const DicomElement& e : file.elements)
      if (e.depth == 0 && (e.group & 0xFF00) == 0x6000 && (e.group & 1) == 0) return true;
  }
  return false;
}

std::u16string PlannedOutputPath(const OutputPlan& plan, const DicomFile& file) {
  if (plan.root.empty()) return AnonymizedPathOf(file.path);
  return plan.root + u"/" + RelativeToInput(plan.inputs, file.path);
}

BasicRunResult AnonymizeCollectionBasic(StudyCollection& collection, const BasicOptions& options, UidMapper& uids,
                                        const OutputPlan& plan) {
  BasicRunResult run;
  run.summary.shownFiles = collection.ShownFileCount();
  if (run.summary.shownFiles <= 0) return run;
  const std::vector<PlannedFile> planned = PlanCollection(collection, plan);
  SourceIdentities sources;
  sources.AddCollection(collection);
  {
    SaveQueue queue(run.summary, kPendingSaves, kWriters);
    for (const PlannedFile& entry : planned) {
      const DicomFile& file = *entry.file;
      BasicSourceRecord record;
      record.path = file.path;
      record.outputPath = entry.outputPath;
      SaveJob job;
      job.source = file.path;
      job.outputPath = entry.outputPath;
      job.outcome = entry.placement;
      const AnonymizeFailure analysis = AnalysisFailureOf(file);
      if (analysis != AnonymizeFailure::None) {
        job.outcome = analysis;
        job.stopPosition = file.walkStop;
        job.fileSize = file.fileBytes.length;
      }
      if (job.outcome == AnonymizeFailure::None) job.outcome = CheckTarget(file, entry.outputPath, sources);
      if (job.outcome == AnonymizeFailure::None && IsDicomDir(file)) job.outcome = AnonymizeFailure::DicomDir;
      if (job.outcome == AnonymizeFailure::None && MayHaveBurnedInText(file)) {
        if (options.refuseBurnedIn) {
          job.outcome = AnonymizeFailure::BurnedIn;
        } else {
          record.report.warnings.push_back("may carry text burned into its pixels; the pixels are not cleaned");
        }
      }
      if (job.outcome == AnonymizeFailure::None) {
        job.stream = queue.TakeBuffer();
        job.outcome = BuildBasicCopy(file, options, uids, job.stream, record.report, &job.tail, &job.hasTail);
        if (job.outcome == AnonymizeFailure::None && !file.BytesAsLoaded()) job.outcome = AnonymizeFailure::SourceChanged;
      }
      record.outcome = job.outcome;
      run.records.push_back(std::move(record));
      queue.Add(std::move(job));
    }
    queue.Finish();
  }
  // The queue reports failures in file order, saving failures included.
  size_t next = 0;
  for (BasicSourceRecord& record : run.records) {
    const std::vector<FileFailure>& failures = run.summary.failures;
    if (next < failures.size() && failures[next].path == record.path && failures[next].outputPath == record.outputPath) {
      record.outcome = failures[next++].reason;
    } else {
      record.outcome = AnonymizeFailure::None;
    }
  }
  return run;
}

AnonymizeResult AnonymizeCollectionPlanned(StudyCollection& collection, const OutputPlan& plan) {
  if (plan.root.empty()) return AnonymizeCollection(collection);
  std::map<const DicomFile*, PlannedFile> places;
  for (PlannedFile& entry : PlanCollection(collection, plan)) places.emplace(entry.file, std::move(entry));
  return AnonymizeCollection(collection, [&places](const DicomFile& file, std::u16string& path) {
    auto found = places.find(&file);
    if (found == places.end()) return AnonymizeFailure::NoFolder;
    path = found->second.outputPath;
    return found->second.placement;
  });
}
