// Saving de-identified copies next to their sources, and the anonymize
// command over series, patients and the whole collection.
#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/value_text.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/save_queue.h"
#include "anonymize/internal/target_checks.h"
#include "collection/collection.h"
#include "intake/file_system.h"
#include "platform/core/format.h"
#include "platform/core/text.h"

using anonymize_internal::SaveJob;
using anonymize_internal::SaveQueue;
using anonymize_internal::SaveStream;
using anonymize_internal::SourceIdentities;
using anonymize_internal::AnalysisFailureOf;
using anonymize_internal::CheckTarget;

namespace {

constexpr char16_t kAnonySuffix[] = u"_Anony";

}  // namespace

namespace {

// Every failure with its English text for the command line and its Chinese
// text for the window.
struct FailureTexts {
  AnonymizeFailure failure;
  const char* english;
  const char16_t* chinese;
};

constexpr FailureTexts kFailureTexts[] = {
    {AnonymizeFailure::None, "written", u"已写入"},
    {AnonymizeFailure::NoFolder, "the path has no folder part", u"路径没有文件夹部分"},
    {AnonymizeFailure::OutputTooLarge, "not enough memory for the output", u"内存不足，无法生成副本"},
    {AnonymizeFailure::NotSaved, "the output file could not be written", u"副本无法写入"},
    {AnonymizeFailure::OutputFolderIsLink, "the output folder is a symbolic link", u"输出文件夹是符号链接"},
    {AnonymizeFailure::NoProfile, "not enough memory for the profile", u"内存不足，无法建立脱敏方案"},
    {AnonymizeFailure::SourceChanged, "the source changed, or could not be read, after it was loaded",
     u"源文件载入后已被修改或无法读取"},
    {AnonymizeFailure::AnalysisInterrupted, "analysis interrupted", u"分析中断"},
    {AnonymizeFailure::NotDicom, "not a DICOM file", u"不是DICOM文件"},
    {AnonymizeFailure::WouldOverwriteSource, "the copy would replace a loaded source", u"副本会覆盖已载入的源文件"},
    {AnonymizeFailure::Unsupported,
     "the file's encoding or structure cannot be rewritten (deflated, or contents in another byte order)",
     u"文件的编码或结构无法改写"},
    {AnonymizeFailure::DicomDir,
     "a DICOMDIR is never copied (its records hold names): make a new one from the copies, e.g. with dcmmkdir",
     u"DICOMDIR 不复制（其记录含有姓名），请为副本重新生成"},
    {AnonymizeFailure::BurnedIn, "may carry text burned into its pixels (refused by --refuse-burned-in)",
     u"像素中可能含有烧录文字，已拒绝"},
    {AnonymizeFailure::NameTaken, "an earlier copy of this run already takes the output path",
     u"本次已有副本使用同一输出路径"},
    {AnonymizeFailure::DeflatedDataSet, "the data set is deflated, which this profile cannot write",
     u"数据集为压缩格式，此方案无法写出"},
    {AnonymizeFailure::BareExplicitDataSet, "a bare explicit VR data set, which this profile cannot write",
     u"无文件头的显式VR数据集，此方案无法写出"},
};

const FailureTexts* TextsOf(AnonymizeFailure failure) {
  for (const FailureTexts& t : kFailureTexts)
    if (t.failure == failure) return &t;
  return nullptr;
}

}  // namespace

const char* AnonymizeFailureText(AnonymizeFailure failure) {
  const FailureTexts* t = TextsOf(failure);
  return t != nullptr ? t->english : "unknown failure";
}

std::string FailureDescription(const FileFailure& failure) {
  std::string text = AnonymizeFailureText(failure.reason);
  if (failure.reason == AnonymizeFailure::AnalysisInterrupted && failure.stopPosition >= 0)
    text += " at byte " + std::to_string(failure.stopPosition) + " of " + std::to_string(failure.fileSize);
  return text;
}

std::u16string FailureReasonText(const FileFailure& failure) {
  const FailureTexts* t = TextsOf(failure.reason);
  std::u16string text = t != nullptr ? t->chinese : u"未知错误";
  if (failure.reason == AnonymizeFailure::AnalysisInterrupted && failure.stopPosition >= 0)
    plat::AppendFormat(text, u"（第 %d 字节，共 %d 字节）",
                       {static_cast<long long>(failure.stopPosition), static_cast<long long>(failure.fileSize)});
  return text;
}

