// A small dialog built from a template (a static, two owner-drawn buttons and
// a tooltip), driven headless through injected input; its pixels are checked
// in the PNG file it was saved to.
#include "tests/window/window_fixture.h"

#include <png.h>

#include <cstring>
#include <memory>

#include "platform/core/threads.h"
#include "platform/core/text.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace plat;
using tesmer_test::WindowTest;

constexpr COLORREF kFace = RGB(34, 37, 43);
constexpr COLORREF kText = RGB(148, 152, 160);
constexpr COLORREF kButton = RGB(3, 123, 131);
constexpr COLORREF kPressed = RGB(200, 60, 60);
constexpr int kStatus = 100;
constexpr int kFirst = 201;
constexpr int kSecond = 202;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  COLORREF At(int x, int y) const {
    size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
  }
};

Image ReadPng(const std::string& path) {
  Image image;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  png.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) return Image{};
  image.width = int(png.width);
  image.height = int(png.height);
  return image;
}

struct DemoState {
  HBRUSH face = nullptr;
  HWND tip;
  int firstClicks = 0;
};

DialogTemplate DemoTemplate() {
  DialogTemplate t;
  t.caption = u"平台演示";
  t.cx = 200;
  t.cy = 90;
  t.fontFace = u"MS Shell Dlg";
  t.pointSize = 9;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  t.items.push_back(CText(u"点击按钮", kStatus, 10, 10, 180, 10));
  t.items.push_back(Control(u"第一", kFirst, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 20,
                            40, 60, 20));
  t.items.push_back(Control(u"关闭", kSecond, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 120,
                            40, 60, 20));
  return t;
}

WindowProc DemoProc(std::shared_ptr<DemoState> s) {
  return [s](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    switch (m) {
      case WM_INITDIALOG: {
        s->face = CreateSolidBrush(kFace);
        s->tip = CreateWindowExW(0, TOOLTIPS_CLASS, u"", WS_POPUP, 0, 0, 0, 0, h, 0);
        SendMessageW(s->tip, TTM_SETDELAYTIME, TTDT_INITIAL, 40);
        SendMessageW(s->tip, TTM_SETMAXTIPWIDTH, 0, 400);
        for (int id : {kFirst, kSecond}) {
          TOOLINFOW tool;
          tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
          tool.hwnd = h;
          tool.uId = GetDlgItem(h, id).id;
          tool.text = id == kFirst ? u"第一个按钮" : u"关闭对话框";
          SendMessageW(s->tip, TTM_ADDTOOLW, 0, reinterpret_cast<intptr_t>(&tool));
        }
        return 1;
      }
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
        DefDlgProcW(h, m, w, l);
        SetTextColor(reinterpret_cast<HDC>(w), kText);
        SetBkColor(reinterpret_cast<HDC>(w), kFace);
        return reinterpret_cast<intptr_t>(s->face);
      case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
        HBRUSH fill = CreateSolidBrush((item->itemState & ODS_SELECTED) ? kPressed : kButton);
        FillRect(item->hDC, item->rcItem, fill);
        DeleteObject(fill);
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, RGB(255, 255, 255));
        RECT r = item->rcItem;
        DrawTextW(item->hDC, GetWindowTextW(item->hwndItem), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        return 1;
      }
      case WM_COMMAND:
        if (LOWORD(w) == kFirst) {
          ++s->firstClicks;
          SetDlgItemTextW(h, kStatus, u"第一个按钮按下了");
          return 0;
        }
        if (LOWORD(w) == kSecond) {
          DestroyWindow(h);
          return 0;
        }
        return DefDlgProcW(h, m, w, l);
      case WM_NCDESTROY:
        DeleteObject(s->face);
        return 0;
      default:
        return DefDlgProcW(h, m, w, l);
    }
  };
}

// The centre of a control in the dialog's client coordinates, moved down to
// stay clear of the caption text.
POINT ButtonSpot(HWND dialog, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  POINT p{r.left + 3, r.top + 3};
  ScreenToClient(dialog, &p);
  return p;
}

