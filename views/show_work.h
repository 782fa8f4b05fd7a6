// The work panel: the one owner-drawn surface of the main window. It owns the
// study collection, the selection (current and compare file, by serial), the
// scroll state of the file list and the tag area, and the floating hex panel,
// and draws from those fields alone, every frame anew:
//   - the file list on the left (patients and their numbered files),
//   - the tag area on the right: the element list of the current file, or the
//     current and the compare file aligned element by element,
//   - the hex panel with the bytes of one chosen row on top of both,
//   - or, while nothing is loaded, the usage text.
//
// The main window forwards its mouse messages over the panel surface to the
// mouse operations (points relative to the surface) and repaints the panel
// through Redraw. When the user chooses a current or compare file the panel
// sends WM_FILE_SELECTED (intake/messages.h) to its owner window, which shows
// `selectedPath`.
//
// Threads: everything here runs on the user-interface thread. The loader
// thread only appends to the collection; the panel reads the collection's
// arrays under its shape lock and sees a series' new files once a frame has
// moved them from pending to shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/byte_buffer.h"
#include "collection/collection.h"
#include "controls/gdi_cache.h"
#include "controls/owner_draw.h"
#include "intake/messages.h"

// One row of the comparison of the current file with the compare file.
struct AlignmentRow {
  uint16_t group;
  uint16_t element;
  int32_t mainIndex;     // index in the current file's elements; -1: none
  int32_t compareIndex;  // index in the compare file's elements; -1: none
  int32_t depth;
  int32_t same;  // both present, values equal byte for byte
};

// One column of the tag list.
struct ColumnSpec {
  int32_t x;        // offset from the row's start, while visible
  int32_t width;
  int32_t visible;
  uint32_t format;  // DrawTextW format of the column's cells
};

// The columns of the tag list, in their fixed order. Shared by the single
// list, the compare view and the frames; changed by the main window's column
// buttons (invert `visible`, LayoutColumns, Redraw).
enum : int32_t {
  kColumnTag = 0,
  kColumnPosition = 1,
  kColumnName = 2,
  kColumnDescription = 3,
  kColumnVr = 4,
  kColumnLength = 5,
  kColumnValue = 6,
  kColumnCount = 7,
};
extern ColumnSpec ColumnTable[kColumnCount];

// Puts every column into its start-up state (x 0, then LayoutColumns).
void InitColumnTable();
// Gives the visible columns their x: a running sum of width + 8.
void LayoutColumns();
// Widths of the visible columns, plus 8 for each visible one but the first.
int32_t ColumnsWidth();

// The panel's fixed geometry.
constexpr int32_t kTagAreaLeft = 244;  // x where the tag area begins
constexpr int32_t kTagAreaTop = 14;
constexpr int32_t kTagListTop = kTagAreaTop + 4;  // y of the first row of the tag list
constexpr int32_t kFileListLeft = 4;
constexpr int32_t kFileListRight = 200;
constexpr int32_t kPatientGap = 4;  // above the first patient and between two
constexpr int32_t kScrollMargin = 16;  // kept below the tag list when scrolled to its end
constexpr int32_t kWheelStep = 40;

class ShowWork : public vxOnwerDraw {
 public:
  // The study collection: the patient array and the folder loader.
  StudyCollection collection;
  PointerArray<PatientEntry>& patients = collection.patients;
  int32_t tagScroll = 0;  // 0 or negative
  int32_t tagContentHeight = 0;
  int32_t tagRowHeight = 12;
  int32_t tagViewHeight = 0;
  int32_t fileScroll = 0;  // 0 or negative
  int32_t fileContentHeight = 0;
  int32_t fileRowHeight = 12;
  int32_t fileViewHeight = 0;
  ByteBuffer<AlignmentRow> alignment;
  GdiCache gdiCacheStorage;  // the process-wide cache when this panel claimed it
  int32_t currentSerial = -1;
  int32_t compareSerial = -1;
  plat::POINT pressPoint;
  plat::POINT lastPoint;
  int32_t buttonDown = 0;
  int32_t dragged = 0;
  std::u16string selectedPath;
  int32_t hexRow = -1;
  int32_t hexShown = 0;
  plat::RECT hexRect{346, 400, 906, 800};
  int32_t hexDragging = 0;
  // After a de-identification run the views draw the values that may still
  // identify a person in the warning colour; the rows of the last file
  // audited for it.
  bool markResiduals = false;
  int32_t residualSerial = -1;
  std::vector<uint8_t> residualRows;

  ShowWork();
  ~ShowWork() override;

  void SetWindows(plat::HWND target, plat::HWND owner) override;
  int LeftDown(uintptr_t flags, plat::POINT point) override;
  int MouseMove(uintptr_t flags, plat::POINT point) override;
  int LeftUp(uintptr_t flags, plat::POINT point) override;
  int LeftDoubleClick(uintptr_t flags, plat::POINT point) override;
  int RightUp(uintptr_t flags, plat::POINT point) override;
  int Wheel(uintptr_t flags, int16_t delta, plat::POINT point) override;
  void ClearBackground() override;
  void DrawContent() override;

  // The collection's root operations, for dropped paths.
  bool LoadFile(const std::u16string& path) { return collection.LoadFile(path); }
  // The caller holds the collection's shape lock.
  PatientEntry* FindOrAddPatient(DicomFile* file) { return collection.FindOrAddPatient(file); }
  int32_t StartFolderRun(const std::u16string& folder);
  void StopLoader() { collection.StopLoader(); }

  // Stops the loader (waiting for its thread), destroys the collection and
  // resets selection and scrolling; the hex panel keeps its place.
  void ClearAll();
  // The shown file with this serial, or none.
  DicomFile* FindFileBySerial(int32_t serial) const;
  void SetCurrentFile(int32_t serial);
  void SetCompareFile(int32_t serial);  // -1 clears the compare file
  void AnnounceSelection(int32_t serial);
  void UpdateTagContentHeight();
  // Keeps tagScroll inside the current content (after a new choice of file).
  void KeepTagScrollInside();
  // Whether the shown hex panel covers the point.
  bool OverHexPanel(plat::POINT point) const;
  void RebuildAlignment();
  void UpdateFileContentHeight();

  // Scrolls by a drag to `point`; non-zero when something moved.
  int Drag(plat::POINT point);
};
