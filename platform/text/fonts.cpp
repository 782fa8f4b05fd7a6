// Face lookup with fontconfig, rendering with FreeType, and the glyph cache.

#include "platform/text/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_BITMAP_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/core/text.h"

namespace plat::text {
namespace {

// Family names the system uses, mapped to installed families that look the
// part. Anything not listed goes to fontconfig as it stands.
struct FamilyAlias {
  const char16_t* name;
  const char* family;
};
const FamilyAlias kFamilyAliases[] = {
    {u"宋体", "AR PL UMing CN"},
    {u"SimSun", "AR PL UMing CN"},
    {u"新宋体", "AR PL UMing CN"},
    {u"NSimSun", "AR PL UMing CN"},
    {u"MS Shell Dlg", "DejaVu Sans"},
    {u"MS Shell Dlg 2", "DejaVu Sans"},
    {u"MS Sans Serif", "DejaVu Sans"},
    {u"Microsoft Sans Serif", "DejaVu Sans"},
    {u"Tahoma", "DejaVu Sans"},
    {u"Segoe UI", "DejaVu Sans"},
    {u"System", "DejaVu Sans"},
    {u"", "DejaVu Sans"},
    {u"Courier New", "DejaVu Sans Mono"},
    {u"Consolas", "DejaVu Sans Mono"},
};

// Size used for a request of height 0.
constexpr int32_t kDefaultEmHeight = 12;

// One installed face opened at one pixel size.
struct SizedFace {
  FT_Face face = nullptr;
  std::string family;
  bool embeddedStrike = false;  // a fixed bitmap size was selected
  bool emboldenSynthetic = false;
  bool obliqueSynthetic = false;
  FcCharSet* charset = nullptr;  // owned copy, may be null
};

struct FaceSource {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  std::string family;
  FcCharSet* charset = nullptr;  // owned copy
};

// Glyphs of one face request, in pages of 256 characters so that lookups of
// the common characters are two array reads.
struct GlyphPage {
  const Glyph* glyphs[256] = {};
};

}  // namespace

struct FontFace {
  FontMetrics metrics;
  double ppem = 0;                 // em size of the primary face in pixels
  std::vector<FaceSource> sources;  // primary first, then fallbacks in fontconfig's order
  std::vector<std::unique_ptr<SizedFace>> opened;  // parallel to sources; null until needed
  std::vector<bool> openFailed;
  bool wantBold = false;
  bool wantItalic = false;
  std::map<uint32_t, std::unique_ptr<GlyphPage>> pages;
  std::vector<std::unique_ptr<Glyph>> glyphStore;
  std::vector<std::unique_ptr<uint8_t[]>> coverageStore;
  Glyph emptyGlyph;
};

namespace {

std::mutex gMutex;
FT_Library gLibrary = nullptr;
bool gFontconfigReady = false;
// Faces live for the process: glyph pointers handed out must stay valid, and
// contexts may still draw while the process shuts down.
using FaceKey = std::tuple<std::u16string, int32_t, int32_t, bool>;
auto& gFaces = *new std::map<FaceKey, std::unique_ptr<FontFace>>();

bool EnsureLibraries() {
  if (!gLibrary && FT_Init_FreeType(&gLibrary) != 0) gLibrary = nullptr;
  if (!gFontconfigReady) gFontconfigReady = FcInit() == FcTrue;
  return gLibrary && gFontconfigReady;
}

std::string FamilyFor(const std::u16string& face) {
  for (const auto& alias : kFamilyAliases) {
    if (face == alias.name) return alias.family;
  }
  return Utf16ToUtf8(face);
}

std::string PatternString(FcPattern* pattern, const char* object) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(pattern, object, 0, &value) == FcResultMatch && value) {
    return reinterpret_cast<const char*>(value);
  }
  return {};
}

int PatternInt(FcPattern* pattern, const char* object, int fallback) {
  int value = 0;
  return FcPatternGetInteger(pattern, object, 0, &value) == FcResultMatch ? value : fallback;
}

