// Text output, measurement and DrawTextW layout.

#include <algorithm>
#include <vector>

#include "platform/gdi/internal/objects.h"

namespace plat {
namespace {

// The characters of a UTF-16 text as code points; an unpaired surrogate
// becomes U+FFFD.
void DecodeUtf16(std::u16string_view text, std::vector<char32_t>& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out.push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(u);
    }
  }
}

// Per-call scratch space; drawing runs on one thread at a time per thread.
struct Scratch {
  std::vector<char32_t> chars;
  std::vector<const text::Glyph*> glyphs;
  std::vector<int32_t> advances;
};

Scratch& ScratchSpace() {
  thread_local Scratch scratch;
  return scratch;
}

const text::FontFace* FaceOf(const DrawContext& dc) {
  if (dc.state.font && dc.state.font->face) return dc.state.font->face;
  return nullptr;
}

// Draws the glyphs with their cells starting at device (x, y).
void DrawGlyphRun(const RasterTarget& target, const RECT& clip, int32_t x, int32_t y,
                  const text::Glyph* const* glyphs, const int32_t* advances, size_t count, uint32_t color) {
  for (size_t i = 0; i < count; ++i) {
    const text::Glyph* g = glyphs[i];
    const int32_t gx = x + g->x, gy = y + g->y;
    x += advances[i];
    if (!g->coverage) continue;
    const int32_t left = std::max(gx, clip.left), right = std::min(gx + g->width, clip.right);
    const int32_t top = std::max(gy, clip.top), bottom = std::min(gy + g->height, clip.bottom);
    if (left >= right || top >= bottom) continue;
    for (int32_t py = top; py < bottom; ++py) {
      const uint8_t* cov = g->coverage + size_t(py - gy) * size_t(g->width) + size_t(left - gx);
      uint32_t* dst = target.pixels + ptrdiff_t(py) * target.pitch + left;
      const int32_t n = right - left;
      if (g->solid) {
        for (int32_t k = 0; k < n; ++k) {
          if (cov[k]) dst[k] = color;
        }
      } else {
        for (int32_t k = 0; k < n; ++k) {
          const uint32_t a = cov[k];
          if (a == 255) {
            dst[k] = color;
          } else if (a) {
            dst[k] = BlendPixel(dst[k], color, a);
          }
        }
      }
    }
  }
}

// Glyphs and advances of chars[0..count), tabs expanded from `lineStart` when
// asked.
void Shape(const text::FontFace* face, const char32_t* chars, size_t count, bool expandTabs,
           std::vector<const text::Glyph*>& glyphs, std::vector<int32_t>& advances) {
  glyphs.resize(count);
  advances.resize(count);
  if (count == 0) return;
  text::GetGlyphs(face, chars, count, glyphs.data());
  const int32_t tabStop = std::max(1, text::Metrics(face).averageWidth * 8);
  int32_t x = 0;
  for (size_t i = 0; i < count; ++i) {
    int32_t advance = glyphs[i]->advance;
    if (expandTabs && chars[i] == U'\t') advance = (x / tabStop + 1) * tabStop - x;
    advances[i] = advance;
    x += advance;
  }
}

int32_t SumOf(const int32_t* advances, size_t count) {
  int64_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += advances[i];
  return ClampCoordinate(sum);
}

}  // namespace

bool TextOutW(HDC handle, int x, int y, std::u16string_view textIn) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  const text::FontFace* face = FaceOf(*dc);
  if (!face) return false;
  RasterTarget target = TargetOf(*dc);
  if (target.Empty() || textIn.empty()) return true;
  Scratch& s = ScratchSpace();
  DecodeUtf16(textIn, s.chars);
  Shape(face, s.chars.data(), s.chars.size(), false, s.glyphs, s.advances);
  const text::FontMetrics& metrics = text::Metrics(face);
  const int32_t dx = ToDevice(x, target.origin.x), dy = ToDevice(y, target.origin.y);
  const int32_t width = SumOf(s.advances.data(), s.advances.size());
  if (dc->state.bkMode == OPAQUE) {
    FillDeviceRect(target, RECT{dx, dy, dx + width, dy + metrics.height}, PixelFromColor(dc->state.bkColor));
  }
  const uint32_t color = PixelFromColor(dc->state.textColor);
  DrawGlyphRun(target, target.clip, dx, dy, s.glyphs.data(), s.advances.data(), s.glyphs.size(), color);
  if (dc->state.font->description.lfUnderline) {
    FillDeviceRect(target, RECT{dx, dy + metrics.underline, dx + width, dy + metrics.underline + 1}, color);
  }
  return true;
}