class DialogEndToEndTest : public WindowTest {};

TEST_F(DialogEndToEndTest, TemplateDialogIsDrivenByInjectedInputAndSavedAsPng) {
  fixture::TempDir dir;
  auto state = std::make_shared<DemoState>();
  HWND dialog = CreateDialogIndirectParamW(DemoTemplate(), HWND{}, DemoProc(state), 0);
  ASSERT_TRUE(dialog);
  PumpPendingMessages();

  const std::string shot = dir.Join("dialog.png");
  ASSERT_TRUE(SaveWindowPng(dialog, PathFromNative(shot)));
  Image before = ReadPng(shot);
  RECT client;
  GetClientRect(dialog, &client);
  ASSERT_EQ(before.width, client.right);
  ASSERT_EQ(before.height, client.bottom);
  POINT first = ButtonSpot(dialog, kFirst);
  POINT second = ButtonSpot(dialog, kSecond);
  EXPECT_EQ(before.At(2, client.bottom - 2), kFace);
  EXPECT_EQ(before.At(first.x, first.y), kButton);
  EXPECT_EQ(before.At(second.x, second.y), kButton);
  // The status text is drawn in the colour the dialog answered.
  RECT status;
  GetWindowRect(GetDlgItem(dialog, kStatus), &status);
  POINT s0{status.left, status.top};
  ScreenToClient(dialog, &s0);
  int textPixels = 0;
  for (int y = s0.y; y < s0.y + (status.bottom - status.top); ++y) {
    for (int x = s0.x; x < s0.x + (status.right - status.left); ++x) textPixels += before.At(x, y) == kText;
  }
  EXPECT_GT(textPixels, 10);

  // Pressing the first button paints it pressed; releasing runs its command.
  InjectMouseMove(dialog, first);
  InjectMouseButton(dialog, first, 0, true);
  PumpPendingMessages();
  ASSERT_TRUE(SaveWindowPng(dialog, PathFromNative(shot)));
  Image pressed = ReadPng(shot);
  EXPECT_EQ(pressed.At(first.x, first.y), kPressed);
  EXPECT_EQ(pressed.At(second.x, second.y), kButton);
  InjectMouseButton(dialog, first, 0, false);
  PumpPendingMessages();
  EXPECT_EQ(state->firstClicks, 1);
  EXPECT_EQ(GetDlgItemTextW(dialog, kStatus), u"第一个按钮按下了");
  ASSERT_TRUE(SaveWindowPng(dialog, PathFromNative(shot)));
  Image after = ReadPng(shot);
  EXPECT_EQ(after.At(first.x, first.y), kButton);
  int changed = 0;
  for (int y = s0.y; y < s0.y + (status.bottom - status.top); ++y) {
    for (int x = s0.x; x < s0.x + (status.right - status.left); ++x) changed += before.At(x, y) != after.At(x, y);
  }
  EXPECT_GT(changed, 10);

  // Resting over the second button shows its tip near the pointer.
  InjectMouseMove(dialog, second);
  for (int i = 0; i < 200 && !IsWindowVisible(state->tip); ++i) {
    PumpPendingMessages();
    Sleep(10);
  }
  ASSERT_TRUE(IsWindowVisible(state->tip));
  RECT tipRect;
  GetWindowRect(state->tip, &tipRect);
  POINT pointer = second;
  ClientToScreen(dialog, &pointer);
  EXPECT_NEAR(tipRect.top, pointer.y + 20, 4);
  ASSERT_TRUE(SaveWindowPng(state->tip, PathFromNative(dir.Join("tip.png"))));
  Image tip = ReadPng(dir.Join("tip.png"));
  EXPECT_EQ(tip.At(3, 1), GetSysColor(COLOR_INFOBK));

  // The second button closes the dialog, and its tooltip with it.
  InjectClick(dialog, second);
  PumpPendingMessages();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(IsWindow(state->tip));
}

}  // namespace
