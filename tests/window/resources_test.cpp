// Resources by number, icons, and the pictures of static controls.
#include "tests/window/window_fixture.h"

#include "platform/window/resources.h"

namespace {

using namespace plat;
using tesmer_test::WindowTest;

class ResourcesTest : public WindowTest {};

TEST_F(ResourcesTest, StringsBitmapsAndIconsAreFoundByNumber) {
  EXPECT_EQ(LoadStringW(101), u"");
  RegisterStringResource(101, u"关于Tesmer(&A)...");
  EXPECT_EQ(LoadStringW(101), u"关于Tesmer(&A)...");
  EXPECT_EQ(LoadBitmapW(130), nullptr);
  std::vector<uint32_t> bits(392 * 37, 0x00102030);
  HBITMAP band = CreateBitmap(392, 37, 1, 32, bits.data());
  RegisterBitmapResource(130, band);
  EXPECT_EQ(LoadBitmapW(130), band);
  std::vector<uint32_t> argb(32 * 32, 0xFF00FF00);
  HICON icon = CreateIconFromPixels(32, 32, argb.data());
  RegisterIconResource(128, icon);
  EXPECT_EQ(LoadIconW(128), icon);
  EXPECT_EQ(GetIconSize(icon).cx, 32);
}

TEST_F(ResourcesTest, PictureStaticShowsItsBitmapAtItsOwnSize) {
  std::vector<uint32_t> bits(392 * 37);
  for (int y = 0; y < 37; ++y) {
    for (int x = 0; x < 392; ++x) bits[size_t(y) * 392 + size_t(x)] = x < 196 ? 0x00FF0000 : 0x000000FF;
  }
  RegisterBitmapResource(130, CreateBitmap(392, 37, 1, 32, bits.data()));
  DialogTemplate t;
  t.cx = 261;
  t.cy = 132;
  t.style = WS_POPUP | WS_BORDER | WS_SYSMENU | WS_VISIBLE;
  DialogItem band = Control(u"", -1, std::u16string(WC_STATIC), WS_VISIBLE | SS_BITMAP, 0, 0, 261, 23);
  band.imageResource = 130;
  t.items.push_back(band);
  HWND d = CreateDialogIndirectParamW(t, HWND{}, DefDlgProcW, 0);
  PumpPendingMessages();
  HWND picture = GetChildWindows(d).front();
  RECT r;
  GetClientRect(picture, &r);
  EXPECT_EQ(r.right, 392);
  EXPECT_EQ(r.bottom, 37);
  EXPECT_EQ(GetWindowPixel(d, 10, 10), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(d, 300, 36), RGB(0, 0, 255));
}

TEST_F(ResourcesTest, IconsBlendOverWhatIsBeneathAndBelongToTheirWindow) {
  HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, HWND{}, 0);
  PumpPendingMessages();
  // Left half opaque red, right half half-transparent blue, one transparent row.
  std::vector<uint32_t> argb(32 * 32);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) argb[size_t(y) * 32 + size_t(x)] = y == 0 ? 0 : x < 16 ? 0xFFFF0000 : 0x800000FF;
  }
  HICON icon = CreateIconFromPixels(32, 32, argb.data());
  HDC dc = GetDC(top);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, RECT{0, 0, 64, 64}, white);
  DeleteObject(white);
  DrawIcon(dc, 10, 10, icon);
  ReleaseDC(top, dc);
  EXPECT_EQ(GetWindowPixel(top, 10, 10), RGB(255, 255, 255));  // transparent row
  EXPECT_EQ(GetWindowPixel(top, 12, 20), RGB(255, 0, 0));
  COLORREF blend = GetWindowPixel(top, 30, 20);
  EXPECT_NEAR(GetRValue(blend), 127, 1);
  EXPECT_NEAR(GetBValue(blend), 255, 1);
  EXPECT_EQ(GetWindowPixel(top, 42, 20), RGB(255, 255, 255));  // beyond the icon

  EXPECT_EQ(SendMessageW(top, WM_SETICON, ICON_BIG, reinterpret_cast<intptr_t>(icon)), 0);
  EXPECT_EQ(SendMessageW(top, WM_GETICON, ICON_BIG, 0), reinterpret_cast<intptr_t>(icon));
  EXPECT_EQ(SendMessageW(top, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_EQ(SendMessageW(top, WM_QUERYDRAGICON, 0, 0), 0);
}

}  // namespace
