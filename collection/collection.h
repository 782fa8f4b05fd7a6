// The study collection: analysed files grouped into patients, studies (per
// folder) and series. The root (the patient array and the two root
// operations) is StudyCollection, which the work panel owns.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_file.h"
#include "platform/core/geometry.h"

struct PatientEntry;
struct StudyEntry;
struct SeriesEntry;
class StudyCollection;

// Child lists: growable pointer arrays with a step of 16, in insertion order.
template <typename T>
using PointerArray = ByteBuffer<T*>;

struct SeriesEntry {
  std::u16string seriesInstanceUid;  // (0020,000E)
  std::u16string seriesDescription;  // (0008,103E)
  PointerArray<DicomFile> shownFiles;  // user-interface thread only
  std::mutex lock;                     // guards pendingFiles and DicomFile::series
  PointerArray<DicomFile> pendingFiles;
  // View state of the file list.
  plat::RECT listRect{0, 0, 1, 1};
  int32_t listRowHeight = 1;
  std::u16string newSeriesUid;  // generated replacement for (0020,000E), kind "2"
  StudyEntry* parent = nullptr;

  SeriesEntry() = default;
  ~SeriesEntry();  // deletes the shown files, then the pending files
  SeriesEntry(const SeriesEntry&) = delete;
  SeriesEntry& operator=(const SeriesEntry&) = delete;

  // Moves pending files into the shown list without waiting for the lock.
  // Returns 1 when the lock was taken, 0 when it was busy.
  int32_t TakePendingFiles();
};

struct StudyEntry {
  std::u16string studyDate;               // (0008,0020)
  std::u16string studyInstanceUid;        // (0020,000D)
  std::u16string studyId;                 // (0020,0010)
  std::u16string studyDescription;        // (0008,1030)
  std::u16string folder;                  // folder of the creating file, ending in "/"
  PointerArray<SeriesEntry> series;
  std::u16string newStudyUid;             // kind "1"
  std::u16string newInstanceCreatorUid;   // kind "4"
  std::u16string newKind5Uid;             // kind "5"
  PatientEntry* parent = nullptr;

  StudyEntry() = default;
  ~StudyEntry();
  StudyEntry(const StudyEntry&) = delete;
  StudyEntry& operator=(const StudyEntry&) = delete;

  // 1 match, 0 no match, -2 no file.
  int32_t MatchesStudy(const DicomFile* file) const;
  SeriesEntry* FindOrAddSeries(DicomFile* file);
  int32_t AddFile(DicomFile* file);
};

struct PatientEntry {
  std::u16string label;        // the name, clipped to 20 code units with "..."
  std::u16string patientName;  // (0010,0010)
  std::u16string patientId;    // (0010,0020)
  PointerArray<StudyEntry> studies;
  // View state of the file list.
  int32_t collapsed = 0;
  plat::RECT headerRect{0, 0, 1, 1};
  int32_t pressed = 0;
  plat::RECT expanderRect{0, 0, 1, 1};
  int32_t expanderHover = 0;
  StudyCollection* owner = nullptr;

  PatientEntry() = default;
  ~PatientEntry();
  PatientEntry(const PatientEntry&) = delete;
  PatientEntry& operator=(const PatientEntry&) = delete;

  StudyEntry* FindOrAddStudy(DicomFile* file);
};
