// The compare view: the current file and the compare file side by side,
// aligned row by row so that an element both files have stands on one row,
// and an element only one of them has stands opposite a grey placeholder.
#include <cstring>

#include "analysis/dicom_file.h"
#include "platform/core/format.h"
#include "views/internal/drawing.h"

using plat::HDC;
using plat::POINT;
using plat::RECT;

namespace {

// The size of one number of a binary VR (its byte order follows the data
// set's); 0 for VRs whose values are bytes or text.
struct NumberVr {
  VrCode code;
  int32_t size;
};
constexpr NumberVr kNumberVrs[] = {
    {vr::US, 2}, {vr::SS, 2}, {vr::OW, 2}, {vr::AT, 2}, {vr::UL, 4}, {vr::SL, 4}, {vr::FL, 4}, {vr::OL, 4},
    {vr::OF, 4}, {vr::FD, 8}, {vr::OD, 8}, {vr::SV, 8}, {vr::UV, 8}, {vr::OV, 8},
};

int32_t NumberSize(VrCode code) {
  for (const NumberVr& n : kNumberVrs)
    if (n.code == code) return n.size;
  return 0;
}

// Equal numbers of `size` bytes, one side in the other byte order.
bool SameSwappedNumbers(const uint8_t* first, const uint8_t* second, int32_t count, int32_t size) {
  for (int32_t at = 0; at < count; at += size)
    for (int32_t k = 0; k < size; ++k)
      if (first[at + k] != second[at + size - 1 - k]) return false;
  return true;
}

// Equal values: equal, defined lengths, and either empty or the same bytes;
// binary numbers of two data sets in different byte orders are compared as
// numbers. Only bytes inside each file are read; a value cut short by the
// end of its file equals another only if it was cut the same way.
int32_t SameValue(const DicomFile& m, const DicomElement& a, const DicomFile& c, const DicomElement& b) {
  if (a.length != b.length || a.length == -1) return 0;
  if (a.length == 0) return 1;
  const uint8_t* first = nullptr;
  const uint8_t* second = nullptr;
  int32_t firstCount = 0;
  int32_t secondCount = 0;
  m.ValueSpan(a, first, firstCount);
  c.ValueSpan(b, second, secondCount);
  if (firstCount != secondCount) return 0;
  if (firstCount <= 0) return 1;
  // The file meta group is little endian in every file.
  const bool swapped = m.littleEndian != c.littleEndian && a.group != 0x0002;
  const int32_t size = swapped ? NumberSize(a.vr != kNoVr ? a.vr : b.vr) : 0;
  if (size > 1 && firstCount % size == 0) return SameSwappedNumbers(first, second, firstCount, size) ? 1 : 0;
  return std::memcmp(first, second, static_cast<size_t>(firstCount)) == 0 ? 1 : 0;
}

// ValueClass of one side of a row.
int32_t SideClass(const AlignmentRow& r) {
  if (r.mainIndex != -1 && r.compareIndex != -1) return r.same != 0 ? views::kValueNormal : views::kValueDiffers;
  return views::kValueOneSide;
}

AlignmentRow RowOf(const DicomElement& e, int32_t mainIndex, int32_t compareIndex, int32_t same) {
  return AlignmentRow{e.group, e.element, mainIndex, compareIndex, e.depth, same};
}

// One side of a row: the file's element, or the placeholder naming the
// element the other file has.
void DrawSide(ShowWork& panel, HDC dc, const DicomFile& f, int32_t index, POINT at, const AlignmentRow& r) {
  if (index < 0 || index >= f.elements.length) {
    if (ColumnTable[kColumnTag].visible == 0) return;
    plat::SetTextColor(dc, views::kPlaceholder);
    plat::TextOutW(dc, at.x + r.depth * 10, at.y,
                   plat::FormatText(u"[%04X,%04X]", {static_cast<unsigned>(r.group), static_cast<unsigned>(r.element)}));
    return;
  }
  views::DrawTagRow(dc, at, f.elements[index], f, views::ResidualOr(panel, f, index, SideClass(r)));
}

}  // namespace

void ShowWork::RebuildAlignment() {
  const DicomFile* m = FindFileBySerial(currentSerial);
  const DicomFile* c = FindFileBySerial(compareSerial);
  if (m == nullptr || c == nullptr) return;
  alignment.length = 0;  // the storage is kept
  const int32_t mCount = m->elements.length;
  const int32_t cCount = c->elements.length;
  int32_t i = 0;
  int32_t j = 0;
  while (i < mCount && j < cCount) {
    const DicomElement& a = m->elements[i];
    const DicomElement& b = c->elements[j];
    if (a.depth > b.depth) {
      alignment.Append(RowOf(a, i++, -1, 0));
    } else if (a.depth < b.depth) {
      alignment.Append(RowOf(b, -1, j++, 0));
    } else if (a.group == b.group && a.element == b.element) {
      alignment.Append(RowOf(a, i, j, SameValue(*m, a, *c, b)));
      ++i;
      ++j;
    } else if (a.group > b.group || (a.group == b.group && a.element > b.element)) {
      alignment.Append(RowOf(b, -1, j++, 0));
    } else {
      alignment.Append(RowOf(a, i++, -1, 0));
    }
  }
  if (i < mCount) {
    for (; i < mCount; ++i) alignment.Append(RowOf(m->elements[i], i, -1, 0));
  } else {
    for (; j < cCount; ++j) alignment.Append(RowOf(c->elements[j], -1, j, 0));
  }
}

namespace views {

void DrawCompare(ShowWork& panel, const DicomFile& m, const DicomFile& c, HDC dc, const RECT& area) {
  const RECT q{area.left, area.top + 4, area.right, area.bottom - 2};
  const int saved = plat::SaveDC(dc);
  plat::IntersectClipRect(dc, q.left, q.top, q.right, q.bottom);
  const int32_t w = ColumnsWidth();
  const int32_t h = plat::GetTextExtentPoint32W(dc, u"test").cy;
  const int32_t pitch = h + 1;
  // The scrolling limits and the double click read the comparison's rows.
  panel.tagRowHeight = pitch;
  panel.tagViewHeight = q.bottom - q.top;
  const int64_t y0 = static_cast<int64_t>(q.top) + panel.tagScroll;

  // Only rows that can reach Q are drawn; the clipping hides the rest anyway.
  // A row's ink stays within one pitch of its cell.
  int32_t first = 0;
  if (q.top - y0 > 2 * pitch) first = static_cast<int32_t>((q.top - y0) / pitch) - 2;
  for (int32_t r = first; r < panel.alignment.length; ++r) {
    const int64_t y = y0 + static_cast<int64_t>(r) * pitch;
    if (y - pitch >= q.bottom) break;
    const AlignmentRow& row = panel.alignment[r];
    DrawSide(panel, dc, m, row.mainIndex, POINT{q.left, static_cast<int32_t>(y)}, row);
    DrawSide(panel, dc, c, row.compareIndex, POINT{q.left + w + 8, static_cast<int32_t>(y)}, row);
  }
  plat::SelectClipRgn(dc, nullptr);
  plat::RestoreDC(dc, saved);

  DrawListFrame(dc, RECT{q.left, q.top, q.left + w, q.bottom}, u"主选", kMainMark, m);
  DrawListFrame(dc, RECT{q.left + w + 8, q.top, q.left + 2 * w + 8, q.bottom}, u"比较", views::kCompareMark, c);
  if (panel.hexRow != -1) {
    DrawHexSelection(panel, dc, q);
    RECT right = q;
    plat::OffsetRect(right, w + 8, 0);
    DrawHexSelection(panel, dc, right);
  }
}

}  // namespace views