// The installed faces for a family, best first: fontconfig's sorted list,
// trimmed to the faces that add characters.
std::vector<FaceSource> FindSources(const std::string& family, int weight, bool italic) {
  std::vector<FaceSource> sources;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return sources;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  // The text is Chinese: among the faces that draw ideographs, those made for
  // Chinese come first (not a Japanese face that happens to be installed).
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcPattern* font = set->fonts[i];
      FaceSource source;
      source.file = PatternString(font, FC_FILE);
      if (source.file.empty()) continue;
      source.index = PatternInt(font, FC_INDEX, 0);
      source.weight = PatternInt(font, FC_WEIGHT, FC_WEIGHT_REGULAR);
      source.slant = PatternInt(font, FC_SLANT, FC_SLANT_ROMAN);
      source.family = PatternString(font, FC_FAMILY);
      FcCharSet* charset = nullptr;
      if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) == FcResultMatch && charset) {
        source.charset = FcCharSetCopy(charset);
      }
      sources.push_back(std::move(source));
    }
    FcFontSetDestroy(set);
  }
  FcPatternDestroy(pattern);
  return sources;
}

// The design ascent and descent that the cell is built from: the Windows
// metrics of the OS/2 table when present (they enclose every glyph), else the
// face's own.
void DesignAscentDescent(FT_Face face, double& ascent, double& descent) {
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
  } else {
    ascent = face->ascender;
    descent = -face->descender;
  }
  if (ascent + descent <= 0) {
    ascent = face->units_per_EM * 0.8;
    descent = face->units_per_EM * 0.2;
  }
}

// Selects the fixed bitmap size of `ppem` pixels if the face has one.
bool SelectStrike(FT_Face face, int ppem) {
  for (int i = 0; i < face->num_fixed_sizes; ++i) {
    if (((face->available_sizes[i].y_ppem + 32) >> 6) == ppem) {
      return FT_Select_Size(face, i) == 0;
    }
  }
  return false;
}

std::unique_ptr<SizedFace> OpenSized(const FaceSource& source, double ppem, bool wantBold, bool wantItalic) {
  FT_Face face = nullptr;
  if (FT_New_Face(gLibrary, source.file.c_str(), source.index, &face) != 0) return nullptr;
  auto sized = std::make_unique<SizedFace>();
  sized->face = face;
  sized->family = source.family;
  sized->charset = source.charset;
  const int whole = int(std::lround(ppem));
  if (std::fabs(ppem - whole) < 0.6 && SelectStrike(face, whole)) {
    sized->embeddedStrike = true;
  } else if (FT_IS_SCALABLE(face)) {
    FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(ppem * 64)), 72, 72);
  } else if (face->num_fixed_sizes > 0) {
    FT_Select_Size(face, 0);
    sized->embeddedStrike = true;
  }
  sized->emboldenSynthetic = wantBold && source.weight < FC_WEIGHT_DEMIBOLD;
  sized->obliqueSynthetic = wantItalic && source.slant == FC_SLANT_ROMAN;
  return sized;
}

SizedFace* Opened(FontFace& font, size_t i) {
  if (!font.opened[i] && !font.openFailed[i]) {
    font.opened[i] = OpenSized(font.sources[i], font.ppem, font.wantBold, font.wantItalic);
    if (!font.opened[i]) font.openFailed[i] = true;
  }
  return font.opened[i].get();
}

// Sizes the primary face for the request and fills the metrics.
void SizeFont(FontFace& font, int32_t height) {
  FT_Face face = nullptr;
  if (font.sources.empty() ||
      FT_New_Face(gLibrary, font.sources[0].file.c_str(), font.sources[0].index, &face) != 0) {
    face = nullptr;
  }
  if (!face) {
    font.ppem = height > 0 ? height : height < 0 ? -height : kDefaultEmHeight;
    int32_t cell = int32_t(font.ppem);
    font.metrics = {cell - cell / 5, cell / 5, cell, cell / 2, cell - cell / 5 + 1};
    return;
  }
  double ascent = 0, descent = 0;
  DesignAscentDescent(face, ascent, descent);
  const double upem = face->units_per_EM > 0 ? face->units_per_EM : 1000;
  int32_t cellAscent = 0, cellDescent = 0;
  double ppem = 0;
  if (height > 0) {
    // A cell height: a face with a bitmap strike of exactly that many pixels
    // uses it (CJK faces are designed with an em as tall as the cell);
    // otherwise the em is scaled so that ascent + descent fill the cell.
    bool strike = false;
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
      if (((face->available_sizes[i].y_ppem + 32) >> 6) == height) strike = true;
    }
    ppem = strike ? height : height * upem / (ascent + descent);
    cellAscent = std::min<int32_t>(height, int32_t(std::lround(height * ascent / (ascent + descent))));
    if (strike) cellAscent = std::max(cellAscent, std::min<int32_t>(height, int32_t(std::lround(ascent * ppem / upem))));
    cellDescent = height - cellAscent;
  } else {
    ppem = height < 0 ? -height : kDefaultEmHeight;
    cellAscent = int32_t(std::ceil(ascent * ppem / upem - 0.01));
    cellDescent = int32_t(std::ceil(descent * ppem / upem - 0.01));
  }
  FT_Done_Face(face);
  font.ppem = ppem;
  font.opened[0] = OpenSized(font.sources[0], ppem, font.wantBold, font.wantItalic);
  if (!font.opened[0]) font.openFailed[0] = true;
  font.metrics.ascent = cellAscent;
  font.metrics.descent = cellDescent;
  font.metrics.height = cellAscent + cellDescent;
  font.metrics.underline = std::min(font.metrics.height - 1, cellAscent + 1);
  font.metrics.averageWidth = std::max<int32_t>(1, int32_t(std::lround(ppem / 2)));
}

