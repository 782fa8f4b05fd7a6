// Drawing speed of a tag-list frame: a 1200 x 800 frame filled and 60 rows of
// 7 text cells drawn into it with the panel's font, the cell formats of the
// tag list (left, right-aligned length, single-line value) and its colours.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/core/format.h"
#include "platform/gdi/gdi.h"

namespace {

using namespace plat;

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr int kRows = 60;

struct Cell {
  int x;
  int width;
  uint32_t format;
  COLORREF color;
};
// Label, position, name, description, VR, length, value.
const Cell kCells[7] = {
    {0, 66, 0, RGB(91, 143, 214)},         {74, 80, 0, RGB(153, 236, 251)},
    {162, 200, 0, RGB(200, 200, 200)},     {370, 120, 0, RGB(200, 200, 200)},
    {498, 16, 0, RGB(186, 210, 103)},      {522, 38, DT_RIGHT, RGB(251, 193, 201)},
    {568, 300, DT_SINGLELINE, RGB(224, 239, 231)},
};

struct RowTexts {
  std::u16string cells[7];
};

std::vector<RowTexts> MakeRows() {
  std::vector<RowTexts> rows(kRows);
  for (int i = 0; i < kRows; ++i) {
    RowTexts& r = rows[size_t(i)];
    r.cells[0] = FormatText(u"(%04X,%04X)", {0x0008, 0x0016 + i});
    r.cells[1] = FormatText(u"%6d - %-6d", {132 + i * 20, 152 + i * 20});
    r.cells[2] = i % 2 ? u"SOP Class UID" : u"Referenced Image Sequence 主选";
    r.cells[3] = r.cells[2];
    r.cells[4] = u"UI";
    r.cells[5] = FormatText(u"%d", {26 + i});
    r.cells[6] = i % 3 ? u"1.2.840.10008.5.1.4.1.1.2.1234567890.1234567890.1234567890.98765"
                       : u"文件加载完毕 ISO_IR 100 张三^李四";
  }
  return rows;
}

HFONT PanelFont() {
  LOGFONTW description;
  description.lfHeight = 12;
  description.lfWeight = FW_NORMAL;
  const std::u16string_view face = u"宋体";
  for (size_t i = 0; i < face.size(); ++i) description.lfFaceName[i] = face[i];
  return CreateFontIndirectW(description);
}

void DrawRows(HDC dc, const std::vector<RowTexts>& rows) {
  for (int i = 0; i < kRows; ++i) {
    const int y = 18 + i * 13;
    for (int c = 0; c < 7; ++c) {
      const Cell& cell = kCells[c];
      RECT r{244 + cell.x, y, 244 + cell.x + cell.width, y + 13};
      SetTextColor(dc, cell.color);
      DrawTextW(dc, rows[size_t(i)].cells[c], r, cell.format);
    }
  }
}

// Fill the frame and draw the rows into a memory bitmap.
void BM_FillAndDrawRows(benchmark::State& state) {
  const std::vector<RowTexts> rows = MakeRows();
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HFONT font = PanelFont();
  HGDIOBJ oldFont = SelectObject(dc, font);
  HBRUSH background = CreateSolidBrush(RGB(18, 20, 23));
  SetBkMode(dc, TRANSPARENT);
  for (auto _ : state) {
    FillRect(dc, RECT{0, 0, kWidth, kHeight}, background);
    DrawRows(dc, rows);
    benchmark::ClobberMemory();
  }
  state.counters["cells"] = benchmark::Counter(double(state.iterations()) * kRows * 7, benchmark::Counter::kIsRate);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(font);
  DeleteObject(background);
  DeleteObject(bitmap);
  DeleteDC(dc);
}
BENCHMARK(BM_FillAndDrawRows)->Unit(benchmark::kMillisecond);

// A whole repaint as the owner-drawn surface does it: a frame bitmap from the
// buffer, the rows drawn under a clipping rectangle, one copy into the
// window's back buffer, and everything released.
void BM_Repaint(benchmark::State& state) {
  const std::vector<RowTexts> rows = MakeRows();
  std::vector<uint32_t> buffer(size_t(kWidth) * kHeight, PixelFromColor(RGB(18, 20, 23)));
  std::vector<uint32_t> back(size_t(kWidth + 20) * (kHeight + 60), 0);
  const PixelView backView{reinterpret_cast<uint8_t*>(back.data()), kWidth + 20, kHeight + 60, (kWidth + 20) * 4};
  HDC memory = CreateCompatibleDC(nullptr);
  SetBkMode(memory, TRANSPARENT);
  HFONT font = PanelFont();
  for (auto _ : state) {
    HDC window = CreateSurfaceDC(backView, POINT{0, 40}, RECT{0, 0, kWidth, kHeight});
    HBITMAP frame = CreateBitmap(kWidth, kHeight, 1, 32, buffer.data());
    HGDIOBJ oldBitmap = SelectObject(memory, frame);
    HGDIOBJ oldFont = SelectObject(memory, font);
    SaveDC(memory);
    IntersectClipRect(memory, 244, 18, kWidth, kHeight - 2);
    DrawRows(memory, rows);
    SelectClipRgn(memory, nullptr);
    RestoreDC(memory, -1);
    BitBlt(window, 0, 0, kWidth, kHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(frame);
    DeleteDC(window);
    benchmark::ClobberMemory();
  }
  DeleteObject(font);
  DeleteDC(memory);
}
BENCHMARK(BM_Repaint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
