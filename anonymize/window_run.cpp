// The window's de-identification run: the profile the user chose in the
// system menu, then an audit of every copy written, for the completion box.
#include <map>

#include "analysis/dicom_file.h"
#include "anonymize/confidentiality.h"
#include "collection/collection.h"
#include "platform/core/format.h"

namespace {

// The copies written by a run and the sources they were made from.
struct WrittenCopy {
  const DicomFile* source;
  std::u16string copy;
};

}  // namespace

const char16_t* ProfileName(ProfileChoice choice) {
  return choice == ProfileChoice::Basic ? u"DICOM 基本保密规范 (PS3.15)" : u"基本脱敏（固定方案）";
}

WindowRun AnonymizeForWindow(StudyCollection& collection, ProfileChoice choice) {
  WindowRun run;
  std::vector<WrittenCopy> written;
  std::map<std::u16string, const DicomFile*> sources;
  collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    for (const DicomFile* file : series.shownFiles)
      if (file != nullptr) sources.emplace(file->path, file);
  });
  if (choice == ProfileChoice::Basic) {
    // A fresh key for every run: copies of one run agree with each other,
    // and nothing links them to another run's.
    UidMapper uids(UidMapper::RandomKey());
    BasicRunResult basic = AnonymizeCollectionBasic(collection, BasicOptions{}, uids, OutputPlan{});
    for (const BasicSourceRecord& record : basic.records)
      if (record.outcome == AnonymizeFailure::None) written.push_back({sources[record.path], record.outputPath});
    run.result = std::move(basic.summary);
  } else {
    run.result = AnonymizeCollection(collection);
    std::map<std::u16string, int32_t> failed;
    for (const FileFailure& failure : run.result.failures) ++failed[failure.path];
    for (const auto& [path, file] : sources)
      if (failed.count(path) == 0) written.push_back({file, AnonymizedPathOf(path)});
  }
  for (const WrittenCopy& w : written) {
    DicomFile copy;
    copy.Analyse(w.copy);
    if (copy.status < 1) continue;
    ++run.audited;
    if (!AuditFile(copy, w.source).findings.empty()) ++run.residual;
  }
  return run;
}

std::u16string WindowCompletionNotice(const WindowRun& run, ProfileChoice choice) {
  std::u16string text = CompletionNotice(run.result);
  plat::AppendFormat(text, u"\n脱敏方案：%s", {ProfileName(choice)});
  if (run.audited > 0)
    plat::AppendFormat(text, u"\n%d 个副本（共 %d 个）仍含可能识别个人的信息，须人工复核", {run.residual, run.audited});
  return text;
}
