// The file list: for each patient a header line (expander, label, file
// count) and, while the patient is expanded, one numbered row per shown file
// of its series. The current and the compare file carry a coloured box and a
// tab with "主" or "比".
//
// Every frame lays out every patient and series, so that the rectangles the
// hit tests read are those of this frame, but draws only the lines that can
// reach the visible part of the frame: a list of thousands of files costs
// drawing work only for the rows on screen.
#include <algorithm>

#include "platform/core/format.h"
#include "views/internal/drawing.h"

using plat::HDC;
using plat::POINT;
using plat::RECT;

namespace views {
namespace {

constexpr std::u16string_view kExpanded = u"[+]";
constexpr std::u16string_view kCollapsed = u"[-]";
constexpr std::u16string_view kCountPrefix = u" f:";
constexpr int32_t kRowIndent = 20;  // file rows stand this far right of their patient
constexpr int32_t kRowWidth = kFileListRight;  // a row's text is cut this far from its start

// A line of text at y with height h may leave ink this far beyond its cell
// (the marks reach 3 pixels below a row); lines farther away than this from
// the visible range are not drawn.
constexpr int32_t kInkMargin = 8;

bool LineVisible(int32_t y, int32_t h, int32_t visibleTop, int32_t visibleBottom) {
  return y + h + kInkMargin > visibleTop && y - kInkMargin < visibleBottom;
}

struct FileMark {
  std::u16string_view label;
  plat::COLORREF colour;
};
constexpr FileMark kCurrentFileMark{u"主", kMainMark};
constexpr const char16_t* kChangedFileMark = u"[已更改]";
constexpr plat::COLORREF kChangedFileText = kValueColours[1];  // the red of differing values
constexpr FileMark kCompareFileMark{u"比", kCompareMark};

// The box around a file row at (x, y) and the tab left of it.
void DrawFileMark(HDC dc, int32_t x, int32_t y, int32_t th, const FileMark& mark) {
  plat::HGDIOBJ previousPen = plat::SelectObject(dc, CachedPen(plat::PS_SOLID, 1, mark.colour));
  plat::HBRUSH brush = CachedBrush(mark.colour);
  int32_t lw = plat::GetTextExtentPoint32W(dc, mark.label).cx;
  OutlineThrough(dc, x - 4, y - 2, x + 204, y + th + 2);
  plat::FillRect(dc, RECT{x - 8 - lw, y - 2, x - 4, y + th + 3}, brush);
  plat::SetTextColor(dc, kTabText);
  plat::TextOutW(dc, x - lw - 5, y, mark.label);
  if (previousPen != nullptr) plat::SelectObject(dc, previousPen);
}

// The row text "k.path", shortened by its width: when the short path does
// not fit, the path's head, "..." and as much of its end as fits, so that
// the file's name stays visible whatever the glyphs' widths.
std::u16string FittedRowText(HDC dc, int32_t number, const char16_t* mark, const DicomFile& file, int32_t width) {
  std::u16string text = plat::FormatText(u"%d.%s%s", {number, mark, file.shortPath});
  if (plat::GetTextExtentPoint32W(dc, text).cx <= width) return text;
  const std::u16string& path = file.path;
  const std::u16string head =
      plat::FormatText(u"%d.%s", {number, mark}) + path.substr(0, std::min<size_t>(3, path.size())) + u"...";
  // The longest end that fits, found by halving.
  size_t low = 0, high = path.size();
  while (low < high) {
    const size_t keep = (low + high + 1) / 2;
    if (plat::GetTextExtentPoint32W(dc, head + path.substr(path.size() - keep)).cx <= width) low = keep;
    else high = keep - 1;
  }
  size_t start = path.size() - low;
  // Never half a surrogate pair.
  if (start < path.size() && path[start] >= 0xDC00 && path[start] <= 0xDFFF) ++start;
  return head + path.substr(start);
}

int32_t ShownFileCount(const PatientEntry& patient) {
  int32_t n = 0;
  for (const StudyEntry* study : patient.studies) {
    if (study == nullptr) continue;
    for (const SeriesEntry* series : study->series)
      if (series != nullptr) n += series->shownFiles.length;
  }
  return n;
}

}  // namespace

int32_t DrawPatient(ShowWork& panel, PatientEntry& p, HDC dc, const RECT& r, int32_t visibleTop,
                    int32_t visibleBottom) {
  const int32_t x = r.left;
  const int32_t y = r.top;
  plat::SIZE labelSize = plat::GetTextExtentPoint32W(dc, p.label);
  p.headerRect = RECT{x, y, x + labelSize.cx, y + labelSize.cy};
  const bool drawHeader = LineVisible(y, labelSize.cy, visibleTop, visibleBottom);

  std::u16string_view expander = p.collapsed != 0 ? kCollapsed : kExpanded;
  plat::SIZE e = plat::GetTextExtentPoint32W(dc, expander);
  if (drawHeader) {
    plat::SetTextColor(dc, p.expanderHover != 0 ? kExpanderHover : kExpander);
    plat::TextOutW(dc, x, y, expander);
  }
  p.expanderRect = RECT{x, y, x + e.cx, y + e.cy};
  plat::UnionInto(p.headerRect, p.expanderRect);

  const int32_t x2 = x + e.cx + 4;
  if (drawHeader) {
    plat::SetTextColor(dc, kPatientText);
    plat::TextOutW(dc, x2, y, p.label);
  }
  plat::UnionInto(p.headerRect, RECT{x2, y, x2 + labelSize.cx, y + labelSize.cy});

  plat::SIZE f = plat::GetTextExtentPoint32W(dc, kCountPrefix);
  if (drawHeader) plat::TextOutW(dc, x2 + labelSize.cx, y, kCountPrefix);
  plat::UnionInto(p.headerRect, RECT{x2 + labelSize.cx, y, x2 + labelSize.cx + f.cx, y + f.cy});

  const int32_t n = ShownFileCount(p);
  std::u16string count = plat::FormatText(u"%d", {n});
  const int32_t countX = x2 + labelSize.cx + f.cx + 2;
  plat::SIZE c = plat::GetTextExtentPoint32W(dc, count);
  if (drawHeader) plat::TextOutW(dc, countX, y, count);
  plat::UnionInto(p.headerRect, RECT{countX, y, countX + c.cx, y + c.cy});

  int32_t next = y + c.cy + 2;
  if (p.collapsed == 0) {
    POINT origin{r.left + kRowIndent, next};
    for (StudyEntry* study : p.studies) {
      if (study == nullptr) continue;
      const int32_t studyTop = origin.y;
      for (SeriesEntry* series : study->series) {
        if (series == nullptr) continue;
        origin.y = DrawSeriesFiles(panel, *series, dc, origin, visibleTop, visibleBottom);
      }
      if (origin.y < studyTop + 1) origin.y = studyTop + 1;
    }
    next += (c.cy + 2) * n;
  }

  if (p.pressed != 0 && drawHeader) {
    plat::HGDIOBJ previousPen = plat::SelectObject(dc, CachedPen(plat::PS_DOT, 1, kPressedOutline));
    const RECT& h = p.headerRect;
    OutlineThrough(dc, h.left - 1, h.top - 1, h.right + 1, h.bottom + 1);
    if (previousPen != nullptr) plat::SelectObject(dc, previousPen);
  }
  return next;
}

int32_t DrawSeriesFiles(ShowWork& panel, SeriesEntry& s, HDC dc, POINT origin, int32_t visibleTop,
                        int32_t visibleBottom) {
  s.TakePendingFiles();
  const StudyEntry* study = s.parent;
  const PatientEntry* patient = study != nullptr ? study->parent : nullptr;
  if (patient == nullptr || patient->owner != &panel.collection)
    return origin.y + plat::GetTextExtentPoint32W(dc, u"0").cy;

  const int32_t x = origin.x;
  const int32_t y0 = origin.y;
  const int32_t slots = s.shownFiles.length;
  if (slots == 0) return y0;

  // Every row has the font's cell height, so the rows' places and the
  // rectangle the hit tests use follow from the first row's text alone.
  std::u16string text = plat::FormatText(u"%d.%s", {1, s.shownFiles[0] != nullptr ? s.shownFiles[0]->shortPath : u""});
  const int32_t th = plat::GetTextExtentPoint32W(dc, text).cy;
  const int32_t pitch = th + 2;
  s.listRowHeight = pitch;
  s.listRect = RECT{x, y0, x + kRowWidth, y0 + (slots - 1) * pitch + th};

  int32_t first = 0;
  const int32_t above = visibleTop - kInkMargin - pitch - y0;
  if (above > 0) first = above / pitch;
  for (int32_t k = first; k < slots; ++k) {
    const int32_t y = y0 + k * pitch;
    if (y - kInkMargin >= visibleBottom) break;
    const DicomFile* file = s.shownFiles[k];
    if (file == nullptr || !LineVisible(y, th, visibleTop, visibleBottom)) continue;
    // A file whose source changed on the disk since it was loaded says so.
    const bool changed = file->SourceChanged();
    text = FittedRowText(dc, k + 1, changed ? kChangedFileMark : u"", *file, kRowWidth);
    if (file->serial == panel.currentSerial) DrawFileMark(dc, x, y, th, kCurrentFileMark);
    else if (file->serial == panel.compareSerial) DrawFileMark(dc, x, y, th, kCompareFileMark);
    plat::SetTextColor(dc, changed ? kChangedFileText : kTextGrey);
    RECT cell{x, y, x + kRowWidth, y + th};
    plat::DrawTextW(dc, text, cell, 0);
  }
  return y0 + pitch * slots;
}

DicomFile* FileRowAt(const PatientEntry& patient, POINT point) {
  for (const StudyEntry* study : patient.studies) {
    if (study == nullptr) continue;
    for (const SeriesEntry* series : study->series) {
      if (series == nullptr) continue;
      const RECT& r = series->listRect;
      if (point.y < r.top || point.x < r.left || point.x >= r.right || series->listRowHeight <= 0) continue;
      const int32_t row = (point.y - r.top) / series->listRowHeight;
      if (row < series->shownFiles.length) return series->shownFiles[row];
    }
  }
  return nullptr;
}

int PatientLeftClick(ShowWork& panel, PatientEntry& p, POINT point) {
  // Rows of a patient that the last frame showed collapsed were not drawn;
  // their rectangles are those of an older frame and must not answer.
  const bool rowsShown = p.collapsed == 0;
  int hit = 0;
  if (plat::PtInRect(p.expanderRect, point)) {
    p.expanderHover = 1;
    p.collapsed = p.collapsed != 0 ? 0 : 1;
    hit = 1;
  } else {
    p.expanderHover = 0;
  }
  if (!rowsShown) return hit;
  DicomFile* file;
  {
    StudyCollection::ShapeReader reader(panel.collection);
    file = FileRowAt(p, point);
  }
  if (file == nullptr) return hit;
  if (file->serial != panel.currentSerial) panel.SetCurrentFile(file->serial);
  return 1;
}

int PatientRightClick(ShowWork& panel, PatientEntry& p, POINT point) {
  if (p.collapsed != 0) return 0;
  DicomFile* file;
  {
    StudyCollection::ShapeReader reader(panel.collection);
    file = FileRowAt(p, point);
  }
  if (file == nullptr) return 0;
  if (panel.currentSerial == -1) {
    panel.SetCurrentFile(file->serial);
  } else if (file->serial == panel.compareSerial) {
    panel.SetCompareFile(-1);
  } else if (file->serial != panel.currentSerial) {
    panel.SetCompareFile(file->serial);
  }
  return 1;
}

}  // namespace views

void ShowWork::UpdateFileContentHeight() {
  StudyCollection::ShapeReader reader(collection);
  // As the frame lays the list out: 4 pixels above the first patient and
  // between two patients, a header line and the file rows of each.
  int32_t height = 0;
  for (const PatientEntry* patient : reader.patients) {
    if (patient == nullptr) continue;
    height += kPatientGap + fileRowHeight + 2;
    if (patient->collapsed == 0) height += (fileRowHeight + 2) * views::ShownFileCount(*patient);
  }
  fileContentHeight = height;
}
