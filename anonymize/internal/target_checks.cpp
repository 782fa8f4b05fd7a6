#include "anonymize/internal/target_checks.h"

#include <sys/stat.h>

#include "analysis/dicom_file.h"
#include "collection/collection.h"
#include "platform/core/text.h"

namespace anonymize_internal {

namespace {

// Whether the path exists as a symbolic link (not followed).
bool IsSymbolicLink(const std::u16string& path) {
  struct stat st;
  const std::string native = plat::PathToNative(path);
  return !native.empty() && ::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

std::u16string FolderPart(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
}

void SourceIdentities::Add(const DicomFile& file) {
  plat::FileStamp stamp;
  if (plat::StampOf(file.path, stamp)) files_.insert(Key(stamp));
}

void SourceIdentities::AddCollection(const StudyCollection& collection) {
  collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    for (const DicomFile* file : series.shownFiles)
      if (file != nullptr) Add(*file);
  });
}

bool SourceIdentities::Threatens(const std::u16string& outputPath, const DicomFile& source) const {
  plat::FileStamp target, folder, sourceFolder;
  if (plat::StampOf(outputPath, target) && files_.count(Key(target)) != 0) return true;
  return plat::StampOf(FolderPart(outputPath), folder) && plat::StampOf(FolderPart(source.path), sourceFolder) &&
         Key(folder) == Key(sourceFolder);
}

AnonymizeFailure AnalysisFailureOf(const DicomFile& file) {
  if (file.status == StatusImage || file.status == StatusComplete) return AnonymizeFailure::None;
  // No marker and not even the first element whole: nothing in it is DICOM.
  if (file.status == StatusNotRead || (file.status == StatusInterrupted && file.walkStop <= 0))
    return AnonymizeFailure::NotDicom;
  return AnonymizeFailure::AnalysisInterrupted;
}

AnonymizeFailure CheckTarget(const DicomFile& file, const std::u16string& path, const SourceIdentities& sources) {
  if (path.empty()) return AnonymizeFailure::NoFolder;
  // A link named like the output folder would take the copies elsewhere:
  // back into the source folder, where they would replace the sources, or
  // into any folder the link's maker chose.
  if (IsSymbolicLink(FolderPart(path))) return AnonymizeFailure::OutputFolderIsLink;
  // Links further up can still make the output folder a source folder.
  if (sources.Threatens(path, file)) return AnonymizeFailure::WouldOverwriteSource;
  return AnonymizeFailure::None;
}

}  // namespace anonymize_internal
