// The drawing half of the platform layer: a small software rasteriser over
// 32-bit pixel buffers with the operations the views, the owner-drawn surface
// and the buttons draw with.
//
// Pixels are 0x00RRGGBB values, stored as the bytes B, G, R, 0, rows from top
// to bottom, exactly the layout of the frame buffer of the owner-drawn surface.
// Colours passed to the operations are COLORREF values 0x00BBGGRR (see RGB).
//
// Drawing objects (pens, brushes, fonts, bitmaps) and drawing contexts are
// objects behind handles. Every object created and not yet released counts in
// GetGdiObjectCounts, which tests read to prove that drawing code releases what
// it makes. Stock objects (GetStockObject) are never counted and never freed.
//
// A handle that was deleted, or that never named an object, is rejected by
// every operation (the operation fails or does nothing); it is never
// dereferenced. Deleting an object that is still selected into a context is
// allowed: the handle becomes invalid at once and the object is freed when the
// last context lets go of it.
//
// All operations are meant for the user-interface thread; the object registry
// itself is guarded, so creating and deleting objects elsewhere is safe too.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/core/geometry.h"

namespace plat {

// ---------------------------------------------------------------------------
// Colours

using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t((c >> 16) & 0xFF); }

// A COLORREF as the pixel value stored in a buffer (0x00RRGGBB), and back.
constexpr uint32_t PixelFromColor(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr COLORREF ColorFromPixel(uint32_t p) {
  return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
}

// Returned by GetPixel for a point outside the context's drawable area.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// ---------------------------------------------------------------------------
// Handles

struct GdiObject;    // a pen, brush, font or bitmap
struct DrawContext;  // a drawing context

using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;
using HFONT = GdiObject*;
using HBITMAP = GdiObject*;
using HDC = DrawContext*;

// A clipping region is a rectangle in logical coordinates; none (nullptr)
// removes the context's own clipping.
using HRGN = const RECT*;

enum ObjectType : int { OBJ_NONE = 0, OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_FONT = 6, OBJ_BITMAP = 7 };

// The kind of object a handle names, or OBJ_NONE for an invalid handle.
ObjectType GetObjectType(HGDIOBJ object);

// Live objects, by kind: created and not yet freed (stock objects excluded).
struct GdiObjectCounts {
  int contexts = 0;
  int bitmaps = 0;
  int pens = 0;
  int brushes = 0;
  int fonts = 0;
  int Total() const { return contexts + bitmaps + pens + brushes + fonts; }
  bool operator==(const GdiObjectCounts&) const = default;
};
GdiObjectCounts GetGdiObjectCounts();

// ---------------------------------------------------------------------------
// Pixel buffers

// A view of 32-bit pixels owned by someone else. `stride` is in bytes, a
// multiple of 4 and at least 4 x width.
struct PixelView {
  uint8_t* data = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
};

// Writes the pixels as an 8-bit RGB PNG file. The file appears whole or not at
// all (it is written under a temporary name beside the target and renamed).
// `path` is a file-system path in the system's UTF-16 form.
[[nodiscard]] bool SavePng(std::u16string_view path, const PixelView& pixels);
// Saves the pixels of a bitmap.
[[nodiscard]] bool SaveBitmapPng(std::u16string_view path, HBITMAP bitmap);

// ---------------------------------------------------------------------------
// Drawing contexts

// A memory context, compatible with `reference` (which may be none). It starts
// with a 1 x 1 stock bitmap selected, so it draws nothing visible until a
// bitmap is selected into it.
HDC CreateCompatibleDC(HDC reference);

// A context that draws into pixels owned by the caller: the drawing context of
// a window inside its top-level window's back buffer. Logical point (0, 0) is
// buffer pixel `origin`; `clip` is the part of the buffer (in logical
// coordinates, e.g. the window's client rectangle {0, 0, w, h}) outside which
// nothing is ever drawn, whatever the caller's own clipping. The pixels must
// outlive the context. Release it with DeleteDC (ReleaseDC of a window does).
HDC CreateSurfaceDC(const PixelView& target, POINT origin, const RECT& clip);

// Releases a context. The objects selected into it are not deleted.
bool DeleteDC(HDC dc);

// The pixels a context draws into (the selected bitmap of a memory context,
// the caller's buffer of a surface context), its logical origin in those
// pixels and its fixed clip in logical coordinates.
struct SurfaceInfo {
  PixelView pixels;
  POINT origin;
  RECT bounds;
};
bool GetSurfaceInfo(HDC dc, SurfaceInfo& info);

// Saves the context's state (selected objects, colours, modes, clipping,
// current position) on its stack; returns the new depth (>= 1), or 0.
int SaveDC(HDC dc);
// Restores the state saved at `level` (or, when negative, that many levels
// back: -1 is the last one) and drops it and everything saved after it.
bool RestoreDC(HDC dc, int level);

// Region kinds returned by the clipping operations.
enum RegionKind : int { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2 };

// Narrows the clipping to the part inside {left, top, right, bottom}.
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
// Replaces the context's own clipping by the rectangle, or removes it (none).
int SelectClipRgn(HDC dc, HRGN region);
// The rectangle drawing is currently limited to, in logical coordinates.
int GetClipBox(HDC dc, RECT& box);

// ---------------------------------------------------------------------------
// Objects

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;

HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);

