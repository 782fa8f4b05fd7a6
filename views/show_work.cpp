#include "views/show_work.h"

#include <vector>

#include "intake/drop.h"
#include "platform/window/window.h"
#include "views/internal/drawing.h"

using plat::POINT;
using plat::RECT;

namespace {

// The patients as they stand now. Entries never move or die while the tree
// lives, so the pointers stay good after the shape lock is let go; operations
// that notify the owner window run without holding it.
std::vector<PatientEntry*> PatientSnapshot(const StudyCollection& collection) {
  StudyCollection::ShapeReader reader(collection);
  return std::vector<PatientEntry*>(reader.patients.begin(), reader.patients.end());
}

// The usage text shown while nothing is loaded.
constexpr std::u16string_view kHelpTitle = u"使用说明：";
constexpr std::u16string_view kHelpLines[] = {
    u"1. 将DICOM文件或者文件夹拖到此窗口上即可打开文件。",
    u"2. 导入文件后，左键单击打开当前文件，右键单击打开对比文件，再次右键单击取消对比文件。",
    u"3. 双击DICOM标签可以查看标签的二进制形式。",
    u"4. 文件名列表、DICOM标签列表可以上下拖动，DICOM标签面板可以任意拖动。",
    u"5. 脱敏后文件存于 \"文件夹名 + __Anony\" 文件夹下。",
};
constexpr POINT kHelpTitleAt{236, 230};
constexpr int32_t kHelpLineX = 260;
constexpr int32_t kHelpLineTop = 236;
constexpr int32_t kHelpLineGap = 10;

// Clamps one axis of a rectangle of fixed size into [0, limit - 1].
void PinInto(int32_t& low, int32_t& high, int32_t size, int32_t limit) {
  if (low < 0) {
    low = 0;
    high = size;
  }
  if (high >= limit) {
    high = limit - 1;
    low = limit - 1 - size;
  }
}

// One scroll step of a drag: the offset follows the pointer and stays between
// 0 and the end of the content plus the margin below it.
int DragScroll(int32_t& scroll, int32_t contentHeight, int32_t viewHeight, int32_t dy) {
  if (contentHeight <= viewHeight) return 0;
  scroll += dy;
  if (scroll > 0) scroll = 0;
  if (contentHeight + scroll < viewHeight - kScrollMargin) scroll = viewHeight - contentHeight - kScrollMargin;
  return 1;
}

}  // namespace

namespace views {

void OutlineThrough(plat::HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  plat::MoveToEx(dc, left, top);
  plat::LineTo(dc, right, top);
  plat::LineTo(dc, right, bottom);
  plat::LineTo(dc, left, bottom);
  plat::LineTo(dc, left, top);
}

int32_t TagRowPitch() {
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  plat::HGDIOBJ previous = plat::SelectObject(dc, PanelFont());
  const int32_t pitch = plat::GetTextExtentPoint32W(dc, u"test").cy + 1;
  if (previous != nullptr) plat::SelectObject(dc, previous);
  plat::DeleteDC(dc);
  return pitch;
}

void DrawHelpText(plat::HDC dc) {
  plat::HGDIOBJ previous = plat::SelectObject(dc, PanelFont());
  int32_t h = plat::GetTextExtentPoint32W(dc, kHelpTitle).cy;
  plat::SetTextColor(dc, kTextGrey);
  plat::TextOutW(dc, kHelpTitleAt.x, kHelpTitleAt.y, kHelpTitle);
  int32_t k = 1;
  for (std::u16string_view line : kHelpLines) plat::TextOutW(dc, kHelpLineX, kHelpLineTop + k++ * (h + kHelpLineGap), line);
  if (previous != nullptr) plat::SelectObject(dc, previous);
}

}  // namespace views

ShowWork::ShowWork() { ClaimGdiCache(&gdiCacheStorage); }

ShowWork::~ShowWork() {
  ClearAll();
  selectedPath.clear();
  // Only the panel whose storage is the process-wide cache clears it; its
  // reference is emptied with it, so no later request reaches freed storage.
  ReleaseGdiCache(&gdiCacheStorage);
  gdiCacheStorage.ReleaseStorage();
  alignment.Release();
}

void ShowWork::SetWindows(plat::HWND target, plat::HWND owner) {
  vxOnwerDraw::SetWindows(target, owner);
  collection.window = owner;
  InitColumnTable();
  hexShown = 0;
}

int32_t ShowWork::StartFolderRun(const std::u16string& folder) { return ::StartFolderRun(collection, folder); }