SIZE GetTextExtentPoint32W(HDC handle, std::u16string_view textIn) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return SIZE{};
  const text::FontFace* face = FaceOf(*dc);
  if (!face) return SIZE{};
  Scratch& s = ScratchSpace();
  DecodeUtf16(textIn, s.chars);
  Shape(face, s.chars.data(), s.chars.size(), false, s.glyphs, s.advances);
  return SIZE{SumOf(s.advances.data(), s.advances.size()), text::Metrics(face).height};
}

bool GetTextMetricsW(HDC handle, TEXTMETRICW& out) {
  DrawContext* dc = LookupDC(handle);
  if (!dc) return false;
  const text::FontFace* face = FaceOf(*dc);
  if (!face) return false;
  const text::FontMetrics& metrics = text::Metrics(face);
  out.tmHeight = metrics.height;
  out.tmAscent = metrics.ascent;
  out.tmDescent = metrics.descent;
  out.tmAveCharWidth = metrics.averageWidth;
  return true;
}

namespace {

bool IsCjk(char32_t c) {
  return (c >= 0x2E80 && c < 0xA000) || (c >= 0xF900 && c < 0xFB00) || (c >= 0xFF00 && c < 0xFFF0) ||
         (c >= 0x20000 && c < 0x30000);
}

// Characters a line should not begin with: closing CJK punctuation.
bool ClosesCjk(char32_t c) {
  switch (c) {
    case 0x3001: case 0x3002: case 0xFF0C: case 0xFF0E: case 0xFF1A: case 0xFF1B:
    case 0xFF01: case 0xFF1F: case 0xFF09: case 0x300D: case 0x300F: case 0x3011:
      return true;
    default:
      return false;
  }
}

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// A break may come before chars[i] (i > 0).
bool BreakBefore(const std::vector<char32_t>& chars, size_t i) {
  const char32_t prev = chars[i - 1], cur = chars[i];
  if (IsSpace(cur)) return false;
  if (IsSpace(prev)) return true;
  if (ClosesCjk(cur)) return false;
  return IsCjk(prev) || IsCjk(cur);
}

struct Line {
  size_t begin;
  size_t end;  // exclusive, trailing spaces of a wrapped line excluded
  int32_t width;
};

// DrawTextW's own buffers, kept between calls so that a frame of cells
// allocates nothing once they have grown.
struct LayoutScratch {
  std::vector<char32_t> chars;
  std::vector<const text::Glyph*> glyphs;
  std::vector<int32_t> advances;
  std::vector<Line> lines;
};

LayoutScratch& LayoutSpace() {
  thread_local LayoutScratch scratch;
  return scratch;
}

}  // namespace

