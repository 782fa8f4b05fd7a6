// Text output and measurement: extents agree with the drawn pixels, the
// panel's "宋体" 12 is crisp, DrawTextW aligns, wraps and never leaves its
// rectangle.

#include <gtest/gtest.h>

#include <string>

#include "platform/gdi/gdi.h"
#include "platform/text/fonts.h"
#include "tests/gdi/canvas.h"

namespace plat {
namespace {

using drawtest::Canvas;
using drawtest::MakeFont;

constexpr COLORREF kPaper = RGB(18, 20, 23);
constexpr COLORREF kText = RGB(148, 152, 160);

struct FontCase {
  const char16_t* face;
  int height;
};
const FontCase kFonts[] = {{u"宋体", 12}, {u"MS Shell Dlg", -12}, {u"MS Shell Dlg", -11}};

// A canvas with a font selected and transparent text, as the panel draws.
class TextCanvas : public Canvas {
 public:
  TextCanvas(int width, int height, const FontCase& font) : Canvas(width, height, kPaper) {
    font_ = MakeFont(font.face, font.height);
    previous_ = SelectObject(dc(), font_);
    SetBkMode(dc(), TRANSPARENT);
    SetTextColor(dc(), kText);
  }
  ~TextCanvas() {
    SelectObject(dc(), previous_);
    DeleteObject(font_);
  }
  bool SameAs(const Canvas& other) const {
    for (int y = 0; y < height(); ++y) {
      for (int x = 0; x < width(); ++x) {
        if (At(x, y) != other.At(x, y)) return false;
      }
    }
    return true;
  }

 private:
  HFONT font_;
  HGDIOBJ previous_;
};

TEST(SongTi12, HasATwelvePixelCellAndFullWidthChineseCharacters) {
  TextCanvas canvas(10, 10, kFonts[0]);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"test").cy, 12);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"主").cx, 12);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"主选").cx, 24);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"0").cx, 6);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"00000: ").cx, 42);
  EXPECT_EQ(GetTextExtentPoint32W(canvas.dc(), u"").cx, 0);
  TEXTMETRICW metrics;
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), metrics));
  EXPECT_EQ(metrics.tmHeight, 12);
  EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, 12);

  const text::FontFace* face = text::ResolveFont({u"宋体", 12, 400, false});
  EXPECT_EQ(text::PrimaryFamily(face).rfind("AR PL UMing", 0), 0u) << text::PrimaryFamily(face);
  EXPECT_TRUE(text::UsesEmbeddedBitmap(face, U'脱'));
  EXPECT_TRUE(text::UsesEmbeddedBitmap(face, U'A'));
}

TEST(SongTi12, IsDrawnCrispInsideItsCell) {
  TextCanvas canvas(120, 30, kFonts[0]);
  const std::u16string text = u"使用说明：DICOM [0008,0016] 脱敏";
  TextOutW(canvas.dc(), 5, 9, text);
  // Embedded bitmaps: every pixel is either the paper or the text colour.
  int ink = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 120; ++x) {
      const COLORREF c = canvas.At(x, y);
      ASSERT_TRUE(c == kPaper || c == kText) << x << "," << y;
      ink += c == kText;
    }
  }
  EXPECT_GT(ink, 100);
  const RECT box = canvas.InkBox(kPaper);
  EXPECT_GE(box.top, 9);
  EXPECT_LE(box.bottom, 9 + 12);
  EXPECT_GE(box.left, 5);
}

TEST(TextExtent, EqualsTheAdvanceOfTheDrawnInk) {
  const std::u16string texts[] = {u"(0008,0005) Specific Character Set", u"文件加载12/345",
                                  u"5. 脱敏后文件存于 \"文件夹名 + __Anony\" 文件夹下。", u"WW..iiMM"};
  for (const FontCase& font : kFonts) {
    for (const std::u16string& text : texts) {
      // The whole text at once, and character by character at the measured
      // width of what came before: the pixels must be the same.
      TextCanvas whole(400, 20, font);
      TextCanvas pieces(400, 20, font);
      TextOutW(whole.dc(), 3, 2, text);
      for (size_t i = 0; i < text.size(); ++i) {
        const int x = 3 + GetTextExtentPoint32W(pieces.dc(), std::u16string_view(text).substr(0, i)).cx;
        TextOutW(pieces.dc(), x, 2, std::u16string_view(text).substr(i, 1));
      }
      EXPECT_TRUE(whole.SameAs(pieces)) << font.height;
      // The ink stays within the measured box; a smoothed outline face may
      // reach one pixel past the last advance.
      const SIZE extent = GetTextExtentPoint32W(whole.dc(), text);
      const RECT box = whole.InkBox(kPaper);
      EXPECT_GE(box.left, 3);
      EXPECT_LE(box.right, 3 + extent.cx + (font.height > 0 ? 0 : 1));
      EXPECT_GE(box.top, 2);
      EXPECT_LE(box.bottom, 2 + extent.cy);
      EXPECT_GT(box.right, 3 + extent.cx - 8) << "the ink reaches the end of the text";
    }
  }
}

