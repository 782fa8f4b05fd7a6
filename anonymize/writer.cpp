// The writer of de-identified copies: one output stream per source file, saved
// into the "__Anony" sibling of the source folder.
#include <sys/stat.h>

#include <cstring>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/encoding.h"
#include "collection/collection.h"
#include "platform/core/text.h"

using anonymize_internal::SourceSpan;

// Provided by intake; declared here until its header lands.
[[nodiscard]] bool SaveBuffer(const ByteBuffer<uint8_t>& buffer, const std::u16string& path);

namespace {

constexpr char16_t kAnonySuffix[] = u"_Anony";
constexpr uint8_t kZeroPreamble[128] = {};
constexpr uint8_t kPrefix[4] = {'D', 'I', 'C', 'M'};

// The value of (0012,0063): 39 characters and a zero byte, 40 in all.
constexpr char kMethodText[] = "Basic Confidentiality Profile Anonymize";
static_assert(sizeof kMethodText == 40);

// The folder a path names up to its last "/": "/" for a file in the root,
// empty when there is none. Only "/" separates names here; a backslash is an
// ordinary character of a file name.
std::u16string FolderPart(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
}

bool SameExistingFolder(const std::u16string& a, const std::u16string& b) {
  struct stat sa, sb;
  std::string na = plat::PathToNative(a), nb = plat::PathToNative(b);
  if (::stat(na.c_str(), &sa) != 0 || ::stat(nb.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

const char* AnonymizeFailureText(AnonymizeFailure failure) {
  switch (failure) {
    case AnonymizeFailure::None: return "written";
    case AnonymizeFailure::NoFolder: return "the path has no folder part";
    case AnonymizeFailure::OutputTooLarge: return "not enough memory for the output";
    case AnonymizeFailure::NotSaved: return "the output file could not be written";
    case AnonymizeFailure::OutputIsSource: return "the output folder is the source folder";
    case AnonymizeFailure::NoProfile: return "not enough memory for the profile";
  }
  return "unknown failure";
}

std::u16string AnonymizedPathOf(const std::u16string& sourcePath) {
  size_t slash = sourcePath.rfind(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  std::u16string name = sourcePath.substr(slash + 1);
  if (name.empty() || name == u"." || name == u"..") return std::u16string();
  std::u16string folder = sourcePath.substr(0, slash);
  while (!folder.empty() && folder.back() == u'/') folder.pop_back();
  std::u16string out;
  if (folder.empty()) {
    out = u"/Dicom_";
  } else {
    out = folder;
    out += u'_';
  }
  out += kAnonySuffix;
  out += u'/';
  out += name;
  return out;
}

void AnonyProfile::InsertMarks(const DicomFile& file) {
  // The marks belong to group 0012 of the data set, so they take its VR
  // form and byte order.
  const bool explicitVr = file.explicitVr == 1;
  const bool big = file.littleEndian == 0;
  uint8_t marks[60];
  int n = 0;
  auto put16 = [&](uint16_t v) {
    marks[n + (big ? 1 : 0)] = static_cast<uint8_t>(v);
    marks[n + (big ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    n += 2;
  };
  auto header = [&](uint16_t element, char vr0, char vr1, uint16_t length) {
    put16(0x0012);
    put16(element);
    if (explicitVr) {
      marks[n++] = static_cast<uint8_t>(vr0);
      marks[n++] = static_cast<uint8_t>(vr1);
      put16(length);
    } else if (big) {
      put16(0);
      put16(length);
    } else {
      put16(length);
      put16(0);
    }
  };
  header(0x0062, 'C', 'S', 4);  // Patient Identity Removed
  std::memcpy(marks + n, "YES ", 4);
  n += 4;
  header(0x0063, 'L', 'O', 40);  // De-identification Method
  std::memcpy(marks + n, kMethodText, 40);
  n += 40;
  // BuildAnonymized sees a failed append in the stream's length.
  (void)output.Append(marks, n);
}

bool AnonyProfile::BuildAnonymized(const DicomFile& file) {
  marksDone = 0;
  marksInserted = 0;
  output.length = 0;
  // One allocation for the whole stream in the usual case: the copy is at
  // most the source plus the preamble and the marks, give or take a few
  // generated values.
  const int64_t sourceSize = file.fileBytes.length;
  if (!output.Reserve(sourceSize + 128 + 4 + 60 + 1024)) return false;
  bool ok = output.Append(kZeroPreamble, sizeof kZeroPreamble) && output.Append(kPrefix, sizeof kPrefix);

  int32_t lastEnd = 0;
  for (const DicomElement& e : file.elements) {
    if (!ok) break;
    // Elements inside a sequence already written (or dropped) as a whole.
    if (e.depth > 0 && e.end <= lastEnd) continue;

    if (insertMarks == 1 && marksDone == 0) {
      if (e.group == 0x0012 && (e.element == 0x0062 || e.element == 0x0063)) {
        marksDone = marksInserted = 1;  // the file keeps its own
      } else if (e.group > 0x0012 || (e.group == 0x0012 && e.element > 0x0063)) {
        const int32_t before = output.length;
        InsertMarks(file);
        ok = output.length == before + 60;
        marksDone = marksInserted = 1;
      }
    }

    if (AnonyTagInterface* action = ActionFor(e)) {
      scratch_.length = 0;
      action->Apply(scratch_, e, &file);
      if (scratch_.length > 0) ok = ok && output.Append(scratch_.data, scratch_.length);
    } else {
      int64_t first = 0, last = 0;
      SourceSpan(file, e, first, last);
      ok = ok && output.Append(file.fileBytes.data + first, last - first);
    }
    lastEnd = e.end;
  }
  return ok;
}

AnonymizeFailure AnonyProfile::WriteAnonymized(const DicomFile& file, std::u16string* outputPath) {
  std::u16string path = AnonymizedPathOf(file.path);
  if (outputPath != nullptr) *outputPath = path;
  if (path.empty()) return AnonymizeFailure::NoFolder;
  // A link named like the output folder that leads back to the source
  // folder would make every output replace its own source.
  if (SameExistingFolder(FolderPart(path), FolderPart(file.path))) return AnonymizeFailure::OutputIsSource;
  if (!BuildAnonymized(file)) return AnonymizeFailure::OutputTooLarge;
  if (!SaveBuffer(output, path)) return AnonymizeFailure::NotSaved;
  return AnonymizeFailure::None;
}

int32_t AnonymizeSeries(SeriesEntry& series, AnonymizeResult& result) {
  AnonyProfile profile;
  const bool built = profile.BuildBasicProfile();
  profile.insertMarks = 1;
  int32_t failed = 0;
  for (DicomFile* file : series.shownFiles) {
    if (file == nullptr) continue;
    std::u16string outputPath;
    AnonymizeFailure outcome = built ? profile.WriteAnonymized(*file, &outputPath) : AnonymizeFailure::NoProfile;
    if (outcome == AnonymizeFailure::None) {
      ++result.written;
      continue;
    }
    ++failed;
    ++result.failed;
    result.failures.push_back(FileFailure{file->path, outputPath, outcome});
  }
  return failed;
}

int32_t AnonymizePatient(PatientEntry& patient, AnonymizeResult& result) {
  int32_t failed = 0;
  for (StudyEntry* study : patient.studies) {
    if (study == nullptr) continue;
    for (SeriesEntry* series : study->series) {
      if (series != nullptr) failed += AnonymizeSeries(*series, result);
    }
  }
  return failed;
}