int DrawTextW(HDC handle, std::u16string_view textIn, RECT& rectInOut, uint32_t format) {
  // Laid out within the coordinate limit; only a calculated rectangle goes
  // back to the caller.
  RECT rect{ClampCoordinate(rectInOut.left), ClampCoordinate(rectInOut.top), ClampCoordinate(rectInOut.right),
            ClampCoordinate(rectInOut.bottom)};
  DrawContext* dc = LookupDC(handle);
  if (!dc) return 0;
  const text::FontFace* face = FaceOf(*dc);
  if (!face) return 0;
  const text::FontMetrics& metrics = text::Metrics(face);
  const bool singleLine = (format & DT_SINGLELINE) != 0;
  const bool wordBreak = (format & DT_WORDBREAK) != 0 && !singleLine;

  // Characters, with "&x" turned into an underlined x.
  Scratch& s = ScratchSpace();
  DecodeUtf16(textIn, s.chars);
  LayoutScratch& layout = LayoutSpace();
  std::vector<char32_t>& chars = layout.chars;
  chars.clear();
  size_t underlined = SIZE_MAX;
  for (size_t i = 0; i < s.chars.size(); ++i) {
    if (!(format & DT_NOPREFIX) && s.chars[i] == U'&') {
      if (i + 1 < s.chars.size() && s.chars[i + 1] == U'&') {
        chars.push_back(U'&');
        ++i;
      } else if (i + 1 < s.chars.size()) {
        underlined = chars.size();
      }
      continue;
    }
    chars.push_back(s.chars[i]);
  }
  std::vector<const text::Glyph*>& glyphs = layout.glyphs;
  std::vector<int32_t>& advances = layout.advances;
  Shape(face, chars.data(), chars.size(), (format & DT_EXPANDTABS) != 0, glyphs, advances);

  // Lines: split at line breaks, then wrapped to the rectangle's width.
  const int32_t maxWidth = rect.right - rect.left;
  std::vector<Line>& lines = layout.lines;
  lines.clear();
  auto addWrapped = [&](size_t begin, size_t end) {
    if (!wordBreak) {
      lines.push_back({begin, end, SumOf(advances.data() + begin, end - begin)});
      return;
    }
    size_t start = begin;
    while (true) {
      while (start < end && IsSpace(chars[start]) && start != begin) ++start;
      int32_t width = 0;
      size_t i = start, lastBreak = SIZE_MAX;
      for (; i < end; ++i) {
        const bool canBreak = i > start && BreakBefore(chars, i);
        if (canBreak) lastBreak = i;
        // A word wider than the line is not split: it runs on to its end and
        // is cut by the clipping.
        if (width + advances[i] > maxWidth && i > start && !IsSpace(chars[i]) && lastBreak != SIZE_MAX) break;
        width += advances[i];
      }
      if (i >= end) {
        lines.push_back({start, end, width});
        return;
      }
      const size_t cut = lastBreak;
      size_t lineEnd = cut;
      while (lineEnd > start && IsSpace(chars[lineEnd - 1])) --lineEnd;
      lines.push_back({start, lineEnd, SumOf(advances.data() + start, lineEnd - start)});
      start = cut;
    }
  };
  if (singleLine) {
    addWrapped(0, chars.size());
  } else {
    size_t begin = 0;
    for (size_t i = 0; i <= chars.size(); ++i) {
      if (i == chars.size() || chars[i] == U'\n' || chars[i] == U'\r') {
        addWrapped(begin, i);
        if (i < chars.size() && chars[i] == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n') ++i;
        begin = i + 1;
      }
    }
  }
  if (chars.empty()) lines.clear();

  const int32_t lineHeight = metrics.height;
  const int32_t textHeight = ClampCoordinate(int64_t(lineHeight) * int64_t(lines.size()));
  int32_t top = rect.top;
  if (singleLine && (format & DT_VCENTER)) {
    top = rect.top + (rect.bottom - rect.top - lineHeight) / 2;
  } else if (singleLine && (format & DT_BOTTOM)) {
    top = rect.bottom - lineHeight;
  }
  const int result = (format & (DT_VCENTER | DT_BOTTOM)) && singleLine ? top - rect.top + textHeight : textHeight;

  if (format & DT_CALCRECT) {
    int32_t widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    rectInOut.right = ClampCoordinate(int64_t(rect.left) + widest);
    rectInOut.bottom = ClampCoordinate(int64_t(rect.top) + textHeight);
    return result;
  }

  RasterTarget target = TargetOf(*dc);
  if (target.Empty()) return result;
  RECT clip = target.clip;
  if (!(format & DT_NOCLIP)) {
    clip = Intersect(clip, ToDevice(rect, target.origin));
    if (clip.left >= clip.right) return result;
  }
  RasterTarget clipped = target;
  clipped.clip = clip;
  const uint32_t color = PixelFromColor(dc->state.textColor);
  const bool underlineAll = dc->state.font->description.lfUnderline != 0;
  int32_t y = ToDevice(top, target.origin.y);
  for (const Line& line : lines) {
    int32_t x = rect.left;
    if (format & DT_CENTER) {
      x = rect.left + (maxWidth - line.width) / 2;
    } else if (format & DT_RIGHT) {
      x = rect.right - line.width;
    }
    x = ToDevice(x, target.origin.x);
    if (dc->state.bkMode == OPAQUE) {
      FillDeviceRect(clipped, RECT{x, y, x + line.width, y + lineHeight}, PixelFromColor(dc->state.bkColor));
    }
    const size_t n = line.end - line.begin;
    DrawGlyphRun(clipped, clip, x, y, glyphs.data() + line.begin, advances.data() + line.begin, n, color);
    if (underlineAll) {
      FillDeviceRect(clipped, RECT{x, y + metrics.underline, x + line.width, y + metrics.underline + 1}, color);
    } else if (underlined >= line.begin && underlined < line.end) {
      const int32_t ux = x + SumOf(advances.data() + line.begin, underlined - line.begin);
      FillDeviceRect(clipped, RECT{ux, y + metrics.underline, ux + advances[underlined], y + metrics.underline + 1},
                     color);
    }
    y += lineHeight;
  }
  return result;
}

}  // namespace plat
