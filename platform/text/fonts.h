// Fonts of the platform layer: faces found by family through fontconfig,
// glyphs rendered by FreeType and cached for the life of the process.
//
// A request (face name, height, weight, italic) resolves to a FontFace: the
// best installed face for the family at a fixed pixel size, plus fallback faces
// for characters it lacks. Family names of the system map to installed faces:
// "宋体" (SimSun) to the Ming face AR PL UMing, "MS Shell Dlg" to a sans face.
// Where a face has embedded bitmaps at the chosen size (AR PL UMing has them
// at 11 to 16 pixels), those are used, so small CJK text is crisp.
//
// Glyphs are rendered once per face and character and kept; a glyph's pixel
// advance is an integer, so measuring a text (the sum of its advances) and
// drawing it agree to the pixel. Only this folder includes FreeType and
// fontconfig; the drawing layer sees the types below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plat::text {

struct FontRequest {
  std::u16string face;  // family name as the system names it
  int32_t height = 0;   // > 0 cell height, < 0 em height, 0 default, in pixels
  int32_t weight = 0;   // 400 normal, 700 bold, 0 normal
  bool italic = false;
};

struct FontMetrics {
  int32_t ascent = 0;     // pixels above the baseline within the cell
  int32_t descent = 0;    // pixels of the cell from the baseline down
  int32_t height = 0;     // ascent + descent: the cell height
  int32_t averageWidth = 0;
  int32_t underline = 0;  // row of an underline, from the cell's top
};

// One rendered character. The coverage bitmap (0 = none, 255 = full ink,
// `width` bytes per row, `height` rows) stands at (x, y) relative to the
// top-left corner of the character's cell; the next character's cell starts
// `advance` pixels to the right.
struct Glyph {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t advance = 0;
  bool solid = false;  // every coverage value is 0 or 255 (an embedded bitmap)
  const uint8_t* coverage = nullptr;
};

struct FontFace;  // opaque; lives for the process

// Resolves a request; equal requests give the same face. Never null: without
// any installed font the face draws nothing and measures 0 wide.
const FontFace* ResolveFont(const FontRequest& request);

const FontMetrics& Metrics(const FontFace* face);

// Fills out[i] with the glyph of chars[i] for i < count. Control characters
// (below U+0020) get an empty glyph of advance 0; a character no installed
// face has gets the primary face's missing-glyph shape. The pointers stay valid
// for the life of the process.
void GetGlyphs(const FontFace* face, const char32_t* chars, size_t count, const Glyph** out);

// The family of the primary face, and of the face that draws `c` (the primary
// or a fallback); empty when no installed face has a glyph for `c`.
std::string PrimaryFamily(const FontFace* face);
std::string FamilyForChar(const FontFace* face, char32_t c);

// Whether the primary face draws `c` from an embedded bitmap at this size.
bool UsesEmbeddedBitmap(const FontFace* face, char32_t c);

}  // namespace plat::text
