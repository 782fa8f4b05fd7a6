#include "app/resources.h"

#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/window/resources.h"

using namespace plat;

namespace {

constexpr int kIconSize = 32;

// A pixel of the icon, 0xAARRGGBB.
constexpr uint32_t Argb(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// The application icon: the window face with the buttons' teal frame (its
// corners clipped) and a cyan "T".
HICON DrawAppIcon() {
  std::vector<uint32_t> px(size_t(kIconSize) * kIconSize, 0);
  auto at = [&](int x, int y) -> uint32_t& { return px[size_t(y) * kIconSize + size_t(x)]; };
  const uint32_t face = Argb(34, 37, 43);
  const uint32_t frame = Argb(3, 123, 131);
  const uint32_t mark = Argb(38, 236, 235);
  for (int y = 1; y < kIconSize - 1; ++y)
    for (int x = 1; x < kIconSize - 1; ++x) at(x, y) = face;
  for (int i = 1; i < kIconSize - 1; ++i) {
    at(i, 0) = frame;
    at(i, kIconSize - 1) = frame;
    at(0, i) = frame;
    at(kIconSize - 1, i) = frame;
  }
  for (int y = 7; y < 11; ++y)
    for (int x = 7; x < 25; ++x) at(x, y) = mark;
  for (int y = 11; y < 26; ++y)
    for (int x = 14; x < 18; ++x) at(x, y) = mark;
  return CreateIconFromPixels(kIconSize, kIconSize, px.data());
}

}  // namespace

DialogTemplate MainWindowTemplate() {
  DialogTemplate t;
  t.caption = u"Quoril Tesmer";
  t.cx = 554;
  t.cy = 545;
  t.fontFace = u"MS Shell Dlg";
  t.pointSize = 9;
  t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  t.exStyle = WS_EX_APPWINDOW | WS_EX_ACCEPTFILES;
  const uint32_t shown = WS_VISIBLE | WS_TABSTOP;
  const uint32_t hiddenDisabled = WS_DISABLED | WS_TABSTOP;
  const std::u16string button(WC_BUTTON);
  const std::u16string text(WC_STATIC);
  t.items = {
      Control(u"", kPanelSurfaceId, text, WS_VISIBLE | SS_OWNERDRAW, 0, 23, 553, 512),
      Control(u"", kBandMarkerId, text, SS_BLACKFRAME, 0, 0, 2, 23),
      PushButton(u"载入", kLoadButtonId, 422, 0, 21, 23, shown),
      LText(u"输出信息", kStatusLineId, 0, 536, 491, 8),
      PushButton(u"归整", kTidyButtonId, 22, 0, 21, 23, shown),
      PushButton(u"脱敏", kAnonymizeButtonId, 0, 0, 21, 23, shown),
      PushButton(u"数值", kValueColumnButtonId, 446, 0, 21, 23, hiddenDisabled),
      PushButton(u"VR", kVrColumnButtonId, 130, 0, 21, 23, hiddenDisabled),
      PushButton(u"长度", kLengthColumnButtonId, 152, 0, 21, 23, hiddenDisabled),
      PushButton(u"位置", kPositionColumnButtonId, 86, 0, 21, 23, shown),
      PushButton(u"描述", kDescriptionColumnButtonId, 196, 0, 21, 23, hiddenDisabled),
      PushButton(u"值", kTagValueColumnButtonId, 174, 0, 21, 23, hiddenDisabled),
      PushButton(u"名称", kNameColumnButtonId, 108, 0, 21, 23, hiddenDisabled),
      PushButton(u">", kWidthToggleId, 545, 1, 9, 20, shown),
      PushButton(u"清除", kClearButtonId, 44, 0, 21, 23, shown),
      // The notice sits in the button band between the last column button
      // (x 196 + 21) and the load button (x 422), which is never shown, and
      // ends above the panel surface (y 23): it covers neither the panel nor
      // any button at any window size.
      LText(kNoticeText, kNoticeId, 222, 2, 196, 20),
  };
  return t;
}

DialogTemplate AboutBoxTemplate() {
  DialogTemplate t;
  t.caption = u"关于 QuorilTesmer";
  t.cx = 219;
  t.cy = 109;
  t.fontFace = u"MS Shell Dlg";
  t.pointSize = 9;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.items = {
      LText(u"QuorilTesmer，1.0 版", -1, 52, 22, 114, 8),
      LText(u"DICOM 脱敏", -1, 81, 34, 56, 8),
      DefPushButton(u"确定", IDOK, 75, 60, 50, 14),
      PushButton(u"访问官网：www.example.com", kAboutSiteButtonId, 103, 96, 116, 13),
  };
  return t;
}

void RegisterAppResources() {
  RegisterStringResource(kAboutItemString, u"关于Tesmer(&A)...");
  if (LoadIconW(kAppIcon) == nullptr) RegisterIconResource(kAppIcon, DrawAppIcon());
}
