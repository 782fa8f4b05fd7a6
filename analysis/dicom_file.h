// DicomFile: one file, whole in memory, and everything its analysis found:
// the element list, the encoding flags, the transfer syntax, the status and
// the log.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/byte_buffer.h"
#include "analysis/character_set.h"
#include "analysis/dicom_element.h"
#include "platform/core/files.h"

struct SeriesEntry;

// Analysis results.
enum : int32_t {
  StatusNotRead = -1,     // not opened or read, too long, or 132 bytes or fewer
  StatusNoMarker = 0,     // the "DICM" marker is missing (the walk replaces it)
  StatusImage = 1,        // walked to the end, accepted syntax, top-level Pixel Data
  StatusInterrupted = 2,  // the walk stopped before the end of the file
  StatusComplete = 3,     // walked to the end, but not an image by the rule above
};

// Files longer than this are not read.
constexpr int64_t kMaxFileBytes = 1024000000;
// Files of this many bytes and more are viewed in place rather than copied
// (see DicomFile::BytesAsLoaded): loading a folder of CT slices then costs
// no copy of their pixels and no fresh memory for it. Below it, a copy is as
// cheap as setting up the view.
constexpr int64_t kViewedFileMinimum = 256 * 1024;
// Sequences nested deeper than this fail the element that opens them.
constexpr int32_t kMaxSequenceDepth = 256;
// A walk that would record more elements than this stops as interrupted: the
// largest real files hold about a million, and a file of zeros as long as
// kMaxFileBytes would otherwise walk into 128 million empty records.
constexpr int32_t kMaxElementRecords = 16000000;

// Process-wide source of DicomFile serials; never decremented.
extern std::atomic<int32_t> fileSerialCounter;

class DicomFile {
 public:
  std::u16string path;
  std::u16string shortPath;    // ShortenPath(path, 26)
  std::u16string displayPath;  // ShortenPath(path, 110)
  std::u16string logText;
  int32_t logToText = 0;
  int32_t elementCounter = 0;
  ByteBuffer<uint8_t> fileBytes;
  int32_t explicitVr = 1;
  int32_t littleEndian = 1;
  int32_t metaSeen = -1;
  int32_t transferSyntaxIndex = 0;
  int32_t depth = 0;
  ByteBuffer<DicomElement> elements;
  int32_t status = StatusNotRead;
  // Where the walk stopped: the file length when it reached the end, else
  // the position of the element it could not read whole. -1 before a walk.
  int64_t walkStop = -1;
  int32_t logToDebugger = 0;
  int32_t logEnabled = 1;
  SeriesEntry* series = nullptr;
  int32_t serial;
  // For a deflated data set: the file meta group as read, then the inflated
  // data set, which starts at DeflatedFrom() as the compressed one does in
  // `fileBytes`. Empty for every other file.
  ByteBuffer<uint8_t> inflatedBytes;
  // The most element records a walk makes before it stops as interrupted
  // (kMaxElementRecords; tests choose fewer).
  int32_t recordLimit = kMaxElementRecords;

  DicomFile();
  ~DicomFile();
  DicomFile(const DicomFile&) = delete;
  DicomFile& operator=(const DicomFile&) = delete;

  // Reads the file at `filePath` and analyses it. Never throws; the outcome is
  // in `status` and the log.
  void Analyse(const std::u16string& filePath);

  // Analyses bytes already in memory as if they had been read from `filePath`
  // (tests, benchmarks and the fuzz target need no files).
  void AnalyseBytes(const std::u16string& filePath, const uint8_t* bytes, size_t count);

  // The text of the first top-level element with this key. Returns its value
  // length (> 0) and sets `out`; returns -1 and leaves `out` alone when there
  // is no such element or its value is empty.
  int32_t ValueByKey(TagKey key, std::u16string& out) const;

  // Whether this file's value for the tag of the given dictionary row agrees
  // with `text` (1) or not (0). A file without a usable value agrees with
  // everything; letters compare without regard to ASCII case.
  int32_t MatchesRow(const std::u16string& text, int32_t row) const;

  // 1 when the element's header holds a VR: every group 0002 element, and any
  // other element of an explicit-VR data set.
  int32_t IsExplicitElement(const DicomElement& e) const;

  // True when the element's binary values are stored big endian: the data set
  // is big endian and the element lies outside group 0002.
  bool IsBigEndianElement(const DicomElement& e) const;

  // Whether `fileBytes` still hold what the analysis read. Files under
  // kViewedFileMinimum bytes, and bytes given to AnalyseBytes, are copies and
  // always do. Larger files are viewed in place, in the page cache the
  // system keeps anyway, and hold what the analysis read while the file on
  // the disk has not been written, truncated or replaced since and every
  // page of it read without error.
  bool BytesAsLoaded() const;
  // For a file viewed in place: the bytes [offset, offset + length) of
  // `fileBytes` as a range of the file on the disk, with the stamp under which
  // they are the same bytes. False for copies, for inflated data sets and for
  // ranges outside the file.
  bool SourceRangeOf(int64_t offset, int64_t length, plat::SourceRange& out) const;

