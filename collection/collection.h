// The study collection: analysed files grouped into patients, studies (per
// folder) and series. The root (the patient array and the two root
// operations) is StudyCollection, which the work panel owns.
//
// Threads. Files enter the tree from the user-interface thread (single
// dropped files) and from the loader thread (folder runs), while the
// user-interface thread reads the tree to draw, count and de-identify it.
// - The shape of the tree (the patient, study and series arrays, whose
//   storage moves when they grow, and the creation of entries) is guarded by
//   the collection's `shapeLock`. A file is analysed before the lock is
//   taken; the lock is held only to find or create its patient, study and
//   series and to append it to the series' pending list. The user-interface
//   thread therefore never waits for an analysis, only for those few steps.
// - Readers of the arrays hold the lock while they iterate: a ShapeReader, or
//   ForEachSeries, which does that for them. Entries never move and are
//   never freed while the tree lives, so a pointer to an entry stays good
//   after the lock is released; their key fields never change after creation.
// - The series lock guards each series' pending list and the `series` field
//   of a file; the shown list and the view-state and replacement-UID fields
//   belong to the user-interface thread alone.
// - Lock order: shapeLock, then a series lock. The user-interface thread takes
//   series locks only through TakePendingFiles, which never waits.
// - Clear() and the destructor stop the loader and wait for its thread before
//   anything is destroyed. Neither may run while the calling thread holds a
//   ShapeReader: the loader may be waiting for that lock to finish its file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_file.h"
#include "platform/core/geometry.h"
#include "platform/core/messages.h"

struct PatientEntry;
struct StudyEntry;
struct SeriesEntry;
class StudyCollection;
class vxLoader;

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
  // The last series that matches the file, or a new one made from it. The
  // caller holds the collection's shape lock.
  SeriesEntry* FindOrAddSeries(DicomFile* file);
  // Puts the file into its series' pending list (under the series lock) and
  // sets its `series`; returns 0. The caller holds the shape lock.
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

  // The first study of this patient that matches the file, or a new one
  // made from it. The caller holds the collection's shape lock.
  StudyEntry* FindOrAddStudy(DicomFile* file);
};

class StudyCollection {
 public:
  PointerArray<PatientEntry> patients;  // in order of creation
  // Guards the shape of the tree (see the top of this file). Recursive, so
  // that user-interface code that holds a ShapeReader may still load a file.
  mutable std::recursive_mutex shapeLock;
  // The window the loader reports to (the main window); null for none.
  plat::HWND window;
  // Whether dropped folders are loaded with every folder below them, their
  // files chosen by content (intake's ListFolderTree), rather than only the
  // files directly inside them chosen by name. Read by the loader at the
  // start of each run.
  std::atomic<bool> includeSubfolders{false};
  // The folder loader, created by the first folder drop (intake/loader.h
  // defines it and supplies the deleter, which stops its thread first).
  std::unique_ptr<vxLoader, void (*)(vxLoader*)> loader{nullptr, nullptr};

  StudyCollection() = default;
  ~StudyCollection();  // Clear()
  StudyCollection(const StudyCollection&) = delete;
  StudyCollection& operator=(const StudyCollection&) = delete;

  // Reads and analyses the file (outside any lock), then puts it into the
  // tree. A file whose status is below 1 is destroyed. Returns whether the
  // file joined the tree. Any thread.
  bool LoadFile(const std::u16string& path);
  // Puts a file that has been analysed into the tree, taking it over; the
  // second half of LoadFile (files analysed from memory enter the same way).
  bool AddAnalysedFile(DicomFile* file);
  // The first patient whose name and ID match the file, or a new one made
  // from it. The caller holds the shape lock.
  PatientEntry* FindOrAddPatient(DicomFile* file);

  // Stops the loader, waiting for the file in progress, and destroys it.
  void StopLoader();
  // Stops the loader, then destroys every patient, study, series and file.
  void Clear();

  // The replacement Study and Series Instance UIDs given so far, by the
  // original UID: every StudyEntry (one per folder) of one study receives the
  // same new Study UID, and every SeriesEntry of one series the same new
  // Series UID, so that the copies of a study split over folders stay one
  // study. User-interface thread (the anonymize command) only.
  std::unordered_map<std::u16string, std::u16string> newStudyUids;
  std::unordered_map<std::u16string, std::u16string> newSeriesUids;

  // Holds the shape lock for the user-interface thread while it walks the
  // arrays.
  class ShapeReader {
   public:
    explicit ShapeReader(const StudyCollection& c) : hold_(c.shapeLock), patients(c.patients) {}

   private:
    std::unique_lock<std::recursive_mutex> hold_;

   public:
    const PointerArray<PatientEntry>& patients;
  };

  // Calls fn(patient, study, series) for every series in tree order, with
  // the shape lock held.
  template <typename Fn>
  void ForEachSeries(Fn&& fn) const {
    ShapeReader reader(*this);
    for (PatientEntry* patient : reader.patients)
      for (StudyEntry* study : patient->studies)
        for (SeriesEntry* series : study->series) fn(*patient, *study, *series);
  }

  // TakePendingFiles for every series. Returns the number of series whose
  // lock was busy (their files stay pending until a later call).
  int32_t TakeAllPendingFiles();
  // Shown files of the whole tree. User-interface thread.
  int32_t ShownFileCount() const;

 private:
  // Where FindOrAddPatient finds the first patient that matches a file
  // without comparing it with every patient: the first patient (lowest
  // index) for each folded name and ID, name alone and ID alone. A file
  // without a name matches every stored name, so it is looked up by its ID
  // alone, and so on. Guarded by shapeLock.
  struct PatientKeys {
    std::unordered_map<std::u16string, int32_t> byNameAndId, byName, byId;
  };
  PatientKeys patientKeys_;
  void IndexPatient(const PatientEntry& patient, int32_t index);
};