TEST(TextOut, TransparentLeavesTheBackgroundBetweenStrokesOpaqueFillsTheCell) {
  for (int mode : {TRANSPARENT, OPAQUE}) {
    TextCanvas canvas(40, 20, kFonts[0]);
    // A background with a pattern, so that "left alone" can be told apart.
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 40; ++x) SetPixel(canvas.dc(), x, y, RGB(x * 5, y * 10, 77));
    }
    SetBkMode(canvas.dc(), mode);
    SetBkColor(canvas.dc(), RGB(1, 2, 3));
    SetTextColor(canvas.dc(), RGB(255, 255, 255));
    TextOutW(canvas.dc(), 4, 4, u"主比");
    int ink = 0, background = 0, filled = 0;
    for (int y = 4; y < 16; ++y) {
      for (int x = 4; x < 28; ++x) {
        const COLORREF c = canvas.At(x, y);
        ink += c == RGB(255, 255, 255);
        background += c == RGB(x * 5, y * 10, 77);
        filled += c == RGB(1, 2, 3);
      }
    }
    EXPECT_GT(ink, 20);
    if (mode == TRANSPARENT) {
      EXPECT_EQ(ink + background, 24 * 12);
      EXPECT_EQ(filled, 0);
    } else {
      EXPECT_EQ(ink + filled, 24 * 12);
      EXPECT_EQ(background, 0);
    }
    // Outside the cells nothing changed in either mode.
    EXPECT_EQ(canvas.At(28, 10), RGB(28 * 5, 100, 77));
    EXPECT_EQ(canvas.At(10, 16), RGB(50, 160, 77));
  }
}

TEST(DrawText, ALongCellIsCutAtItsRightEdgeNotWrapped) {
  const std::u16string value = u"1.2.840.10008.5.1.4.1.1.2.3.4.5.6.7.8.9";
  for (uint32_t format : {0u, DT_SINGLELINE, DT_WORDBREAK}) {
    TextCanvas cell(200, 40, kFonts[0]);
    TextCanvas free(200, 40, kFonts[0]);
    RECT r{10, 5, 70, 17};
    DrawTextW(cell.dc(), value, r, format);
    TextOutW(free.dc(), 10, 5, value);
    EXPECT_EQ(r.right, 70);  // the rectangle itself is not changed
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 200; ++x) {
        const bool inside = PtInRect(RECT{10, 5, 70, 17}, POINT{x, y});
        ASSERT_EQ(cell.At(x, y), inside ? free.At(x, y) : kPaper) << format << " " << x << "," << y;
      }
    }
    EXPECT_GT(cell.CountOther(RECT{64, 5, 70, 17}, kPaper), 0) << "ink runs up to the edge";
  }
}

TEST(DrawText, AlignsRightAndCentre) {
  for (const FontCase& font : kFonts) {
    for (const std::u16string text : {u"1234", u"..", u"比较"}) {
      struct Case {
        uint32_t format;
        int x;  // where TextOutW would have to start for the same pixels
      };
      TextCanvas probe(1, 1, font);
      const int width = GetTextExtentPoint32W(probe.dc(), text).cx;
      const RECT cell{20, 3, 58, 15};
      const Case cases[] = {{DT_RIGHT, cell.right - width},
                            {DT_CENTER, cell.left + (38 - width) / 2},
                            {DT_LEFT, cell.left}};
      for (const Case& c : cases) {
        TextCanvas drawn(80, 20, font);
        TextCanvas expected(80, 20, font);
        RECT r = cell;
        DrawTextW(drawn.dc(), text, r, c.format | DT_SINGLELINE);
        SaveDC(expected.dc());
        IntersectClipRect(expected.dc(), cell.left, cell.top, cell.right, cell.bottom);
        TextOutW(expected.dc(), c.x, cell.top, text);
        RestoreDC(expected.dc(), -1);
        EXPECT_TRUE(drawn.SameAs(expected)) << c.format;
      }
    }
  }
}

TEST(DrawText, VerticalCentreAndBottomForSingleLines) {
  TextCanvas canvas(100, 60, kFonts[0]);
  RECT r{0, 10, 100, 50};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"确定", r, DT_SINGLELINE | DT_VCENTER | DT_CENTER), 14 + 12);
  const RECT box = canvas.InkBox(kPaper);
  EXPECT_GE(box.top, 24);
  EXPECT_LE(box.bottom, 36);
  canvas.Fill(kPaper);
  EXPECT_EQ(DrawTextW(canvas.dc(), u"确定", r, DT_SINGLELINE | DT_BOTTOM), 40);
  EXPECT_GE(canvas.InkBox(kPaper).top, 38);
}