std::u16string AnonymizedPathOf(const std::u16string& sourcePath) {
  std::u16string folder = FolderOfPath(sourcePath);
  const std::u16string name = FileNameOf(sourcePath);
  if (folder.empty() || name.empty() || name == u"." || name == u"..") return std::u16string();
  while (!folder.empty() && folder.back() == u'/') folder.pop_back();
  std::u16string out;
  if (folder.empty()) {
    out = u"/Dicom_";  // a file in the root: a folder in the root
  } else {
    out = folder;
    out += u'_';
  }
  out += kAnonySuffix;
  out += u'/';
  out += name;
  return out;
}

namespace {

// The sources a series' copies must never replace: every shown file of the
// collection the series belongs to.
SourceIdentities IdentitiesAround(SeriesEntry& series) {
  SourceIdentities identities;
  const StudyEntry* study = series.parent;
  const PatientEntry* patient = study != nullptr ? study->parent : nullptr;
  if (patient != nullptr && patient->owner != nullptr) {
    identities.AddCollection(*patient->owner);
  } else {
    for (const DicomFile* file : series.shownFiles)
      if (file != nullptr) identities.Add(*file);
  }
  return identities;
}

// The output path and the stream of one file, in `profile.output`; None when
// the stream is complete and only needs saving at `path`.
AnonymizeFailure BuildForSaving(AnonyProfile& profile, const DicomFile& file, const SourceIdentities& sources,
                                std::u16string& path, const OutputPlacer& place = {}) {
  AnonymizeFailure placement = AnonymizeFailure::None;
  if (place) {
    placement = place(file, path);
  } else {
    path = AnonymizedPathOf(file.path);
  }
  const AnonymizeFailure analysis = AnalysisFailureOf(file);
  if (analysis != AnonymizeFailure::None) return analysis;
  if (placement != AnonymizeFailure::None) return placement;
  const AnonymizeFailure target = CheckTarget(file, path, sources);
  if (target != AnonymizeFailure::None) return target;
  // The profile copies the meta group as read: with a deflated data set
  // written inflated, its transfer syntax would name the wrong encoding.
  if (file.Deflated()) return AnonymizeFailure::DeflatedDataSet;
  // Nor does it write a meta group: a copy of an explicit data set would be
  // read as implicit VR behind its new marker.
  if (file.BareExplicit()) return AnonymizeFailure::BareExplicitDataSet;
  if (!profile.BuildAnonymized(file)) return AnonymizeFailure::OutputTooLarge;
  // A file viewed in place that another program changed since it was loaded
  // would give a copy that mixes the bytes of two versions against the
  // element list of the first. Checked after the stream was built, so that
  // the bytes it took are known to be the ones the analysis saw.
  if (!file.BytesAsLoaded()) return AnonymizeFailure::SourceChanged;
  return AnonymizeFailure::None;
}

// Streams waiting to be saved at once: enough to keep the writer busy while
// the next stream is built, few enough to keep memory small.
constexpr int32_t kPendingSaves = 4;
// Copying the streams into the files is what takes the time once they are
// built; two writers share it between two processors.
constexpr int32_t kWriters = 2;

// Builds every shown file of the series with a fresh basic profile, in
// order, and hands each to the queue, which saves and counts it.
void QueueSeries(SeriesEntry& series, const SourceIdentities& sources, SaveQueue& queue,
                 const OutputPlacer& place = {}) {
  AnonyProfile profile;
  const bool built = profile.BuildBasicProfile();
  profile.insertMarks = 1;
  // The pixel data of files viewed in place go from file to file inside the
  // kernel, like a copy of the file would.
  profile.deferTail = true;
  for (DicomFile* file : series.shownFiles) {
    if (file == nullptr) continue;
    SaveJob job;
    job.source = file->path;
    if (!built) {
      job.outcome = AnonymizeFailure::NoProfile;
    } else {
      profile.output = queue.TakeBuffer();
      job.outcome = BuildForSaving(profile, *file, sources, job.outputPath, place);
      if (job.outcome == AnonymizeFailure::None) {
        job.stream = std::move(profile.output);
        job.hasTail = profile.hasTail;
        if (job.hasTail) job.tail = std::move(profile.tail);
      } else if (job.outcome == AnonymizeFailure::AnalysisInterrupted) {
        job.stopPosition = file->walkStop;
        job.fileSize = file->fileBytes.length;
      }
    }
    queue.Add(std::move(job));
  }
}

// The series of a patient as they are now. The loader thread may add studies
// and series while the command runs; entries never move or go away while the
// tree lives, so they are written without holding the shape lock.
std::vector<SeriesEntry*> SeriesOf(PatientEntry& patient) {
  std::vector<SeriesEntry*> seriesList;
  std::unique_lock<std::recursive_mutex> hold;
  if (patient.owner != nullptr) hold = std::unique_lock<std::recursive_mutex>(patient.owner->shapeLock);
  for (StudyEntry* study : patient.studies)
    for (SeriesEntry* series : study->series) seriesList.push_back(series);
  return seriesList;
}

}  // namespace

