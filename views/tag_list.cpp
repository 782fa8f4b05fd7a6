// The tag list: one row per element of a file, in coloured columns, nested
// elements indented by depth, inside a frame with a tab and the file's path.
// The row drawing and the frame are shared with the compare view.
#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "anonymize/confidentiality.h"
#include "platform/core/format.h"
#include "views/internal/drawing.h"

using plat::HDC;
using plat::POINT;
using plat::RECT;

namespace {

constexpr int32_t kColumnGap = 8;
constexpr int32_t kDepthIndent = 10;

// The start-up state of the columns.
constexpr ColumnSpec kInitialColumns[kColumnCount] = {
    {0, 66, 1, plat::DT_LEFT},         // tag label
    {0, 80, 0, plat::DT_LEFT},         // position in the file
    {0, 280, 1, plat::DT_LEFT},        // dictionary name
    {0, 120, 0, plat::DT_LEFT},        // description: the name once more
    {0, 16, 1, plat::DT_LEFT},         // VR
    {0, 60, 1, plat::DT_RIGHT},        // value length: room for ten digits, the longest a length has
    {0, 278, 1, plat::DT_SINGLELINE},  // value: gave the length column its room
};

// Colours of the cells that have one of their own; the description column
// keeps whatever colour the row's earlier cells left.
constexpr plat::COLORREF kFlowColours[] = {views::kTagColour, views::kPositionColour, views::kNameColour, 0};

void DrawCell(HDC dc, std::u16string_view text, int32_t left, int32_t top, int32_t width, int32_t height,
              uint32_t format) {
  RECT cell{left, top, left + width, top + height};
  plat::DrawTextW(dc, text, cell, format);
}

// The value as its cell shows it: a value shown only in part ends in an
// ellipsis, and so does one cut to the cell's width, so that no cut goes
// unseen.
std::u16string FittedValue(HDC dc, std::u16string value, bool partial, int32_t width) {
  static constexpr std::u16string_view kEllipsis = u"…";
  if (partial) value += kEllipsis;
  if (plat::GetTextExtentPoint32W(dc, value).cx <= width) return value;
  if (partial) value.resize(value.size() - kEllipsis.size());
  // The longest start that fits with the ellipsis, never half a surrogate pair.
  const auto fits = [&](size_t n) {
    std::u16string text = value.substr(0, n);
    text += kEllipsis;
    return plat::GetTextExtentPoint32W(dc, text).cx <= width;
  };
  size_t low = 0, high = value.size();
  while (low < high) {
    const size_t mid = (low + high + 1) / 2;
    if (fits(mid)) low = mid;
    else high = mid - 1;
  }
  if (low > 0 && value[low - 1] >= 0xD800 && value[low - 1] <= 0xDBFF) --low;
  value.resize(low);
  value += kEllipsis;
  return value;
}

}  // namespace

ColumnSpec ColumnTable[kColumnCount] = {
    kInitialColumns[0], kInitialColumns[1], kInitialColumns[2], kInitialColumns[3],
    kInitialColumns[4], kInitialColumns[5], kInitialColumns[6],
};

void InitColumnTable() {
  for (int32_t i = 0; i < kColumnCount; ++i) ColumnTable[i] = kInitialColumns[i];
  LayoutColumns();
}

void LayoutColumns() {
  int32_t sum = 0;
  for (ColumnSpec& column : ColumnTable) {
    if (column.visible == 0) continue;
    column.x = sum;
    sum += column.width + kColumnGap;
  }
}

int32_t ColumnsWidth() {
  int32_t width = 0;
  for (int32_t i = 0; i < kColumnCount; ++i) {
    if (ColumnTable[i].visible == 0) continue;
    width += ColumnTable[i].width;
    if (i != kColumnTag) width += kColumnGap;
  }
  return width;
}

