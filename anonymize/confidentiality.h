// The DICOM basic application level confidentiality profile: the table of
// attributes and their actions, the choice rule, keyed replacement UIDs and
// date shifts, the writer that rewrites a data set at every depth, the run
// over a collection and the audit of copies. It stands beside the fixed
// profile of anonymize.h, which stays the default.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/byte_buffer.h"
#include "anonymize/anonymize.h"
#include "platform/core/files.h"

class DicomFile;
class StudyCollection;

// The basic profile's action of a table row, choices included.
enum class BasicAction : uint8_t { X, Z, D, U, XZ, XD, ZD, XZD, XZU };

// The option columns of the table, in the order of a row's option letters.
enum ConfidentialityOption : int32_t {
  OptionRetainSafePrivate,
  OptionRetainUids,
  OptionRetainDevice,
  OptionRetainInstitution,
  OptionRetainPatientChars,
  OptionRetainDates,   // full dates
  OptionShiftDates,    // modified dates
  OptionCleanDescriptors,
  OptionCleanStructuredContent,
  OptionCleanGraphics,
  kConfidentialityOptionCount,
};

struct ConfidentialityRow {
  uint16_t group;
  uint16_t element;
  BasicAction basic;
  char options[kConfidentialityOptionCount + 1];  // 'K', 'C' or '-' per option column
  bool inStandardIod;  // the attribute belongs to a standard composite IOD
  const char* name;
};

struct ConfidentialityMaskRow {
  ConfidentialityRow row;
  uint16_t groupMask;
  uint16_t elementMask;
};

// The row of the table for a tag (the wildcard rows for 50xx and 60xx
// included), or nullptr. Odd groups have no row: they are removed by rule.
const ConfidentialityRow* FindConfidentialityRow(uint16_t group, uint16_t element);
int32_t ConfidentialityRowCount();
const ConfidentialityRow& ConfidentialityRowAt(int32_t index);

// What happens to one element.
enum class ElementAction : uint8_t {
  Keep,       // kept; a sequence's items are handled element by element
  Remove,
  Empty,      // kept with an empty value (a sequence without items)
  Dummy,      // a value valid for the element's VR that says nothing; for a
              // sequence, its items with dummies for their free text
  NewUid,     // every UID of the value mapped
  ShiftDate,  // dates moved by the patient's shift; times kept
};

struct BasicOptions {
  bool option[kConfidentialityOptionCount] = {};
  bool refuseBurnedIn = false;
};

// The action for an element of the row (nullptr: no row, kept) under the
// options. The choices X/Z, X/D, Z/D, X/Z/D and X/Z/U* are settled so that
// the copy stays a valid instance of its IOD (every such row is of a
// standard IOD, where it may be of type 1 or 2): Z for X/Z, D for X/D, Z/D
// and X/Z/D, the UIDs mapped for X/Z/U*. Sequences: D and X/D keep their
// items with dummy contents (Dummy), Z/D and X/Z/D are emptied, X/Z/U* keep
// their items (whose UIDs are mapped by their own rows).
ElementAction DecideAction(const ConfidentialityRow* row, bool isSequence, const BasicOptions& options);

// Keyed replacement UIDs and date shifts, shared by every file of one run.
class UidMapper {
 public:
  // `key` is the secret: the bytes of the --key file, or random bytes.
  explicit UidMapper(std::string key);
  // A fresh random key of 32 bytes.
  static std::string RandomKey();

  // "2.25." and the decimal of the first 128 bits of HMAC-SHA256(key, uid).
  // The same UID always gives the same result under one key.
  std::string Map(const std::string& uid);
  // Days (1 to 3650) by which the dates of the patient with this ID move
  // back; the same for every file of the patient under one key.
  int32_t DateShiftDays(const std::string& patientId) const;
  // A pseudonymous Patient ID for the patient: "ANON" and 12 hex digits.
  std::string PatientPseudonym(const std::string& patientId) const;

  // Every mapping made so far, original to new, in order of the originals.
  std::map<std::string, std::string> Mappings() const;

 private:
  std::string key_;
  mutable std::mutex lock_;
  std::map<std::string, std::string> map_;
};

// What the writer did to one file.
struct BasicFileReport {
  int32_t removed = 0;
  int32_t emptied = 0;
  int32_t dummies = 0;
  int32_t uidsMapped = 0;
  int32_t datesShifted = 0;
  int32_t privateRemoved = 0;
  int32_t kept = 0;  // elements the table names and the options keep
  std::vector<std::string> warnings;
};

