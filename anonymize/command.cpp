// Saving de-identified copies next to their sources, and the anonymize
// command over series, patients and the whole collection.
#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/value_text.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/save_queue.h"
#include "collection/collection.h"
#include "intake/file_system.h"
#include "platform/core/format.h"
#include "platform/core/text.h"

using anonymize_internal::SaveJob;
using anonymize_internal::SaveQueue;
using anonymize_internal::SaveStream;

namespace {

constexpr char16_t kAnonySuffix[] = u"_Anony";

// The folder a path names up to its last "/" (only "/" separates names
// here): "/" for a file in the root, empty when there is none.
std::u16string FolderPart(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
}

// Whether the path exists as a symbolic link (not followed).
bool IsSymbolicLink(const std::u16string& path) {
  struct stat st;
  const std::string native = plat::PathToNative(path);
  return !native.empty() && ::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

const char* AnonymizeFailureText(AnonymizeFailure failure) {
  switch (failure) {
    case AnonymizeFailure::None: return "written";
    case AnonymizeFailure::NoFolder: return "the path has no folder part";
    case AnonymizeFailure::OutputTooLarge: return "not enough memory for the output";
    case AnonymizeFailure::NotSaved: return "the output file could not be written";
    case AnonymizeFailure::OutputFolderIsLink: return "the output folder is a symbolic link";
    case AnonymizeFailure::NoProfile: return "not enough memory for the profile";
    case AnonymizeFailure::SourceChanged: return "the source changed, or could not be read, after it was loaded";
  }
  return "unknown failure";
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

// The output path and the stream of one file, in `profile.output`; None when
// the stream is complete and only needs saving at `path`.
AnonymizeFailure BuildForSaving(AnonyProfile& profile, const DicomFile& file, std::u16string& path) {
  path = AnonymizedPathOf(file.path);
  if (path.empty()) return AnonymizeFailure::NoFolder;
  // A link named like the output folder would take the copies elsewhere:
  // back into the source folder, where they would replace the sources, or
  // into any folder the link's maker chose.
  if (IsSymbolicLink(FolderPart(path))) return AnonymizeFailure::OutputFolderIsLink;
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
void QueueSeries(SeriesEntry& series, SaveQueue& queue) {
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
      job.outcome = BuildForSaving(profile, *file, job.outputPath);
      if (job.outcome == AnonymizeFailure::None) {
        job.stream = std::move(profile.output);
        job.hasTail = profile.hasTail;
        if (job.hasTail) job.tail = std::move(profile.tail);
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
  std::u16string path;
  const AnonymizeFailure outcome = BuildForSaving(*this, file, path);
  if (outputPath != nullptr) *outputPath = path;
  if (outcome != AnonymizeFailure::None) return outcome;
  return SaveStream(output, hasTail ? &tail : nullptr, path);
}

int32_t AnonymizeSeries(SeriesEntry& series, AnonymizeResult& result) {
  const int32_t before = result.failed;
  SaveQueue queue(result, kPendingSaves, kWriters);
  QueueSeries(series, queue);
  queue.Finish();
  return result.failed - before;
}

int32_t AnonymizePatient(PatientEntry& patient, AnonymizeResult& result) {
  const int32_t before = result.failed;
  SaveQueue queue(result, kPendingSaves, kWriters);
  for (SeriesEntry* series : SeriesOf(patient)) QueueSeries(*series, queue);
  queue.Finish();
  return result.failed - before;
}

AnonymizeResult AnonymizeCollection(StudyCollection& collection) {
  AnonymizeResult result;
  result.shownFiles = collection.ShownFileCount();
  if (result.shownFiles <= 0) return result;
  std::vector<PatientEntry*> patients;
  {
    StudyCollection::ShapeReader reader(collection);
    patients.assign(reader.patients.begin(), reader.patients.end());
  }
  // The files are built here in order, so replacement UIDs are generated in
  // file order; writer threads save the finished streams meanwhile.
  SaveQueue queue(result, kPendingSaves, kWriters);
  for (PatientEntry* patient : patients)
    for (SeriesEntry* series : SeriesOf(*patient)) QueueSeries(*series, queue);
  queue.Finish();
  return result;
}

std::u16string CompletionText(const AnonymizeResult& result) {
  if (result.failed <= 0) return u"脱敏完成";
  return plat::FormatText(u"脱敏完成，%d 个文件写入失败", {result.failed});
}