namespace views {

void DrawTagArea(ShowWork& panel, HDC dc, const RECT& area) {
  DicomFile* m = panel.FindFileBySerial(panel.currentSerial);
  DicomFile* c = panel.FindFileBySerial(panel.compareSerial);
  if (m != nullptr && c != nullptr && m != c) {
    DrawCompare(panel, *m, *c, dc, area);
    return;
  }
  const DicomFile* f = m != nullptr ? m : c;
  if (f == nullptr) return;
  RECT list{kTagAreaLeft, area.top + 4, area.right, area.bottom};
  panel.tagViewHeight = area.bottom - (area.top + 4);
  DrawTagList(panel, *f, dc, list);
  DrawListFrame(dc, RECT{area.left, area.top + 4, area.left + ColumnsWidth(), area.bottom - 2}, u"主选",
                panel.hexRow == -1 ? kMainMark : kMainMarkDimmed, *f);
}

void DrawTagList(ShowWork& panel, const DicomFile& f, HDC dc, const RECT& list) {
  const int saved = plat::SaveDC(dc);
  plat::IntersectClipRect(dc, list.left, list.top, list.right, list.bottom);
  panel.tagRowHeight = plat::GetTextExtentPoint32W(dc, u"test").cy + 1;
  const int32_t rowHeight = panel.tagRowHeight;
  const int32_t y0 = list.top + panel.tagScroll;

  // Rows wholly above the list are skipped by arithmetic, not one by one.
  int32_t first = 0;
  if (list.top > y0 && list.top <= list.bottom && rowHeight > 0) {
    first = (list.top - y0) / rowHeight - 1;
    if (first < 0) first = 0;
  }
  int64_t y = y0 + static_cast<int64_t>(first) * rowHeight;
  for (int32_t i = first; i < f.elements.length; ++i) {
    if (y > list.bottom) break;
    if (y + rowHeight > list.top) DrawTagRow(dc, POINT{list.left, static_cast<int32_t>(y)}, f.elements[i], f, ResidualOr(panel, f, i, kValueNormal));
    y += rowHeight;
  }
  if (panel.hexRow != -1) DrawHexSelection(panel, dc, list);
  plat::SelectClipRgn(dc, nullptr);
  plat::RestoreDC(dc, saved);
}

void DrawTagRow(HDC dc, POINT origin, const DicomElement& e, const DicomFile& f, int32_t valueClass) {
  const std::u16string label = ElementLabel(e);
  const int32_t h = plat::GetTextExtentPoint32W(dc, label).cy + 1;
  const int32_t x = origin.x;
  const int32_t y = origin.y;

  // The first four columns flow from the indented row start, and stop where
  // the fixed columns begin, however deep the row.
  int32_t fixedLeft = INT32_MAX;
  for (int32_t i = kColumnVr; i <= kColumnValue; ++i) {
    if (ColumnTable[i].visible == 0) continue;
    fixedLeft = x + ColumnTable[i].x - kColumnGap;
    break;
  }
  int32_t cx = x + e.depth * kDepthIndent;
  for (int32_t i = kColumnTag; i <= kColumnDescription; ++i) {
    const ColumnSpec& column = ColumnTable[i];
    if (column.visible == 0) continue;
    std::u16string text;
    switch (i) {
      case kColumnTag: text = label; break;
      case kColumnPosition: text = plat::FormatText(u"%6d - %-6d", {e.offset, e.end}); break;
      default: text = plat::FormatText(u"%s", {NameOfKey(e.Key())}); break;
    }
    if (i != kColumnDescription) plat::SetTextColor(dc, kFlowColours[i]);
    const int32_t width = column.width < fixedLeft - cx ? column.width : fixedLeft - cx;
    if (width > 0) DrawCell(dc, text, cx, y, width, h, column.format);
    cx += column.width + kColumnGap;
  }

  // The last three stand at their fixed places, not indented.
  if (ColumnTable[kColumnVr].visible != 0) {
    const char16_t letters[2] = {static_cast<char16_t>(e.vr & 0xFF), static_cast<char16_t>((e.vr >> 8) & 0xFF)};
    plat::SetTextColor(dc, kVrColour);
    const ColumnSpec& column = ColumnTable[kColumnVr];
    DrawCell(dc, std::u16string_view(letters, 2), x + column.x, y, column.width, h, column.format);
  }
  if (ColumnTable[kColumnLength].visible != 0) {
    // All ones: sequences and undefined lengths.
    std::u16string text = e.length == -1 ? std::u16string(u"..") : plat::FormatText(u"%d", {e.length});
    plat::SetTextColor(dc, kLengthColour);
    const ColumnSpec& column = ColumnTable[kColumnLength];
    DrawCell(dc, text, x + column.x, y, column.width, h, column.format);
  }
  if (ColumnTable[kColumnValue].visible != 0) {
    const ColumnSpec& column = ColumnTable[kColumnValue];
    const std::u16string value = FittedValue(dc, ValueText(e, f), ValueTextIsPartial(e, f), column.width);
    plat::SetTextColor(dc, kValueColours[valueClass >= 0 && valueClass <= kValueResidual ? valueClass : 0]);
    DrawCell(dc, value, x + column.x, y, column.width, h, column.format);
  }
}

int32_t ResidualOr(ShowWork& panel, const DicomFile& file, int32_t index, int32_t valueClass) {
  if (!panel.markResiduals || index < 0 || index >= file.elements.length) return valueClass;
  if (panel.residualSerial != file.serial) {
    // The audit of the file, once per file shown.
    panel.residualRows.assign(static_cast<size_t>(file.elements.length), 0);
    for (const AuditFinding& finding : AuditFile(file, nullptr).findings)
      if (finding.element >= 0 && finding.element < file.elements.length) panel.residualRows[finding.element] = 1;
    panel.residualSerial = file.serial;
  }
  return panel.residualRows[static_cast<size_t>(index)] != 0 ? kValueResidual : valueClass;
}

void DrawListFrame(HDC dc, const RECT& frame, std::u16string_view label, plat::COLORREF colour, const DicomFile& f) {
  plat::SelectObject(dc, CachedPen(plat::PS_SOLID, 1, colour));
  OutlineThrough(dc, frame.left - 1, frame.top - 1, frame.right + 1, frame.bottom + 1);
  const plat::SIZE l = plat::GetTextExtentPoint32W(dc, label);
  const RECT tab{frame.left - 1, frame.top - l.cy - 4, frame.left - 1 + l.cx + 16, frame.top};
  plat::FillRect(dc, tab, CachedBrush(colour));
  const int32_t labelX = tab.left + (tab.right - l.cx - tab.left) / 2;
  const int32_t labelY = tab.top + (tab.bottom - l.cy - tab.top) / 2;
  plat::SetTextColor(dc, kTabText);
  plat::TextOutW(dc, labelX, labelY, label);
  plat::SetTextColor(dc, kTextGrey);
  plat::TextOutW(dc, tab.right + 10, labelY, f.displayPath);
}

void DrawHexSelection(ShowWork& panel, HDC dc, const RECT& list) {
  plat::SelectObject(dc, CachedPen(plat::PS_SOLID, 1, kMainMark));
  // A row far outside the list still gets its box, at a place that stays
  // inside the coordinate range.
  int64_t top = static_cast<int64_t>(list.top) + panel.tagScroll + static_cast<int64_t>(panel.tagRowHeight) * panel.hexRow - 1;
  if (top < INT32_MIN / 2) top = INT32_MIN / 2;
  if (top > INT32_MAX / 2) top = INT32_MAX / 2;
  const int32_t y0 = static_cast<int32_t>(top);
  const int32_t x1 = list.left + ColumnsWidth();
  OutlineThrough(dc, list.left, y0, x1, y0 + panel.tagRowHeight);
}

}  // namespace views