// A font description. Only height, weight, italic, underline and the face name
// are interpreted; the other fields are kept for callers that copy them.
// Height > 0: height of the character cell in pixels; < 0: height of the em
// square in pixels; 0: a default size.
struct LOGFONTW {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;  // 400 normal, 700 bold, 0 default (normal)
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char16_t lfFaceName[32] = {};  // at most 31 characters and a terminating 0
};
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

HFONT CreateFontIndirectW(const LOGFONTW& description);
// Fills `description` with what the font was created from.
bool GetFontDescription(HFONT font, LOGFONTW& description);

// Stock objects: never counted, never freed; DeleteObject ignores them.
enum StockObject : int {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  SYSTEM_FONT = 13,
  DEFAULT_GUI_FONT = 17,
};
HGDIOBJ GetStockObject(int which);

// A bitmap of width x height pixels. Only 1 plane of 32 bits per pixel is
// supported; `bits` (rows of 4 x width bytes, B, G, R, 0, top to bottom) is
// copied when given, else the bitmap starts black.
HBITMAP CreateBitmap(int width, int height, int planes, int bitsPerPixel, const void* bits);
// A black 32-bit bitmap for drawing that ends up in `dc`.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// The bitmap's pixels (owned by the bitmap, valid until it is freed).
bool GetBitmapPixels(HBITMAP bitmap, PixelView& pixels);

// Makes `object` the context's current pen, brush, font or bitmap and returns
// the object it replaces, or none when the handle or the context is invalid
// (the context is then unchanged). A bitmap already selected into another
// context cannot be selected.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

// Releases a pen, brush, font or bitmap (see the top of this file for objects
// still selected). Returns false for an invalid handle.
bool DeleteObject(HGDIOBJ object);

// ---------------------------------------------------------------------------
// State

// Background modes: transparent text and dotted-line gaps leave the pixels
// below; opaque ones fill them with the background colour.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

COLORREF SetTextColor(HDC dc, COLORREF color);  // returns the previous colour
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);  // returns the previous mode, 0 on failure
int GetBkMode(HDC dc);

// ---------------------------------------------------------------------------
// Lines, fills, pixels and block transfer

// Moves the current position; the previous one goes to `previous` if given.
bool MoveToEx(HDC dc, int x, int y, POINT* previous = nullptr);
// Draws from the current position to (x, y) with the current pen, the end
// point itself not drawn, and makes (x, y) the current position.
bool LineTo(HDC dc, int x, int y);

// Fills every pixel with left <= x < right and top <= y < bottom with the
// brush. The null brush fills nothing.
bool FillRect(HDC dc, const RECT& rect, HBRUSH brush);

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);  // returns the colour set, or CLR_INVALID
COLORREF GetPixel(HDC dc, int x, int y);                  // CLR_INVALID outside the drawable area

// Raster operation of BitBlt: copy the source.
constexpr uint32_t SRCCOPY = 0x00CC0020;

// Copies the width x height pixels at (xSrc, ySrc) of `src` to (x, y) of `dst`.
// Pixels outside the source's pixels leave the destination unchanged; the
// destination's clipping applies. Overlapping copies within one buffer work.
bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, uint32_t rop);

// ---------------------------------------------------------------------------
// Text

// Draws `text` with its top-left corner at (x, y) in the current font and text
// colour; in opaque mode the character cells are first filled with the
// background colour.
bool TextOutW(HDC dc, int x, int y, std::u16string_view text);

// The width (sum of the characters' advances) and height (the font's cell
// height) of `text` in the current font, the same pixels TextOutW advances by.
SIZE GetTextExtentPoint32W(HDC dc, std::u16string_view text);

// The current font's vertical metrics in pixels.
struct TEXTMETRICW {
  int32_t tmHeight = 0;  // ascent + descent, the cell height
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmAveCharWidth = 0;
};
bool GetTextMetricsW(HDC dc, TEXTMETRICW& metrics);

// DrawTextW formats.
constexpr uint32_t DT_TOP = 0x0;
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;   // single line only
constexpr uint32_t DT_BOTTOM = 0x8;    // single line only
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_NOCLIP = 0x100;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;

// Draws `text` inside `rect`: lines split at line breaks (unless single line),
// wrapped at word (and CJK character) boundaries with DT_WORDBREAK, aligned
// left, centred or right, and never drawn outside `rect` unless DT_NOCLIP.
// Without DT_NOPREFIX, "&x" underlines x and "&&" shows one "&". With
// DT_CALCRECT nothing is drawn: rect.right and rect.bottom are set to enclose
// the text as it would be laid out. Returns the height of the text (with
// DT_VCENTER or DT_BOTTOM, the offset from rect.top to its bottom), 0 on
// failure.
int DrawTextW(HDC dc, std::u16string_view text, RECT& rect, uint32_t format);

// ---------------------------------------------------------------------------
// System colours

enum SysColor : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
};
// The colour of a system element; 0 (black) for an unknown index.
COLORREF GetSysColor(int index);

}  // namespace plat