FontFace* CreateFont(const FontRequest& request) {
  auto font = std::make_unique<FontFace>();
  font->wantBold = request.weight >= 600;
  font->wantItalic = request.italic;
  if (EnsureLibraries()) {
    font->sources = FindSources(FamilyFor(request.face), request.weight > 0 ? request.weight : 400, request.italic);
  }
  font->opened.resize(font->sources.size());
  font->openFailed.assign(font->sources.size(), false);
  SizeFont(*font, request.height);
  if (!font->opened.empty() && font->opened[0]) {
    // The average width of the primary: the advance of 'x', as dialogs size
    // their text from it.
    FT_Face face = font->opened[0]->face;
    if (FT_Load_Char(face, 'x', FT_LOAD_DEFAULT) == 0) {
      font->metrics.averageWidth = std::max<int32_t>(1, int32_t((face->glyph->advance.x + 32) >> 6));
    }
  }
  auto key = std::make_tuple(request.face, request.height, request.weight, request.italic);
  FontFace* raw = font.get();
  gFaces[key] = std::move(font);
  return raw;
}

bool SourceHasChar(FontFace& font, size_t i, char32_t c) {
  const FaceSource& source = font.sources[i];
  if (source.charset && !FcCharSetHasChar(source.charset, c)) return false;
  SizedFace* sized = Opened(font, i);
  return sized && FT_Get_Char_Index(sized->face, c) != 0;
}

// The index of the face that draws `c`, or -1.
int SourceFor(FontFace& font, char32_t c) {
  for (size_t i = 0; i < font.sources.size(); ++i) {
    if (SourceHasChar(font, i, c)) return int(i);
  }
  return -1;
}

