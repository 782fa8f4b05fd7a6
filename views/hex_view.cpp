// The hex panel: the raw bytes of the chosen row's element (of both files in
// the compare view), sixteen to a line with their file offsets and the
// printable characters of the value, coloured by what each byte is.
#include "analysis/dicom_file.h"
#include "platform/core/format.h"
#include "views/internal/drawing.h"

using plat::HDC;
using plat::POINT;
using plat::RECT;

namespace {

constexpr int32_t kInset = 16;        // the dump's distance from the panel border
constexpr int32_t kBytesPerRow = 16;
constexpr int32_t kMaxShownBytes = 160;  // ten rows, whatever the element's size
constexpr std::u16string_view kColumnHeader = u"0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f";
// Added to the path line: the bytes shown are the inflated data set; the file
// on the disk changed since it was loaded.
constexpr std::u16string_view kInflatedNote = u"  [解压后的数据集]";
constexpr std::u16string_view kChangedNote = u"  [文件在载入后已更改]";

// What a byte of the dump is, relative to its element. The classes follow
// fixed offsets from the first tag byte for every element, so in a 12-byte
// explicit header the reserved bytes count as length and the 4-byte length
// field as value.
enum ByteKind { kTagByte, kVrByte, kLengthByte, kValueByte, kOutsideByte };

struct ByteClass {
  plat::COLORREF colour;
  bool showsCharacter;  // adds the byte itself (when printable) to the character column, else a space
};

constexpr ByteClass kByteClasses[] = {
    {views::kTagColour, false},       // tag
    {views::kVrColour, false},        // VR
    {views::kLengthColour, false},    // length
    {views::kHexCharacters, true},    // value
    {views::kHexGrey, false},         // outside the element
};

ByteKind KindOf(int64_t p, const DicomElement& e, bool explicitVr) {
  const int64_t first = e.offset;
  if (p < first || p >= e.end) return kOutsideByte;
  if (p < first + 4) return kTagByte;
  if (p < first + 6 && explicitVr) return kVrByte;
  if (p < first + 8) return kLengthByte;
  return kValueByte;
}

}  // namespace

namespace views {

void DrawHexPanel(ShowWork& panel, HDC dc) {
  panel.hexShown = 0;
  if (panel.hexRow == -1 || panel.currentSerial == -1) return;
  const RECT& r = panel.hexRect;
  plat::FillRect(dc, r, CachedBrush(kHexBackground));
  plat::HGDIOBJ previousPen = plat::SelectObject(dc, CachedPen(plat::PS_SOLID, 1, kHexBorder));
  OutlineThrough(dc, r.left, r.top, r.right, r.bottom);
  plat::IntersectClipRect(dc, r.left + kInset, r.top + kInset, r.right - kInset, r.bottom - kInset);
  POINT origin{r.left + kInset, r.top + kInset};
  if (panel.compareSerial == -1) {
    DrawHexDump(panel, dc, origin, panel.currentSerial, panel.hexRow);
  } else if (panel.hexRow >= 0 && panel.hexRow < panel.alignment.length) {
    const AlignmentRow& row = panel.alignment[panel.hexRow];
    origin.y = DrawHexDump(panel, dc, origin, panel.currentSerial, row.mainIndex) + kInset;
    DrawHexDump(panel, dc, origin, panel.compareSerial, row.compareIndex);
  }
  plat::SelectClipRgn(dc, nullptr);
  if (previousPen != nullptr) plat::SelectObject(dc, previousPen);
  panel.hexShown = 1;
}

int32_t DrawHexDump(ShowWork& panel, HDC dc, POINT origin, int32_t serial, int32_t index) {
  const int32_t x = origin.x;
  int32_t y = origin.y;
  const DicomFile* f = panel.FindFileBySerial(serial);
  if (f == nullptr) return y;
  const plat::SIZE offsetSize = plat::GetTextExtentPoint32W(dc, u"00000: ");
  const int32_t cw = offsetSize.cx;
  const int32_t ch = offsetSize.cy;
  // The bytes the records point into: for a deflated data set, the
  // inflated ones, which the title says.
  const ByteBuffer<uint8_t>& walked = f->WalkedBytes();
  const bool inRange = index >= 0 && index < f->elements.length;
  plat::SetTextColor(dc, kHexPath);
  std::u16string title = f->path;
  if (f->Deflated()) title += kInflatedNote;
  if (inRange && !f->Deflated()) {
    // Only the Pixel Data value is read from the file when shown; if the
    // file changed since it was loaded, those bytes are not what was analysed.
    const DicomElement& e = f->elements[index];
    if (f->ReadsSourceFile(e.offset, e.end) && f->SourceChanged()) title += kChangedNote;
  }
  plat::TextOutW(dc, x, y, title);
  y += ch + 2;
  if (!inRange) return y;

  const DicomElement& e = f->elements[index];
  plat::SetTextColor(dc, kHexGrey);
  plat::TextOutW(dc, x + cw + (cw / 7) / 2, y, kColumnHeader);

  // One row of context before the element and one after it, never beyond
  // the bytes the file holds.
  const int64_t fileLength = walked.length;
  int64_t start = static_cast<int64_t>(e.offset) / kBytesPerRow * kBytesPerRow;
  if (start >= kBytesPerRow) start -= kBytesPerRow;
  int64_t stop = static_cast<int64_t>(e.end) / kBytesPerRow * kBytesPerRow + kBytesPerRow;
  if (stop < fileLength - kBytesPerRow) stop += kBytesPerRow;
  if (start > fileLength) start = fileLength;
  int64_t count = stop - start;
  if (start + count >= fileLength) count = fileLength - start;
  if (count < 0) count = 0;
  const int64_t shown = count < kMaxShownBytes ? count : kMaxShownBytes;

  const int32_t hw = plat::GetTextExtentPoint32W(dc, u"00 ").cx;
  const bool explicitVr = f->IsExplicitElement(e) != 0;
  const uint8_t* bytes = walked.data;
  int32_t cellX = x;
  std::u16string characters;
  for (int64_t n = 0; n < shown; ++n) {
    const int64_t p = start + n;
    const uint8_t v = bytes[p];
    if (n % kBytesPerRow == 0) {
      plat::SetTextColor(dc, kHexGrey);
      y += ch;
      plat::TextOutW(dc, x, y, plat::FormatText(u"%05d: ", {static_cast<long long>(p)}));
      cellX = x + cw;
      characters.clear();
    }
    const ByteClass& cls = kByteClasses[KindOf(p, e, explicitVr)];
    plat::SetTextColor(dc, cls.colour);
    if (!cls.showsCharacter) characters.push_back(u' ');
    else if (v >= 0x20 && v <= 0x7E) characters.push_back(static_cast<char16_t>(v));
    plat::TextOutW(dc, cellX, y, plat::FormatText(u"%02X ", {static_cast<unsigned>(v)}));
    cellX += hw;
    if (n % kBytesPerRow == kBytesPerRow - 1) {
      plat::SetTextColor(dc, kHexCharacters);
      plat::TextOutW(dc, cellX + 2, y, characters);
    }
  }
  if (shown < count) {
    plat::SetTextColor(dc, kHexGrey);
    y += ch;
    const int64_t total = e.length == -1 ? static_cast<int64_t>(e.end) - e.offset - 8 : e.length;
    plat::TextOutW(dc, x + cw, y, plat::FormatText(u"..... %d(总计字符数)", {static_cast<long long>(total)}));
  }
  return y + ch;
}

}  // namespace views