void ShowWork::ClearBackground() {
  auto* pixels = reinterpret_cast<uint32_t*>(frameBuffer.data);
  if (pixels == nullptr) return;
  int64_t count = static_cast<int64_t>(frameBuffer.height) * frameBuffer.stride / 4;
  for (int64_t i = 0; i < count; ++i) pixels[i] = views::kPanelBackgroundPixel;
}

void ShowWork::DrawContent() {
  plat::HDC dc = memoryContext;
  StudyCollection::ShapeReader reader(collection);
  if (reader.patients.length == 0) {
    views::DrawHelpText(dc);
    return;
  }
  plat::HGDIOBJ previousFont = plat::SelectObject(dc, views::PanelFont());

  // The frame covers the target window (the frame buffer has its client
  // size, which is the same for the borderless panel surface).
  int32_t W = frameBuffer.width;
  int32_t H = frameBuffer.height;
  RECT window;
  if (plat::GetWindowRect(targetWindow, &window)) {
    W = window.right - window.left;
    H = window.bottom - window.top;
  }

  RECT fileList{kFileListLeft, fileScroll + kPatientGap, kFileListRight, H};
  for (PatientEntry* patient : reader.patients) {
    if (patient == nullptr) continue;
    int32_t y = views::DrawPatient(*this, *patient, dc, fileList, 0, frameBuffer.height);
    fileList.top = y + kPatientGap;
  }
  views::DrawTagArea(*this, dc, RECT{kTagAreaLeft, kTagAreaTop, W, H});
  views::DrawHexPanel(*this, dc);

  // The rows' pitch follows the font, as the rows drawn above do.
  fileRowHeight = plat::GetTextExtentPoint32W(dc, u"0").cy;
  if (previousFont != nullptr) plat::SelectObject(dc, previousFont);
  fileViewHeight = H;
  UpdateFileContentHeight();
}

bool ShowWork::OverHexPanel(POINT point) const { return hexShown != 0 && plat::PtInRect(hexRect, point); }

int ShowWork::LeftDown(uintptr_t, POINT point) {
  int hit = 0;
  // The floating hex panel covers the lists under it.
  const bool overHex = OverHexPanel(point);
  for (PatientEntry* patient : PatientSnapshot(collection)) {
    patient->pressed = !overHex && plat::PtInRect(patient->headerRect, point) ? 1 : 0;
    hit |= patient->pressed;
  }
  pressPoint = point;
  buttonDown = 1;
  if (overHex) hexDragging = 1;
  return hit;
}

int ShowWork::MouseMove(uintptr_t flags, POINT point) {
  int changed = 0;
  for (PatientEntry* patient : PatientSnapshot(collection)) {
    int32_t hover = plat::PtInRect(patient->expanderRect, point) ? 1 : 0;
    if (hover != patient->expanderHover) changed = 1;
    patient->expanderHover = hover;
  }
  if ((flags & plat::MK_LBUTTON) == 0) {
    buttonDown = 0;
    hexDragging = 0;
  }
  if (buttonDown != 0) {
    dragged = 1;
    changed |= Drag(point);
  }
  lastPoint = point;
  return changed;
}

int ShowWork::Drag(POINT point) {
  int32_t dx = point.x - lastPoint.x;
  int32_t dy = point.y - lastPoint.y;
  if (hexDragging != 0 && plat::PtInRect(hexRect, point)) {
    int32_t w = hexRect.right - hexRect.left;
    int32_t h = hexRect.bottom - hexRect.top;
    plat::OffsetRect(hexRect, dx, dy);
    PinInto(hexRect.left, hexRect.right, w, frameBuffer.width);
    PinInto(hexRect.top, hexRect.bottom, h, frameBuffer.height);
    return 1;
  }
  if (point.x > kTagAreaLeft) return DragScroll(tagScroll, tagContentHeight, tagViewHeight, dy);
  return DragScroll(fileScroll, fileContentHeight, fileViewHeight, dy);
}

int ShowWork::LeftUp(uintptr_t, POINT point) {
  int hit = 0;
  if (dragged == 0 && !OverHexPanel(point)) {
    for (PatientEntry* patient : PatientSnapshot(collection)) hit |= views::PatientLeftClick(*this, *patient, point);
  }
  dragged = 0;
  buttonDown = 0;
  return hit;
}

int ShowWork::LeftDoubleClick(uintptr_t, POINT point) {
  if (point.x < kTagAreaLeft || tagRowHeight <= 0 || OverHexPanel(point)) return 0;
  // Rows start at the list's top, below the frame's tab; a point above the
  // first row (the tab, the path) is no row.
  const int32_t fromFirstRow = point.y - tagScroll - kTagListTop;
  if (point.y < kTagListTop || fromFirstRow < 0) return 0;
  hexRow = fromFirstRow / tagRowHeight;
  return 0;
}