TEST(DrawText, LineBreaksAndWordBreakMakeLinesSingleLineDoesNot) {
  TextCanvas canvas(300, 100, kFonts[0]);
  RECT r{0, 0, 300, 100};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"文件加载完毕\r\n选中文件: a.dcm", r, DT_CALCRECT), 24);
  EXPECT_EQ(r.bottom, 24);
  EXPECT_EQ(r.right, GetTextExtentPoint32W(canvas.dc(), u"选中文件: a.dcm").cx);
  r = RECT{0, 0, 300, 100};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"文件加载完毕\n选中文件", r, DT_CALCRECT | DT_SINGLELINE), 12);

  // The notice wrapped into a 100-pixel column: several lines, none wider
  // than the column, and the drawn ink inside the calculated rectangle.
  const std::u16string notice = u"本工具仅供科研和教学使用，不可用于临床诊断；脱敏结果须人工复核。";
  RECT calc{10, 10, 110, 10};
  const int height = DrawTextW(canvas.dc(), notice, calc, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
  EXPECT_EQ(height % 12, 0);
  EXPECT_GE(height, 12 * 4);
  EXPECT_LE(calc.right, 110);
  EXPECT_EQ(calc.bottom, 10 + height);
  RECT draw{10, 10, 110, 90};
  DrawTextW(canvas.dc(), notice, draw, DT_WORDBREAK | DT_CENTER);
  const RECT box = canvas.InkBox(kPaper);
  EXPECT_GE(box.left, 10);
  EXPECT_LE(box.right, 110);
  EXPECT_LE(box.bottom, 10 + height);
  EXPECT_GT(box.bottom, 10 + height - 12);

  // Latin words wrap at spaces.
  RECT words{0, 0, 60, 0};
  DrawTextW(canvas.dc(), u"aaaa bbbb cccc", words, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(words.bottom, 24);
  EXPECT_EQ(words.right, 54);
}

TEST(DrawText, AmpersandUnderlinesUnlessNoPrefix) {
  TextCanvas canvas(200, 20, kFonts[1]);
  const int plain = GetTextExtentPoint32W(canvas.dc(), u"关于Tesmer(A)...").cx;
  const int raw = GetTextExtentPoint32W(canvas.dc(), u"关于Tesmer(&A)...").cx;
  RECT r{0, 0, 200, 20};
  DrawTextW(canvas.dc(), u"关于Tesmer(&A)...", r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.right, plain);
  r = RECT{0, 0, 200, 20};
  DrawTextW(canvas.dc(), u"关于Tesmer(&A)...", r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(r.right, raw);
  r = RECT{0, 0, 200, 20};
  DrawTextW(canvas.dc(), u"a && b", r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.right, GetTextExtentPoint32W(canvas.dc(), u"a & b").cx);

  // The underline runs under the marked character only, on the font's
  // underline row.
  TEXTMETRICW metrics;
  GetTextMetricsW(canvas.dc(), metrics);
  const int before = GetTextExtentPoint32W(canvas.dc(), u"(").cx;
  const int width = GetTextExtentPoint32W(canvas.dc(), u"A").cx;
  r = RECT{10, 2, 200, 20};
  DrawTextW(canvas.dc(), u"(&A)", r, DT_SINGLELINE);
  int underlined = 0;
  for (int y = 2; y < 2 + metrics.tmHeight; ++y) {
    int run = 0;
    for (int x = 10 + before; x < 10 + before + width; ++x) run += canvas.At(x, y) == kText;
    if (run == width) ++underlined;
  }
  EXPECT_GE(underlined, 1);
  EXPECT_EQ(canvas.CountOther(RECT{0, 2 + metrics.tmHeight, 200, 20}, kPaper), 0);
}

TEST(DrawText, TabsExpandOnlyWhenAsked) {
  TextCanvas canvas(10, 10, kFonts[0]);
  TEXTMETRICW metrics;
  GetTextMetricsW(canvas.dc(), metrics);
  RECT r{0, 0, 500, 20};
  DrawTextW(canvas.dc(), u"ab\tc", r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  EXPECT_EQ(r.right, 8 * metrics.tmAveCharWidth + GetTextExtentPoint32W(canvas.dc(), u"c").cx);
  r = RECT{0, 0, 500, 20};
  DrawTextW(canvas.dc(), u"ab\tc", r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.right, GetTextExtentPoint32W(canvas.dc(), u"abc").cx);
}

TEST(DrawText, NoClipLetsTheTextRunOn) {
  TextCanvas canvas(100, 20, kFonts[0]);
  RECT r{0, 0, 10, 12};
  DrawTextW(canvas.dc(), u"文件列表已清空", r, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(canvas.CountOther(RECT{10, 0, 100, 20}, kPaper), 0);
}

TEST(Fonts, DialogFaceIsSansWithChineseFromTheFallback) {
  const text::FontFace* face = text::ResolveFont({u"MS Shell Dlg", -12, 400, false});
  EXPECT_EQ(text::PrimaryFamily(face), "DejaVu Sans");
  EXPECT_EQ(text::FamilyForChar(face, U'Q'), "DejaVu Sans");
  EXPECT_EQ(text::FamilyForChar(face, U'确').rfind("AR PL UMing", 0), 0u);
  EXPECT_EQ(text::ResolveFont({u"MS Shell Dlg", -12, 400, false}), face);
}

}  // namespace
}  // namespace plat
