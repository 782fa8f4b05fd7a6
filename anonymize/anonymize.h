// De-identification: the fixed profile of tag actions, replacement UIDs, the
// writer of de-identified copies and the anonymize command over a collection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_element.h"
#include "anonymize/anony_tag.h"
#include "platform/core/files.h"

class DicomFile;
class StudyCollection;
struct PatientEntry;
struct StudyEntry;
struct SeriesEntry;

// Why one file was not written.
enum class AnonymizeFailure : int32_t {
  None = 0,
  NoFolder,        // the source path has no folder part to derive the output folder from
  OutputTooLarge,  // the output stream could not be built in memory
  NotSaved,        // the output file could not be written whole
  OutputFolderIsLink,  // a symbolic link stands where the output folder would be
  NoProfile,       // the profile could not be built
  SourceChanged,   // the source was written, truncated or replaced, or failed a read, after it was loaded
  AnalysisInterrupted,   // the analysis stopped before the end of the file: there is no whole element list to copy
  NotDicom,              // no "DICM" marker, and not even the first element could be read
  WouldOverwriteSource,  // the copy's name or folder is that of a loaded source (through links)
  Unsupported,     // the basic profile cannot rewrite this file's encoding or structure
  DicomDir,        // a DICOMDIR: its records hold names; never copied
  BurnedIn,        // may carry text burned into its pixels, and such files were to be refused
  NameTaken,       // an earlier copy of the same run already takes the output path
  DeflatedDataSet,  // the data set is deflated, and the meta group copied as read would not describe the copy
  BareExplicitDataSet,  // no marker, read as explicit VR: behind a marker without meta group the copy would read as implicit
};

// A short English description of a failure, for the command line.
const char* AnonymizeFailureText(AnonymizeFailure failure);

// An ordered list of actions; the first action that matches an element
// produces its new encoding, elements no action claims are copied unchanged.
class AnonyProfile {
 public:
  ByteBuffer<AnonyTagInterface*> actions;  // owned
  ByteBuffer<uint8_t> output;              // the stream of the file being written
  int32_t insertMarks = 0;                 // 1: add (0012,0062) and (0012,0063) to every file
  int32_t marksDone = 0;                   // per file: inserted, or the file has its own
  int32_t marksInserted = 0;               // per file: set together with marksDone
  // When set, BuildAnonymized leaves a run of unchanged source bytes that
  // ends the stream (the pixel data, as a rule) out of `output` and names it
  // in `tail`, for the writer to copy from the source file without passing
  // it through memory. Only files viewed in place have such a tail, and only
  // runs of kTailMinimum bytes and more.
  bool deferTail = false;
  bool hasTail = false;       // per file: the stream is `output` followed by `tail`
  plat::SourceRange tail;
  static constexpr int64_t kTailMinimum = 64 * 1024;

  AnonyProfile() = default;
  ~AnonyProfile();
  AnonyProfile(const AnonyProfile&) = delete;
  AnonyProfile& operator=(const AnonyProfile&) = delete;

  // Appends the 31 actions of the basic confidentiality profile. False when
  // memory ran out: an incomplete profile must not be used.
  [[nodiscard]] bool BuildBasicProfile();
  // Creates an action of the given kind (AnonyKind*), owned by and appended to
  // this profile; nullptr for any other kind, leaving the profile unchanged.
  AnonyTagInterface* CreateAction(int32_t kind);
  // The first action that matches the element, or nullptr.
  AnonyTagInterface* ActionFor(const DicomElement& e) const;

  // Builds the de-identified stream of `file` into `output` (and `tail`, see
  // deferTail): 128 zero bytes, "DICM", the elements with the profile applied
  // and the marks. False only when memory runs out (the stream is then
  // incomplete).
  [[nodiscard]] bool BuildAnonymized(const DicomFile& file);
  // Builds the stream and saves it at AnonymizedPathOf(file.path). The
  // output path is returned through `outputPath` when given.
  [[nodiscard]] AnonymizeFailure WriteAnonymized(const DicomFile& file, std::u16string* outputPath = nullptr);
  // Appends the 60 bytes of the two de-identification marks to `output`, in
  // the form (explicit or implicit VR) and byte order of the file's data set.
  void InsertMarks(const DicomFile& file);

 private:
  ByteBuffer<uint8_t> scratch_;  // one action's output
};

// Where the de-identified copy of a source goes: the source folder with
// "__Anony" appended, then the source's file name; a file in the root goes to
// "/Dicom__Anony/". Empty when the path has no folder part or no file name.
std::u16string AnonymizedPathOf(const std::u16string& sourcePath);

// Replacement UIDs: "<root>.<kind>.<milliseconds>.<number>", at most 48
// characters. The time part is the clock's; the number holds the process id
// and the UID's count within its millisecond, so no two UIDs are equal,
// within a process, between runs or between processes running at once.
std::u16string NewUid(const char* kind);
// Milliseconds since 1970-01-01 00:00:00 UTC.
uint64_t UnixTimeMillis();
// The root every generated UID starts with (21 characters).
extern const char kUidRoot[];

// The replacement UIDs cached in the collection, generated on first use:
// kinds "1", "4" and "5" per study, kind "2" per series. Study and series
// entries of a collection with the same original Study or Series Instance
// UID (one study in several folders) share the same replacement.
const std::u16string& StudyUid(StudyEntry& study);
const std::u16string& InstanceCreatorUid(StudyEntry& study);
const std::u16string& Kind5Uid(StudyEntry& study);
const std::u16string& SeriesUid(SeriesEntry& series);

// One file that was not written.
struct FileFailure {
  std::u16string path;        // the source
  std::u16string outputPath;  // where it would have gone (empty for NoFolder)
  AnonymizeFailure reason = AnonymizeFailure::None;
  // For AnalysisInterrupted: where the walk stopped, and the file's length.
  int64_t stopPosition = -1;
  int64_t fileSize = -1;
};

// Why the file was not written, in English for the command line
// ("analysis interrupted at byte 300 of 1200") and in Chinese for the window.
std::string FailureDescription(const FileFailure& failure);
std::u16string FailureReasonText(const FileFailure& failure);

// What a run of the anonymize command did.
struct AnonymizeResult {
  int32_t shownFiles = 0;  // files the command found; 0 means it did nothing
  int32_t written = 0;
  int32_t failed = 0;
  std::vector<FileFailure> failures;  // in the order the files were handled
};

// Writes every shown file of the series with a fresh basic profile; returns
// the number of files that were not written (0 when all were).
int32_t AnonymizeSeries(SeriesEntry& series, AnonymizeResult& result);
// AnonymizeSeries for every series of every study of the patient; returns the
// sum of their results.
int32_t AnonymizePatient(PatientEntry& patient, AnonymizeResult& result);

// The anonymize command: counts the shown files of the whole collection,
// does nothing when there are none, and otherwise calls AnonymizePatient for
// every patient in order. Runs on the user-interface thread.
// `place`, when given, chooses each copy's output path instead of
// AnonymizedPathOf, or the reason the file has none.
using OutputPlacer = std::function<AnonymizeFailure(const DicomFile& file, std::u16string& outputPath)>;
AnonymizeResult AnonymizeCollection(StudyCollection& collection, const OutputPlacer& place = {});

// The completion text of the status line and the notice: "脱敏完成" when every
// file was written, else "脱敏完成，N 个文件写入失败".
std::u16string CompletionText(const AnonymizeResult& result);
// The completion notice of the window: the completion text, then, when files
// failed, the first `listed` of them with their reasons, one per line, and
// how many more there are.
std::u16string CompletionNotice(const AnonymizeResult& result, int32_t listed = 5);
