// The checks every de-identified copy passes before its stream is built,
// whatever profile builds it: the analysis covers the whole source, and the
// output path can take a copy without replacing a loaded source.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "anonymize/anonymize.h"
#include "platform/core/files.h"

class DicomFile;
class StudyCollection;

namespace anonymize_internal {

// The folder a path names up to its last "/" (only "/" separates names
// here): "/" for a file in the root, empty when there is none.
std::u16string FolderPart(const std::u16string& path);

// The identities (device and inode) of the loaded sources. Paths alone
// cannot tell whether a copy would land on a source: a link may make a
// source folder and its output folder one and the same.
class SourceIdentities {
 public:
  void Add(const DicomFile& file);
  // Every shown file of the collection, whatever series is being written.
  void AddCollection(const StudyCollection& collection);
  // Whether the copy of `source` at `outputPath` would replace a loaded
  // source, or land in the source's own folder (where, under the source's
  // name, it would replace the source even if that was deleted meanwhile).
  bool Threatens(const std::u16string& outputPath, const DicomFile& source) const;

 private:
  static std::pair<uint64_t, uint64_t> Key(const plat::FileStamp& s) { return {s.device, s.inode}; }
  std::set<std::pair<uint64_t, uint64_t>> files_;
};

// Only a walk that reached the end of the file gives an element list that
// covers the whole file; anything else would be a copy that silently drops
// (or, cut off, keeps unexamined) part of the source.
AnonymizeFailure AnalysisFailureOf(const DicomFile& file);

// Whether a copy of `file` may be written at `path`: None, or NoFolder (no
// path), OutputFolderIsLink or WouldOverwriteSource.
AnonymizeFailure CheckTarget(const DicomFile& file, const std::u16string& path, const SourceIdentities& sources);

}  // namespace anonymize_internal