const Glyph* RenderGlyph(FontFace& font, char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return &font.emptyGlyph;
  int source = SourceFor(font, c);
  SizedFace* sized = nullptr;
  FT_UInt index = 0;
  if (source >= 0) {
    sized = Opened(font, size_t(source));
    index = FT_Get_Char_Index(sized->face, c);
  } else if (!font.opened.empty() && font.opened[0]) {
    sized = font.opened[0].get();  // draws its missing-glyph shape
  }
  if (!sized) return &font.emptyGlyph;
  FT_Face face = sized->face;
  FT_Int32 flags = sized->embeddedStrike ? FT_LOAD_DEFAULT : (FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT);
  if (FT_Load_Glyph(face, index, flags | FT_LOAD_COLOR) != 0 && FT_Load_Glyph(face, index, flags) != 0) {
    return &font.emptyGlyph;
  }
  FT_GlyphSlot slot = face->glyph;
  if (sized->obliqueSynthetic && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Oblique(slot);
  if (sized->emboldenSynthetic && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Embolden(slot);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP) {
    FT_Render_Mode mode = sized->embeddedStrike ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    if (FT_Render_Glyph(slot, mode) != 0) return &font.emptyGlyph;
  } else if (sized->emboldenSynthetic) {
    FT_GlyphSlot_Own_Bitmap(slot);
    FT_GlyphSlot_Embolden(slot);
  }
  const FT_Bitmap& bitmap = slot->bitmap;
  auto glyph = std::make_unique<Glyph>();
  glyph->advance = int32_t((slot->advance.x + 32) >> 6);
  glyph->width = int32_t(bitmap.width);
  glyph->height = int32_t(bitmap.rows);
  glyph->x = slot->bitmap_left;
  glyph->y = font.metrics.ascent - slot->bitmap_top;
  glyph->solid = true;
  if (glyph->width > 0 && glyph->height > 0) {
    auto pixels = std::make_unique<uint8_t[]>(size_t(glyph->width) * size_t(glyph->height));
    for (int32_t row = 0; row < glyph->height; ++row) {
      const uint8_t* src = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
      uint8_t* dst = pixels.get() + size_t(row) * size_t(glyph->width);
      for (int32_t x = 0; x < glyph->width; ++x) {
        uint8_t value = 0;
        switch (bitmap.pixel_mode) {
          case FT_PIXEL_MODE_MONO:
            value = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
            break;
          case FT_PIXEL_MODE_GRAY:
            value = bitmap.num_grays == 256 || bitmap.num_grays == 0
                        ? src[x]
                        : uint8_t(src[x] * 255 / std::max<int>(1, bitmap.num_grays - 1));
            break;
          case FT_PIXEL_MODE_BGRA:
            value = src[x * 4 + 3];
            break;
          default:
            value = 0;
            break;
        }
        if (value != 0 && value != 255) glyph->solid = false;
        dst[x] = value;
      }
    }
    glyph->coverage = pixels.get();
    font.coverageStore.push_back(std::move(pixels));
  } else {
    glyph->width = glyph->height = 0;
  }
  const Glyph* raw = glyph.get();
  font.glyphStore.push_back(std::move(glyph));
  return raw;
}

const Glyph* LookupGlyph(FontFace& font, char32_t c) {
  std::unique_ptr<GlyphPage>& page = font.pages[uint32_t(c >> 8)];
  if (!page) page = std::make_unique<GlyphPage>();
  const Glyph*& slot = page->glyphs[c & 0xFF];
  if (!slot) slot = RenderGlyph(font, c);
  return slot;
}

}  // namespace

const FontFace* ResolveFont(const FontRequest& request) {
  std::lock_guard lock(gMutex);
  auto it = gFaces.find(std::make_tuple(request.face, request.height, request.weight, request.italic));
  if (it != gFaces.end()) return it->second.get();
  return CreateFont(request);
}

const FontMetrics& Metrics(const FontFace* face) { return face->metrics; }

void GetGlyphs(const FontFace* face, const char32_t* chars, size_t count, const Glyph** out) {
  auto& font = const_cast<FontFace&>(*face);
  std::lock_guard lock(gMutex);
  uint32_t lastPage = UINT32_MAX;
  GlyphPage* page = nullptr;
  for (size_t i = 0; i < count; ++i) {
    const char32_t c = chars[i];
    if ((c >> 8) != lastPage) {
      auto it = font.pages.find(c >> 8);
      page = it == font.pages.end() ? nullptr : it->second.get();
      lastPage = page ? uint32_t(c >> 8) : UINT32_MAX;
    }
    const Glyph* glyph = page ? page->glyphs[c & 0xFF] : nullptr;
    out[i] = glyph ? glyph : LookupGlyph(font, c);
  }
}

std::string PrimaryFamily(const FontFace* face) {
  std::lock_guard lock(gMutex);
  return face->sources.empty() ? std::string() : face->sources[0].family;
}

std::string FamilyForChar(const FontFace* face, char32_t c) {
  auto& font = const_cast<FontFace&>(*face);
  std::lock_guard lock(gMutex);
  int source = SourceFor(font, c);
  return source < 0 ? std::string() : font.sources[size_t(source)].family;
}

bool UsesEmbeddedBitmap(const FontFace* face, char32_t c) {
  auto& font = const_cast<FontFace&>(*face);
  std::lock_guard lock(gMutex);
  if (font.sources.empty() || !font.opened[0]) return false;
  return SourceHasChar(font, 0, c) && font.opened[0]->embeddedStrike;
}

}  // namespace plat::text

// fontconfig keeps parts of its parsed configuration in blocks that it refers
// to by offsets rather than pointers, so LeakSanitizer cannot see that they are
// still in use and reports them at exit. They belong to the library's
// process-wide configuration, not to anything this program allocates.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
