// Every Chinese text the program shows has a glyph for each of its characters
// in the faces its fonts resolve to: nothing is drawn as a missing-glyph box.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/text/fonts.h"
#include "tests/gdi/canvas.h"

namespace plat {
namespace {

// Status texts, the usage text, tabs, button captions, prompts, tooltips, the
// about box, the analysis log, the notice and the transfer syntax names.
const char16_t* const kShownTexts[] = {
    u" 文件夹下。",
    u"%d:%d 处的类型未知,分析结束",
    u"%s 文件导入",
    u"..... %d(总计字符数)",
    u"1. 将DICOM文件或者文件夹拖到此窗口上即可打开文件。",
    u"10bit有损JPEG.2&4[D]",
    u"2. 导入文件后，左键单击打开当前文件，右键单击打开对比文件，再次右键单击取消对比文件。",
    u"2D视频MPEG-4 AVC/H.264 ",
    u"3. 双击DICOM标签可以查看标签的二进制形式。",
    u"3D视频MPEG-4 AVC/H.264 ",
    u"4. 文件名列表、DICOM标签列表可以上下拖动，DICOM标签面板可以任意拖动。",
    u"5. 脱敏后文件存于 ",
    u"8bit的JPEG[D]",
    u"JPEG-LS无损压缩",
    u"JPEG.3&5（废弃）",
    u"QuorilTesmer，1.0 版",
    u"RFC 2557（废弃）",
    u"XML编码（废弃）",
    u"主",
    u"主流10 HEVC/H.265",
    u"主流HEVC/H.265",
    u"主流MPEG2",
    u"主选",
    u"位置",
    u"使用说明：",
    u"信息提示",
    u"值",
    u"关于 QuorilTesmer",
    u"关于Tesmer(&A)...",
    u"关闭所有打开的文件？",
    u"关闭所有文件，并清空列表",
    u"分析文件：%s",
    u"压缩显示VR的小端模式",
    u"参考JPIP",
    u"参考压缩JPIP",
    u"名称",
    u"否",
    u"宋体",
    u"对文件列表进行归类整理",
    u"导入文件",
    u"将打开的DICOM文件进行脱敏化",
    u"层次JPEG.16&18（废弃）",
    u"层次JPEG.17&19（废弃）",
    u"层次光谱选择JPEG.20&22（废弃）",
    u"层次光谱选择JPEG.21&23（废弃）",
    u"层次全进程JPEG.24&26（废弃）",
    u"层次全进程JPEG.25&27（废弃）",
    u"层次无损JPEG.28（废弃）",
    u"层次无损JPEG.29（废弃）",
    u"应用程序向导生成的本地应用程序",
    u"归整",
    u"扩大/缩小工作区",
    u"描述",
    u"数值",
    u"文件分析中断!",
    u"文件分析完毕!",
    u"文件列表已清空",
    u"文件加载%d/%d",
    u"文件加载完毕",
    u"文件夹名 + __Anony",
    u"文件打开失败，分析进程结束",
    u"文件长度：%d 字节",
    u"无损JPEG2000",
    u"无损RLE",
    u"是",
    u"显式VR的大端模式（废弃）",
    u"显式VR的小端模式",
    u"显示每个标签在DICOM文件中的位置",
    u"有损（接近无损）JPEG-LS",
    u"此文件前128字符包含特殊内容:",
    u"此文件没有DICM标记，非DICOM文件",
    u"此文件长度小于128字节，非DICOM文件",
    u"比",
    u"比较",
    u"清除",
    u"确定",
    u"立体声MPEG-4 AVC/H.264 ",
    u"脱敏",
    u"脱敏完成",
    u"访问官网：",
    u"载入",
    u"输出信息",
    u"退出Tesmer？",
    u"选中文件: ",
    u"长度",
    u"隐藏VR的小端模式[D]",
    u"非层次光谱选择JPEG.6&8（废弃）",
    u"非层次光谱选择JPEG.7&9（废弃）",
    u"非层次全进程法JPEG.10&12（废弃）",
    u"非层次全进程法JPEG.11&13（废弃）",
    u"非层次无损JPEG.14",
    u"非层次无损JPEG.15",
    u"非层次无损JPEG[D]",
    u"高级MPEG-4 AVC/H.264 ",
    u"高级MPEG2",
    u"，",
    u"本工具仅供科研和教学使用，不可用于临床诊断；脱敏结果须人工复核。",
    u"脱敏完成，%d 个文件写入失败",
    u"5. 脱敏后文件存于 \"文件夹名 + __Anony\" 文件夹下。",
};

// The panel's font and the dialogs' font at their two sizes.
const text::FontRequest kFaces[] = {
    {u"宋体", 12, 400, false},
    {u"MS Shell Dlg", -12, 400, false},
    {u"MS Shell Dlg", -11, 400, false},
};

std::u32string Characters(std::u16string_view text) {
  std::u32string out;
  for (char16_t c : text) out.push_back(c);  // all of these texts lie in the basic plane
  return out;
}

TEST(GlyphCoverage, EveryCharacterOfEveryShownTextHasAGlyph) {
  for (const text::FontRequest& request : kFaces) {
    const text::FontFace* face = text::ResolveFont(request);
    for (const char16_t* shown : kShownTexts) {
      for (char32_t c : Characters(shown)) {
        if (c == U' ') continue;
        EXPECT_FALSE(text::FamilyForChar(face, c).empty())
            << "U+" << std::hex << uint32_t(c) << " of a text in " << text::PrimaryFamily(face);
      }
    }
  }
}

TEST(GlyphCoverage, EveryCharacterDrawsInk) {
  drawtest::Canvas canvas(40, 40, RGB(0, 0, 0));
  HFONT font = drawtest::MakeFont(u"宋体", 12);
  HGDIOBJ previous = SelectObject(canvas.dc(), font);
  SetTextColor(canvas.dc(), RGB(255, 255, 255));
  SetBkMode(canvas.dc(), TRANSPARENT);
  std::u32string done;
  for (const char16_t* shown : kShownTexts) {
    for (char16_t c : std::u16string_view(shown)) {
      if (c == u' ' || done.find(c) != std::u32string::npos) continue;
      done.push_back(c);
      canvas.Fill(RGB(0, 0, 0));
      TextOutW(canvas.dc(), 10, 10, std::u16string_view(&c, 1));
      EXPECT_GT(canvas.CountOther(RECT{0, 0, 40, 40}, RGB(0, 0, 0)), 0) << "U+" << std::hex << uint32_t(c);
    }
  }
  EXPECT_GT(done.size(), 200u);
  SelectObject(canvas.dc(), previous);
  DeleteObject(font);
}

// Names and texts that files hold, in every script their character sets
// reach: each character has an installed face that draws it, and Chinese text
// keeps the Ming face whichever other faces are installed.
TEST(GlyphCoverage, EveryScriptOfTheCharacterSetsHasAFace) {
  struct Sample {
    const char* script;
    const char16_t* text;
  } samples[] = {
      {"Latin", u"Buc^Jérôme Äneas^Rüdiger Dvořák Şahin İsmail Ŗģņ Ĥĉĥ €"},
      {"Greek", u"Διονυσιος"},
      {"Cyrillic", u"Люкceмбypг"},
      {"Arabic", u"قباني^لنزار"},
      {"Hebrew", u"שרון^דבורה"},
      {"Thai", u"มารวิน"},
      {"Korean", u"홍^길동 김희중"},
      {"Japanese kana and kanji", u"やまだ^たろう 山田^太郎"},
      {"half-width katakana", u"ﾔﾏﾀﾞ^ﾀﾛｳ"},
      {"Chinese", u"王^小东 王^小東 张三 北京协和医院"},
  };
  for (const text::FontRequest& request : kFaces) {
    const text::FontFace* face = text::ResolveFont(request);
    for (const Sample& sample : samples) {
      for (char32_t c : Characters(sample.text)) {
        if (c == U' ' || c == U'^') continue;
        EXPECT_FALSE(text::FamilyForChar(face, c).empty())
            << sample.script << " U+" << std::hex << uint32_t(c) << " in " << text::PrimaryFamily(face);
      }
    }
  }
  for (const text::FontRequest& request : kFaces) {
    const text::FontFace* face = text::ResolveFont(request);
    for (char32_t c : Characters(u"王张东協脱敏文件"))
      EXPECT_EQ(text::FamilyForChar(face, c).rfind("AR PL UMing", 0), 0u)
          << std::hex << uint32_t(c) << " in " << text::PrimaryFamily(face);
  }
}

}  // namespace
}  // namespace plat