  // The character set the element's text is in: the one declared by the
  // innermost sequence item around it that has a (0008,0005), else the data
  // set's own (its first top-level (0008,0005)).
  const CharacterSet& CharacterSetOf(const DicomElement& e) const;

  // The bytes the element records point into: `inflatedBytes` for a
  // deflated data set, `fileBytes` (as read) otherwise.
  const ByteBuffer<uint8_t>& WalkedBytes() const { return Deflated() ? inflatedBytes : fileBytes; }
  // Whether the data set was stored deflated and was walked inflated; it
  // starts at DeflatedFrom() (-1 otherwise), where the meta group ends.
  bool Deflated() const { return deflatedFrom_ >= 0; }
  // Whether a data set without the "DICM" marker was read in an explicit
  // encoding (little or big endian, as `littleEndian` says) because the
  // implicit walk stopped early.
  bool BareExplicit() const { return fixedEncoding_; }
  int32_t DeflatedFrom() const { return deflatedFrom_; }

  // For a file viewed in place: whether the byte range [first, end) of
  // `fileBytes` reads the file on the disk rather than memory of its own.
  // Every byte before the Pixel Data value and after it is held in memory
  // once the analysis is done, so that what the views show is what was
  // analysed; only the pixel value itself follows the file.
  bool ReadsSourceFile(int64_t first, int64_t end) const;
  // Whether the file on the disk was written, truncated or replaced since it
  // was loaded, or a page of it could not be read. False for files read into
  // memory, which nothing can change.
  bool SourceChanged() const { return !BytesAsLoaded(); }

  // Bytes of the element's value that lie inside the file: [first, first+count).
  // Values that run past the end of a truncated file are cut at its end.
  void ValueSpan(const DicomElement& e, const uint8_t*& first, int32_t& count) const;

  // Appends one message to the log outputs that are on (gate and outputs as
  // documented on the fields). `indent` levels of four spaces go before it in
  // the text output only.
  void Log(const std::u16string& message, int32_t indent = 0);
  // True when a message would reach any output; callers skip building
  // messages otherwise.
  bool LogWanted() const { return logEnabled != 0 && (logToText != 0 || logToDebugger != 0); }

 private:
  friend class ElementWalker;

  // Sets the paths, logs the start and resets the walk state.
  void BeginAnalysis(const std::u16string& filePath);
  bool ReadWholeFile();
  void WalkFromMarker();
  // One top-level walk from `start`; returns where it ended (-1 on failure).
  int64_t WalkFrom(int64_t start);
  // Clears what a walk recorded so that another can start afresh.
  void ResetWalk();
  // Inflates the data set that starts at `start` into `inflatedBytes`; false
  // when the stream is broken (what could be inflated is kept).
  bool InflateDataSet(int64_t start);
  // Holds the bytes around the Pixel Data value of a viewed file in memory.
  void HoldShownBytes();
  // True when the element lies inside the value of an element of undefined
  // length that is not a sequence: such content is implicit VR little endian
  // whatever the data set's encoding.
  bool InsideImplicitContent(const DicomElement& e) const;

  // Called by the walker for each (0008,0005) it records, at once, so that
  // the log lines of the elements after it read in its set: the first at the
  // top level is the data set's, one inside an item is that item's, and
  // applies from the item's start (`itemStart`) until the walker closes it.
  void NoteCharacterSet(const DicomElement& e, int32_t itemStart);
  // Called by the walker when the item that started at `itemStart` ends;
  // `end` is the end of the last element it recorded.
  void CloseItemCharacterSet(int32_t itemStart, int32_t end);

  // The data set's character set, and those of the items that declare one,
  // by the byte range of their elements (an open item's end is INT32_MAX);
  // items nest, and the innermost around an element is the one that starts
  // last. Usually empty.
  struct ItemCharacterSet {
    int32_t begin;
    int32_t end;
    CharacterSet set;
  };
  bool characterSetSeen_ = false;
  CharacterSet characterSet_;
  std::vector<ItemCharacterSet> itemCharacterSets_;

  // Set when `fileBytes` view the file: its stamp when it was opened.
  bool viewsFile_ = false;
  plat::FileStamp viewedStamp_;
  // For a viewed file: the range [first, end) of `fileBytes` that still
  // reads the file (the Pixel Data value); empty when all is held.
  int64_t sourceFirst_ = 0;
  int64_t sourceEnd_ = 0;

  int32_t deflatedFrom_ = -1;
  bool inflateFailed_ = false;
  // Set while a bare data set is walked in an explicit encoding chosen for
  // it: its first element then does not make it implicit.
  bool fixedEncoding_ = false;
  bool tooManyRecords_ = false;

  // The byte ranges [first, end) of such contents, sorted and disjoint (an
  // inner range is dropped when the range around it is added). Usually empty.
  std::vector<std::pair<int32_t, int32_t>> implicitContent_;
};

// A text shorter than `limit` characters whole; otherwise its first three
// characters, "..." and its last (limit - 3) characters.
std::u16string ShortenPath(const std::u16string& text, int32_t limit);