int ShowWork::RightUp(uintptr_t, POINT point) {
  if ((hexShown != 0 && plat::PtInRect(hexRect, point)) || point.x >= kTagAreaLeft) {
    hexShown = 0;
    hexRow = -1;
    return 1;
  }
  int hit = 0;
  for (PatientEntry* patient : PatientSnapshot(collection)) hit |= views::PatientRightClick(*this, *patient, point);
  return hit;
}

int ShowWork::Wheel(uintptr_t, int16_t delta, POINT point) {
  bool tagArea = point.x > kTagAreaLeft;
  int32_t& scroll = tagArea ? tagScroll : fileScroll;
  int32_t content = tagArea ? tagContentHeight : fileContentHeight;
  int32_t view = tagArea ? tagViewHeight : fileViewHeight;
  if (content <= view) return 0;
  if (delta > 0) {
    scroll += kWheelStep;
    if (scroll > 0) scroll = 0;
  } else {
    scroll -= kWheelStep;
    // The tag list keeps a margin below its last row; the file list stops at
    // its last row.
    int32_t margin = tagArea ? kScrollMargin : 0;
    if (content + scroll < view - margin) scroll = view - content - margin;
  }
  return 1;
}

DicomFile* ShowWork::FindFileBySerial(int32_t serial) const {
  StudyCollection::ShapeReader reader(collection);
  for (PatientEntry* patient : reader.patients) {
    if (patient == nullptr) continue;
    for (StudyEntry* study : patient->studies) {
      if (study == nullptr) continue;
      for (SeriesEntry* series : study->series) {
        if (series == nullptr) continue;
        for (DicomFile* file : series->shownFiles)
          if (file != nullptr && file->serial == serial) return file;
      }
    }
  }
  return nullptr;
}

void ShowWork::SetCurrentFile(int32_t serial) {
  if (serial == currentSerial) return;
  if (serial == compareSerial) compareSerial = -1;
  currentSerial = serial;
  AnnounceSelection(serial);
  RebuildAlignment();
  UpdateTagContentHeight();
  KeepTagScrollInside();
}

void ShowWork::SetCompareFile(int32_t serial) {
  if (serial == compareSerial) return;
  if (serial == currentSerial) {
    compareSerial = -1;
    return;
  }
  compareSerial = serial;
  AnnounceSelection(serial);
  RebuildAlignment();
  UpdateTagContentHeight();
  KeepTagScrollInside();
}

void ShowWork::AnnounceSelection(int32_t serial) {
  DicomFile* file = FindFileBySerial(serial);
  if (file == nullptr) return;
  selectedPath = file->path;
  plat::SendMessageW(ownerWindow, WM_FILE_SELECTED, 0, 0);
}

void ShowWork::UpdateTagContentHeight() {
  DicomFile* m = FindFileBySerial(currentSerial);
  DicomFile* c = FindFileBySerial(compareSerial);
  // The rows' pitch is the one the lists draw with (the font's cell plus
  // one), known before the first list of this file is drawn.
  tagRowHeight = views::TagRowPitch();
  if (m != nullptr && c != nullptr) {
    tagContentHeight = tagRowHeight * alignment.length;
  } else if (m != nullptr || c != nullptr) {
    tagContentHeight = tagRowHeight * (m != nullptr ? m : c)->elements.length;
  } else {
    tagContentHeight = frameBuffer.height;
  }
}

void ShowWork::KeepTagScrollInside() {
  // A shorter file must not leave its rows above the view: the offset is
  // kept between 0 and the end of the new content plus the margin.
  const int32_t lowest = tagViewHeight - kScrollMargin - tagContentHeight;
  if (tagScroll < lowest) tagScroll = lowest;
  if (tagScroll > 0 || tagContentHeight <= tagViewHeight) tagScroll = 0;
}

void ShowWork::ClearAll() {
  collection.Clear();  // stops the loader and waits for its thread first
  currentSerial = -1;
  compareSerial = -1;
  hexRow = -1;
  // The hex panel is gone with the files: nothing of it answers the mouse
  // until it is shown again.
  hexShown = 0;
  hexDragging = 0;
  buttonDown = 0;
  tagScroll = 0;
  tagContentHeight = 0;
  tagRowHeight = 12;
  tagViewHeight = 0;
  fileScroll = 0;
  fileContentHeight = 0;
  fileRowHeight = 12;
  fileViewHeight = 0;
}
