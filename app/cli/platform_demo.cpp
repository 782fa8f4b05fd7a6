// tesmer --platform-demo: a small dialog that exercises the window layer on a
// real display (or headless): a template with a status text, a frame, two
// owner-drawn buttons with hover colours and tooltips, the system menu's
// appended item, file drops and the wheel.
//
//   tesmer --platform-demo [--headless] [--exit-after MS] [--screenshot FILE.png]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "platform/core/drop.h"
#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/window/dialog.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"

namespace {

using namespace plat;

constexpr COLORREF kFace = RGB(34, 37, 43);
constexpr COLORREF kText = RGB(148, 152, 160);
constexpr COLORREF kFrame = RGB(3, 123, 131);
constexpr COLORREF kFrameHover = RGB(4, 210, 223);
constexpr COLORREF kCaption = RGB(39, 149, 149);
constexpr COLORREF kCaptionHover = RGB(38, 236, 235);

constexpr int kStatus = 1003;
constexpr int kPress = 1005;
constexpr int kClose = 1014;
constexpr uintptr_t kAboutCommand = 0x0010;
constexpr uintptr_t kExitTimer = 1;

struct Demo {
  HBRUSH face = nullptr;
  HWND tip;
  HWND hover;
  int presses = 0;
  uint32_t exitAfterMs = 0;
  std::string screenshot;
};

DialogTemplate DemoTemplate() {
  DialogTemplate t;
  t.caption = u"Tesmer 平台演示";
  t.cx = 240;
  t.cy = 110;
  t.fontFace = u"MS Shell Dlg";
  t.pointSize = 9;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  t.exStyle = WS_EX_ACCEPTFILES | WS_EX_APPWINDOW;
  t.items.push_back(CText(u"点击按钮，拖入文件，或按 Alt+空格", kStatus, 10, 12, 220, 10));
  t.items.push_back(Control(u"", -1, std::u16string(WC_STATIC), WS_VISIBLE | SS_BLACKFRAME, 6, 6, 228, 22));
  t.items.push_back(Control(u"按钮一", kPress, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 40,
                            50, 60, 22));
  t.items.push_back(Control(u"关闭", kClose, std::u16string(WC_BUTTON), WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 140,
                            50, 60, 22));
  return t;
}

DialogTemplate AboutTemplate() {
  DialogTemplate t;
  t.caption = u"关于";
  t.cx = 160;
  t.cy = 60;
  t.pointSize = 9;
  t.items.push_back(CText(u"Tesmer 平台演示", -1, 10, 12, 140, 10));
  t.items.push_back(DefPushButton(u"确定", IDOK, 55, 36, 50, 14));
  return t;
}

void DrawButton(const Demo& demo, const DRAWITEMSTRUCT& item) {
  const bool hover = item.hwndItem == demo.hover;
  HBRUSH fill = CreateSolidBrush(kFace);
  FillRect(item.hDC, item.rcItem, fill);
  DeleteObject(fill);
  // A 1-pixel frame with its corner pixels left out.
  HPEN pen = CreatePen(PS_SOLID, 1, hover ? kFrameHover : kFrame);
  HGDIOBJ old = SelectObject(item.hDC, pen);
  const RECT& r = item.rcItem;
  MoveToEx(item.hDC, r.left + 1, r.top);
  LineTo(item.hDC, r.right - 1, r.top);
  MoveToEx(item.hDC, r.left, r.top + 1);
  LineTo(item.hDC, r.left, r.bottom - 1);
  MoveToEx(item.hDC, r.right - 1, r.bottom - 2);
  LineTo(item.hDC, r.right - 1, r.top);
  MoveToEx(item.hDC, r.left + 1, r.bottom - 1);
  LineTo(item.hDC, r.right - 1, r.bottom - 1);
  SelectObject(item.hDC, old);
  DeleteObject(pen);
  RECT text = r;
  if (item.itemState & ODS_SELECTED) OffsetRect(text, 1, 1);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, (item.itemState & ODS_DISABLED) ? GetSysColor(COLOR_BTNSHADOW)
                                                          : hover ? kCaptionHover : kCaption);
  DrawTextW(item.hDC, GetWindowTextW(item.hwndItem), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// Lights a button while the pointer is over it.
void TrackHover(Demo& demo, HWND button, bool over) {
  if (over && demo.hover != button) {
    HWND old = demo.hover;
    demo.hover = button;
    if (old) InvalidateRect(old, nullptr, false);
    InvalidateRect(button, nullptr, false);
    TRACKMOUSEEVENT track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = button;
    _TrackMouseEvent(&track);
  } else if (!over && demo.hover == button) {
    demo.hover = HWND{};
    InvalidateRect(button, nullptr, false);
  }
}

void WatchButton(std::shared_ptr<Demo> demo, HWND button) {
  WindowProc previous = GetWindowProcedure(button);
  SubclassWindow(button, [demo, previous](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_MOUSEMOVE) TrackHover(*demo, h, true);
    if (m == WM_MOUSELEAVE) TrackHover(*demo, h, false);
    return CallWindowProcW(previous, h, m, w, l);
  });
}

void AddTool(const Demo& demo, HWND dialog, int id, std::u16string text) {
  TOOLINFOW tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = GetDlgItem(dialog, id).id;
  tool.text = std::move(text);
  SendMessageW(demo.tip, TTM_ADDTOOLW, 0, reinterpret_cast<intptr_t>(&tool));
}

void ShowDrop(HWND dialog, HDROP drop) {
  uint32_t count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::u16string first;
  if (count > 0) {
    uint32_t length = DragQueryFileW(drop, 0, nullptr, 0);
    std::u16string buffer(size_t(length) + 1, u'\0');
    DragQueryFileW(drop, 0, buffer.data(), length + 1);
    first = buffer.substr(0, length);
  }
  DragFinish(drop);
  SetDlgItemTextW(dialog, kStatus, FormatText(u"拖入 %d 项: %s", {int(count), first}));
}

WindowProc DemoProc(std::shared_ptr<Demo> demo) {
  return [demo](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    switch (m) {
      case WM_INITDIALOG: {
        demo->face = CreateSolidBrush(kFace);
        if (HMENU menu = GetSystemMenu(h, false)) {
          AppendMenuW(menu, MF_SEPARATOR, 0, u"");
          AppendMenuW(menu, MF_STRING, kAboutCommand, u"关于Tesmer(&A)...");
        }
        demo->tip = CreateWindowExW(0, TOOLTIPS_CLASS, u"", WS_POPUP, 0, 0, 0, 0, h, 0);
        SendMessageW(demo->tip, TTM_SETMAXTIPWIDTH, 0, 400);
        AddTool(*demo, h, kPress, u"按一下，状态栏会数次数");
        AddTool(*demo, h, kClose, u"关闭演示");
        WatchButton(demo, GetDlgItem(h, kPress));
        WatchButton(demo, GetDlgItem(h, kClose));
        if (demo->exitAfterMs > 0) SetTimer(h, kExitTimer, demo->exitAfterMs);
        return 1;
      }
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
        DefDlgProcW(h, m, w, l);
        SetTextColor(reinterpret_cast<HDC>(w), kText);
        SetBkColor(reinterpret_cast<HDC>(w), kFace);
        return reinterpret_cast<intptr_t>(demo->face);
      case WM_DRAWITEM:
        DrawButton(*demo, *reinterpret_cast<const DRAWITEMSTRUCT*>(l));
        return 1;
      case WM_COMMAND:
        if (LOWORD(w) == kPress) {
          ++demo->presses;
          SetDlgItemTextW(h, kStatus, FormatText(u"按钮一按下了 %d 次", {demo->presses}));
          return 0;
        }
        if (LOWORD(w) == kClose) {
          EndDialog(h, IDCANCEL);
          return 0;
        }
        return DefDlgProcW(h, m, w, l);
      case WM_SYSCOMMAND:
        if ((w & 0xFFF0) == kAboutCommand) {
          DialogBoxIndirectParamW(AboutTemplate(), h, DefDlgProcW, 0);
          return 0;
        }
        return DefDlgProcW(h, m, w, l);
      case WM_DROPFILES:
        ShowDrop(h, reinterpret_cast<HDROP>(w));
        return 0;
      case WM_MOUSEWHEEL:
        SetDlgItemTextW(h, kStatus, FormatText(u"滚轮 %d", {GET_WHEEL_DELTA_WPARAM(w)}));
        return 1;
      case WM_TIMER:
        if (w == kExitTimer) {
          KillTimer(h, kExitTimer);
          if (!demo->screenshot.empty() && !SaveWindowPng(h, PathFromNative(demo->screenshot))) {
            std::fprintf(stderr, "tesmer: cannot write %s\n", demo->screenshot.c_str());
          }
          EndDialog(h, IDOK);
        }
        return 0;
      case WM_NCDESTROY:
        DeleteObject(demo->face);
        demo->face = nullptr;
        return 0;
      default:
        return DefDlgProcW(h, m, w, l);
    }
  };
}

int Usage() {
  std::fprintf(stderr, "usage: tesmer --platform-demo [--headless] [--exit-after MS] [--screenshot FILE.png]\n");
  return 2;
}

}  // namespace

int RunPlatformDemo(int argc, char** argv) {
  auto demo = std::make_shared<Demo>();
  bool headless = HeadlessRequested(0, nullptr);  // SDL_VIDEODRIVER=dummy
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--platform-demo") == 0) continue;
    if (std::strcmp(a, "--headless") == 0) {
      headless = true;
      continue;
    }
    if (std::strcmp(a, "--exit-after") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long ms = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != 0 || ms <= 0 || ms > 3600000) return Usage();
      demo->exitAfterMs = uint32_t(ms);
      continue;
    }
    if (std::strcmp(a, "--screenshot") == 0 && i + 1 < argc) {
      demo->screenshot = argv[++i];
      continue;
    }
    return Usage();
  }
  // A screenshot is taken when the run ends by itself.
  if (!demo->screenshot.empty() && demo->exitAfterMs == 0) demo->exitAfterMs = 300;
  if (!StartSdlPlatform(headless)) return 1;
  DialogBoxIndirectParamW(DemoTemplate(), HWND{}, DemoProc(demo), 0);
  StopSdlPlatform();
  return 0;
}
