// What the panel's four views share among themselves: their colours, the
// panel's font, and the drawing and hit-test operations the frame and the
// mouse operations call. Nothing outside views/ includes this.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdi/gdi.h"
#include "views/show_work.h"

namespace views {

// Colours, as COLORREF values 0x00BBGGRR.
constexpr plat::COLORREF kTextGrey = 0xA09894;        // usage text, file rows, paths
constexpr plat::COLORREF kExpander = 0x10B122;
constexpr plat::COLORREF kExpanderHover = 0x44EE55;
constexpr plat::COLORREF kPatientText = 0xE8E4E2;
constexpr plat::COLORREF kMainMark = 0xFDDE4B;        // current file, "主选" frame, selection box
constexpr plat::COLORREF kMainMarkDimmed = 0xAC9735;  // "主选" frame while a row is chosen
constexpr plat::COLORREF kCompareMark = 0x77CBFD;     // compare file, "比较" frame
constexpr plat::COLORREF kTabText = 0x2B2522;
constexpr plat::COLORREF kPressedOutline = 0x808080;
constexpr plat::COLORREF kTagColour = 0xD68F5B;
constexpr plat::COLORREF kPositionColour = 0xFBEC99;
constexpr plat::COLORREF kNameColour = 0xC8C8C8;
constexpr plat::COLORREF kVrColour = 0x67D2BA;
constexpr plat::COLORREF kLengthColour = 0xC9C1FB;
// By ValueClass; the warning colour (yellow) marks values that may still
// identify a person.
constexpr plat::COLORREF kValueColours[4] = {0xE7EFE0, 0x4175FB, 0xAEC3FA, 0x00D6FF};
constexpr plat::COLORREF kPlaceholder = 0x888888;
constexpr plat::COLORREF kHexBackground = 0x2B2522;
constexpr plat::COLORREF kHexBorder = 0x85CDF2;
constexpr plat::COLORREF kHexPath = 0xC8C8C8;
constexpr plat::COLORREF kHexGrey = 0x888888;
constexpr plat::COLORREF kHexCharacters = 0xE7EFE0;
constexpr uint32_t kPanelBackgroundPixel = 0x00121417;  // RGB(18, 20, 23)

// The panel's one font.
constexpr std::u16string_view kPanelFace = u"宋体";
constexpr int32_t kPanelFontHeight = 12;
constexpr int32_t kPanelFontWeight = 400;
inline plat::HFONT PanelFont() { return CachedFont(kPanelFace, kPanelFontHeight, kPanelFontWeight); }
// The pitch of the tag list's rows in the panel's font: its cell plus one.
int32_t TagRowPitch();

// ValueClass of a value cell.
enum : int32_t { kValueNormal = 0, kValueDiffers = 1, kValueOneSide = 2, kValueResidual = 3 };

// kValueResidual for an element of the file that may still identify a
// person, when the panel marks them (after a de-identification run);
// otherwise `valueClass`.
int32_t ResidualOr(ShowWork& panel, const DicomFile& file, int32_t index, int32_t valueClass);

// Draws the outline through the four corners of {left, top, right, bottom}
// and back to the first, with the context's current pen.
void OutlineThrough(plat::HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);

// --- Usage text ---
void DrawHelpText(plat::HDC dc);

// --- File list ---
// Draws a patient with its header at R's top-left; returns the y where the
// next patient may begin. Rows outside [visibleTop, visibleBottom) are only
// laid out (their rectangles are kept for the hit tests), not drawn.
int32_t DrawPatient(ShowWork& panel, PatientEntry& patient, plat::HDC dc, const plat::RECT& r,
                    int32_t visibleTop, int32_t visibleBottom);
int32_t DrawSeriesFiles(ShowWork& panel, SeriesEntry& series, plat::HDC dc, plat::POINT origin,
                        int32_t visibleTop, int32_t visibleBottom);
// The file row under the point among the series of a patient whose rows the
// last frame showed, or none.
DicomFile* FileRowAt(const PatientEntry& patient, plat::POINT point);
// Both return non-zero when the point hit an expander or a file row.
int PatientLeftClick(ShowWork& panel, PatientEntry& patient, plat::POINT point);
int PatientRightClick(ShowWork& panel, PatientEntry& patient, plat::POINT point);

// --- Tag list ---
void DrawTagArea(ShowWork& panel, plat::HDC dc, const plat::RECT& area);
void DrawTagList(ShowWork& panel, const DicomFile& file, plat::HDC dc, const plat::RECT& list);
void DrawTagRow(plat::HDC dc, plat::POINT origin, const DicomElement& e, const DicomFile& file, int32_t valueClass);
void DrawListFrame(plat::HDC dc, const plat::RECT& frame, std::u16string_view label, plat::COLORREF colour,
                   const DicomFile& file);
void DrawHexSelection(ShowWork& panel, plat::HDC dc, const plat::RECT& list);

// --- Compare view ---
void DrawCompare(ShowWork& panel, const DicomFile& main, const DicomFile& compare, plat::HDC dc,
                 const plat::RECT& area);

// --- Hex view ---
void DrawHexPanel(ShowWork& panel, plat::HDC dc);
int32_t DrawHexDump(ShowWork& panel, plat::HDC dc, plat::POINT origin, int32_t serial, int32_t index);

}  // namespace views