AnonymizeFailure AnonyProfile::WriteAnonymized(const DicomFile& file, std::u16string* outputPath) {
  // A file written on its own is kept from replacing itself.
  SourceIdentities self;
  self.Add(file);
  std::u16string path;
  const AnonymizeFailure outcome = BuildForSaving(*this, file, self, path);
  if (outputPath != nullptr) *outputPath = path;
  if (outcome != AnonymizeFailure::None) return outcome;
  return SaveStream(output, hasTail ? &tail : nullptr, path);
}

int32_t AnonymizeSeries(SeriesEntry& series, AnonymizeResult& result) {
  const int32_t before = result.failed;
  const SourceIdentities sources = IdentitiesAround(series);
  SaveQueue queue(result, kPendingSaves, kWriters);
  QueueSeries(series, sources, queue);
  queue.Finish();
  return result.failed - before;
}

int32_t AnonymizePatient(PatientEntry& patient, AnonymizeResult& result) {
  const int32_t before = result.failed;
  SourceIdentities sources;
  if (patient.owner != nullptr) sources.AddCollection(*patient.owner);
  SaveQueue queue(result, kPendingSaves, kWriters);
  for (SeriesEntry* series : SeriesOf(patient)) {
    if (patient.owner == nullptr)
      for (const DicomFile* file : series->shownFiles)
        if (file != nullptr) sources.Add(*file);
    QueueSeries(*series, sources, queue);
  }
  queue.Finish();
  return result.failed - before;
}

AnonymizeResult AnonymizeCollection(StudyCollection& collection, const OutputPlacer& place) {
  AnonymizeResult result;
  result.shownFiles = collection.ShownFileCount();
  if (result.shownFiles <= 0) return result;
  std::vector<PatientEntry*> patients;
  {
    StudyCollection::ShapeReader reader(collection);
    patients.assign(reader.patients.begin(), reader.patients.end());
  }
  SourceIdentities sources;
  sources.AddCollection(collection);
  // The files are built here in order, so replacement UIDs are generated in
  // file order; writer threads save the finished streams meanwhile.
  SaveQueue queue(result, kPendingSaves, kWriters);
  for (PatientEntry* patient : patients)
    for (SeriesEntry* series : SeriesOf(*patient)) QueueSeries(*series, sources, queue, place);
  queue.Finish();
  return result;
}

std::u16string CompletionText(const AnonymizeResult& result) {
  if (result.failed <= 0) return u"脱敏完成";
  return plat::FormatText(u"脱敏完成，%d 个文件写入失败", {result.failed});
}

std::u16string CompletionNotice(const AnonymizeResult& result, int32_t listed) {
  std::u16string text = CompletionText(result);
  const size_t shown = listed > 0 ? std::min(result.failures.size(), static_cast<size_t>(listed)) : 0;
  for (size_t i = 0; i < shown; ++i) {
    const FileFailure& failure = result.failures[i];
    text += u"\n";
    text += FileNameOf(failure.path);
    text += u"：";
    text += FailureReasonText(failure);
  }
  if (result.failures.size() > shown)
    plat::AppendFormat(text, u"\n另有 %d 个文件未列出", {static_cast<long long>(result.failures.size() - shown)});
  return text;
}