// Rewrites one analysed file into `output` with the basic profile: a zero
// preamble, "DICM", a file meta group rebuilt around the new SOP Instance
// UID, and the data set with every element at every depth handled, in the
// source's transfer syntax. When `tail` is given and the file is viewed in
// place, a long unchanged run that ends the stream (the pixel data) is left
// out of `output` and named there; `hasTail` says so. Returns None or the
// reason the file cannot be rewritten.
AnonymizeFailure BuildBasicCopy(const DicomFile& file, const BasicOptions& options, UidMapper& uids,
                                ByteBuffer<uint8_t>& output, BasicFileReport& report,
                                plat::SourceRange* tail = nullptr, bool* hasTail = nullptr);

// Whether the file carries, or is of a kind that usually carries, text burned
// into its pixels: (0028,0301) "YES", modality US or SC, or XA with overlays.
bool MayHaveBurnedInText(const DicomFile& file);
// Whether the file is a DICOMDIR (media storage directory).
bool IsDicomDir(const DicomFile& file);

// The texts of (0012,0063): the profile and every option used.
std::vector<std::string> DeidentificationMethodTexts(const BasicOptions& options);

// Where the copies go. Without a root each copy goes to the sibling
// "__Anony" folder of its source; with one, to the root joined with the
// source's path relative to the input it came from (or, renamed, with
// opaque patient, study, series and instance numbers).
struct OutputPlan {
  std::u16string root;                 // empty: the sibling "__Anony" folders
  std::vector<std::u16string> inputs;  // the PATH arguments, as loaded
  bool rename = false;                 // needs a root
};

// One handled source of a basic run.
struct BasicSourceRecord {
  std::u16string path;
  std::u16string outputPath;
  AnonymizeFailure outcome = AnonymizeFailure::None;
  BasicFileReport report;
};

struct BasicRunResult {
  AnonymizeResult summary;
  std::vector<BasicSourceRecord> records;  // in the order the files were handled
};

// The output path of one file under the plan; `counters` number the
// patients, studies, series and instances for renamed copies.
std::u16string PlannedOutputPath(const OutputPlan& plan, const DicomFile& file);

// De-identifies every shown file of the collection with the basic profile.
// Only files whose analysis completed are written; a DICOMDIR is never
// copied; two copies bound for one path: the later fails.
BasicRunResult AnonymizeCollectionBasic(StudyCollection& collection, const BasicOptions& options, UidMapper& uids,
                                        const OutputPlan& plan);

// The fixed profile's run with the copies placed by `plan` (the sibling
// folders when its root is empty).
AnonymizeResult AnonymizeCollectionPlanned(StudyCollection& collection, const OutputPlan& plan);

// The window's choice of profile, for the process.
enum class ProfileChoice { Fixed, Basic };
// "基本脱敏（固定方案）" or "DICOM 基本保密规范 (PS3.15)".
const char16_t* ProfileName(ProfileChoice choice);

// What the window's run did: the result, and how many of the copies it wrote
// were audited and still hold something that may identify a person.
struct WindowRun {
  AnonymizeResult result;
  int32_t audited = 0;
  int32_t residual = 0;
};
// De-identifies the collection with the chosen profile into the sibling
// "__Anony" folders (the basic profile with a fresh key), then audits every
// copy written against its source.
WindowRun AnonymizeForWindow(StudyCollection& collection, ProfileChoice choice);
// The completion notice with the profile's name and the audit's count.
std::u16string WindowCompletionNotice(const WindowRun& run, ProfileChoice choice);

// One finding of the audit: something in a copy that may still identify a
// person.
struct AuditFinding {
  std::string path;     // the element's place: "(0008,1110)[1].(0008,1150)", or "" for the file
  std::string kind;     // "value", "private", "uid", "marks", "burned-in", "name-in-text", "source-value"
  std::string detail;   // the attribute's name or what was found
  int32_t element = -1;  // its index in the audited file's element list; -1: the file or the source
};

struct AuditReport {
  std::u16string path;
  bool readable = false;
  std::vector<AuditFinding> findings;
};

// Audits one analysed file. With a source, every value of the source that
// the table does not keep and that is still found in the copy's bytes is a
// finding too.
AuditReport AuditFile(const DicomFile& copy, const DicomFile* source);
