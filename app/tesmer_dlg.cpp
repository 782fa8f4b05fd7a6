#include "app/tesmer_dlg.h"

#include <algorithm>

#include "analysis/character_set.h"
#include "anonymize/anonymize.h"
#include "anonymize/confidentiality.h"
#include "app/about_dlg.h"
#include "app/resources.h"
#include "controls/message_box.h"
#include "intake/drop.h"
#include "intake/loader.h"
#include "intake/messages.h"
#include "platform/core/format.h"
#include "platform/window/resources.h"

using namespace plat;

namespace {

constexpr COLORREF kFace = RGB(34, 37, 43);
constexpr COLORREF kButtonFace = RGB(36, 36, 36);
constexpr COLORREF kText = RGB(148, 152, 160);
constexpr COLORREF kTextBackground = RGB(26, 28, 32);

// The system menu's about item.
constexpr uintptr_t kAboutCommand = 0x0010;
// The system menu's choice of how text values are decoded.
constexpr uintptr_t kDeclaredCharsetCommand = 0x0020;
constexpr uintptr_t kCodePageCharsetCommand = 0x0030;
// The system menu's switch between loading dropped folders alone and with
// every folder below them.
constexpr uintptr_t kSubfoldersCommand = 0x0040;

void CheckTextDecoding(HMENU menu) {
  const bool declared = CurrentTextDecoding() == TextDecoding::Declared;
  CheckMenuItem(menu, kDeclaredCharsetCommand, declared ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(menu, kCodePageCharsetCommand, declared ? MF_UNCHECKED : MF_CHECKED);
}

// The system menu's choice of de-identification profile.
constexpr uintptr_t kFixedProfileCommand = 0x0050;
constexpr uintptr_t kBasicProfileCommand = 0x0060;

// The colours of the control-colour queries.
struct ControlColours {
  uint32_t message;
  COLORREF background;
  bool buttonBrush;
};
constexpr ControlColours kControlColours[] = {
    {WM_CTLCOLORDLG, kTextBackground, false},
    {WM_CTLCOLORBTN, kTextBackground, true},
    {WM_CTLCOLORSTATIC, kFace, false},
    {WM_CTLCOLOREDIT, kTextBackground, false},
};

// The column each toggle button shows or hides.
struct ColumnToggle {
  int id;
  int32_t column;
};
constexpr ColumnToggle kColumnToggles[] = {
    {kValueColumnButtonId, kColumnTag},         {kPositionColumnButtonId, kColumnPosition},
    {kNameColumnButtonId, kColumnName},         {kDescriptionColumnButtonId, kColumnDescription},
    {kVrColumnButtonId, kColumnVr},             {kLengthColumnButtonId, kColumnLength},
    {kTagValueColumnButtonId, kColumnValue},
};

// Tooltips in the order they are set, and whether the button hides after.
struct Tip {
  int id;
  const char16_t* text;
  bool hide;
};
constexpr Tip kTips[] = {
    {kAnonymizeButtonId, u"将打开的DICOM文件进行脱敏化", true},
    {kLoadButtonId, u"导入文件", false},
    {kClearButtonId, u"关闭所有文件，并清空列表", true},
    {kPositionColumnButtonId, u"显示每个标签在DICOM文件中的位置", true},
    {kWidthToggleId, u"扩大/缩小工作区", false},
    {kTidyButtonId, u"对文件列表进行归类整理", false},
};

// The buttons a drop shows and a clear hides again.
constexpr int kCollectionButtons[] = {kAnonymizeButtonId, kClearButtonId, kPositionColumnButtonId};

// A window's size from its rectangle.
SIZE SizeOf(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return SIZE{0, 0};
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

CTesmerDlg::CTesmerDlg() : DialogWindow(MainWindowTemplate()) {
  RegisterAppResources();
  icon = LoadIconW(kAppIcon);
}

CTesmerDlg::~CTesmerDlg() {
  // The window goes first: its buttons' procedures and the panel's target
  // must not outlive the objects behind them.
  if (IsWindow(GetSafeHwnd())) DestroyWindow(GetSafeHwnd());
  if (backgroundBrush != nullptr) DeleteObject(backgroundBrush);
  if (buttonBrush != nullptr) DeleteObject(buttonBrush);
}

bool CTesmerDlg::OnInitDialog() {
  HWND h = GetSafeHwnd();
  SetMainWindow(h);
  for (int i = 0; i < kButtonCount; ++i) buttons[i].SubclassDlgItem(kButtonIds[i], h);

  HMENU menu = GetSystemMenu(h, false);
  std::u16string about = LoadStringW(kAboutItemString);
  if (menu && !about.empty()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, u"");
    AppendMenuW(menu, MF_STRING, kAboutCommand, about);
  }
  if (menu) {
    AppendMenuW(menu, MF_SEPARATOR, 0, u"");
    AppendMenuW(menu, MF_STRING, kDeclaredCharsetCommand, u"字符集：按文件声明");
    AppendMenuW(menu, MF_STRING, kCodePageCharsetCommand, u"字符集：系统代码页");
    CheckTextDecoding(menu);
    AppendMenuW(menu, MF_STRING, kSubfoldersCommand, u"包含子文件夹");
    CheckMenuItem(menu, kSubfoldersCommand, panel.collection.includeSubfolders.load() ? MF_CHECKED : MF_UNCHECKED);
    AppendMenuW(menu, MF_SEPARATOR, 0, u"");
    AppendMenuW(menu, MF_STRING | MF_CHECKED, kFixedProfileCommand, ProfileName(ProfileChoice::Fixed));
    AppendMenuW(menu, MF_STRING, kBasicProfileCommand, ProfileName(ProfileChoice::Basic));
  }

  SendMessageW(h, WM_SETICON, ICON_BIG, reinterpret_cast<intptr_t>(icon));
  SendMessageW(h, WM_SETICON, ICON_SMALL, reinterpret_cast<intptr_t>(icon));

  ShowWindow(GetDlgItem(kLoadButtonId), SW_HIDE);
  ShowWindow(GetDlgItem(kTidyButtonId), SW_HIDE);

  backgroundBrush = CreateSolidBrush(kFace);
  buttonBrush = CreateSolidBrush(kButtonFace);

  panel.SetWindows(GetDlgItem(kPanelSurfaceId), h);

  for (const Tip& tip : kTips) {
    for (int i = 0; i < kButtonCount; ++i) {
      if (kButtonIds[i] == tip.id) buttons[i].AttachTooltip(tip.text);
    }
    if (tip.hide) ShowWindow(GetDlgItem(tip.id), SW_HIDE);
  }

  // Paths given on the command line arrive as a drop once the window runs.
  if (!initialPaths.empty()) {
    initialDropPending_ = true;
    PostMessageW(h, WM_DROPFILES, reinterpret_cast<uintptr_t>(CreateDrop(initialPaths)), 0);
  }
  return true;
}

bool CTesmerDlg::PreTranslateMessage(MSG& msg) {
  // Neither Enter nor Esc closes the window or presses a button.
  return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

void CTesmerDlg::SetStatus(const std::u16string& text) { SetDlgItemTextW(GetSafeHwnd(), kStatusLineId, text); }

bool CTesmerDlg::LoadingSettled() const {
  if (initialDropPending_) return false;
  return !panel.collection.loader || panel.collection.loader->running.load() == 0;
}

intptr_t CTesmerDlg::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  HWND h = GetSafeHwnd();
  // The system's own messages come first; each goes on to the default
  // processing afterwards.
  switch (message) {
    case WM_LOAD_SKIPPED:
      skippedSubfolders = static_cast<int32_t>(wParam);
      return 0;
    case WM_LOAD_PROGRESS:
      if (lParam != -1) {
        SetStatus(FormatText(u"文件加载%d/%d", {int(wParam), int(lParam)}));
      } else {
        // A folder loaded without its subfolders says how many it left out.
        SetStatus(skippedSubfolders > 0 ? FormatText(u"文件加载完毕，%d 个含文件的子文件夹未载入", {skippedSubfolders})
                                        : std::u16string(u"文件加载完毕"));
        skippedSubfolders = 0;
      }
      return Default(message, wParam, lParam);
    case WM_WORK_REDRAW:
      panel.Redraw();
      return Default(message, wParam, lParam);
    case WM_FILE_SELECTED:
      SetStatus(u"选中文件: " + panel.selectedPath);
      return Default(message, wParam, lParam);
    default:
      break;
  }

  for (const ControlColours& c : kControlColours) {
    if (c.message != message) continue;
    Default(message, wParam, lParam);
    auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, kText);
    SetBkColor(dc, c.background);
    return reinterpret_cast<intptr_t>(c.buttonBrush ? buttonBrush : backgroundBrush);
  }

  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutCommand) {
        CAboutDlg about;
        about.DoModal();
        return 0;
      }
      if ((wParam & 0xFFF0) == kSubfoldersCommand) {
        // Folders dropped from now on; a run under way keeps its own.
        const bool include = !panel.collection.includeSubfolders.load();
        panel.collection.includeSubfolders.store(include);
        CheckMenuItem(GetSystemMenu(GetSafeHwnd(), false), kSubfoldersCommand, include ? MF_CHECKED : MF_UNCHECKED);
        return 0;
      }
      if ((wParam & 0xFFF0) == kDeclaredCharsetCommand || (wParam & 0xFFF0) == kCodePageCharsetCommand) {
        SetTextDecoding((wParam & 0xFFF0) == kDeclaredCharsetCommand ? TextDecoding::Declared : TextDecoding::CodePage);
        CheckTextDecoding(GetSystemMenu(GetSafeHwnd(), false));
        panel.Redraw();
        return 0;
      }
      if ((wParam & 0xFFF0) == kFixedProfileCommand || (wParam & 0xFFF0) == kBasicProfileCommand) {
        profile = (wParam & 0xFFF0) == kBasicProfileCommand ? ProfileChoice::Basic : ProfileChoice::Fixed;
        HMENU menu = GetSystemMenu(GetSafeHwnd(), false);
        CheckMenuItem(menu, kFixedProfileCommand, profile == ProfileChoice::Fixed ? MF_CHECKED : MF_UNCHECKED);
        CheckMenuItem(menu, kBasicProfileCommand, profile == ProfileChoice::Basic ? MF_CHECKED : MF_UNCHECKED);
        return 0;
      }
      return Default(message, wParam, lParam);
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<intptr_t>(icon);
    case WM_SIZE: {
      intptr_t r = Default(message, wParam, lParam);
      Layout();
      panel.Redraw();
      return r;
    }
    case WM_GETMINMAXINFO: {
      intptr_t r = Default(message, wParam, lParam);
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (info != nullptr) info->ptMinTrackSize = POINT{kNarrowWindowWidth, kMinimumWindowHeight};
      return r;
    }
    case WM_DRAWITEM: {
      // The panel surface paints itself through the panel's own repaint;
      // the buttons get their drawing reflected.
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item != nullptr && item->CtlID == kPanelSurfaceId) return 1;
      return Default(message, wParam, lParam);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MOUSEMOVE:
      RouteMouse(message, wParam, lParam);
      return Default(message, wParam, lParam);
    case WM_MOUSEWHEEL: {
      bool handled = false;
      intptr_t r = RouteWheel(wParam, lParam, handled);
      return handled ? r : Default(message, wParam, lParam);
    }
    case WM_DROPFILES:
      OnDrop(reinterpret_cast<HDROP>(wParam));
      return Default(message, wParam, lParam);
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && OnCommand(LOWORD(wParam))) return 0;
      return DialogWindow::WindowProc(message, wParam, lParam);
    default:
      (void)h;
      return DialogWindow::WindowProc(message, wParam, lParam);
  }
}

// --- Painting and layout ----------------------------------------------------

void CTesmerDlg::OnPaint() {
  HWND h = GetSafeHwnd();
  if (IsIconic(h)) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<uintptr_t>(dc), 0);
    RECT client;
    GetClientRect(h, &client);
    SIZE size{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    int x = (client.right - client.left - size.cx + 1) / 2;
    int y = (client.bottom - client.top - size.cy + 1) / 2;
    if (icon != nullptr) DrawIcon(dc, x, y, icon);
    EndPaint(h, &ps);
  } else {
    Default(WM_PAINT, 0, 0);
  }
  if (layoutPending) {
    Layout();
    layoutPending = false;
  }
  panel.Redraw();
}

void CTesmerDlg::Layout() {
  HWND h = GetSafeHwnd();
  RECT client;
  if (!GetClientRect(h, &client)) return;
  int band = 0;
  if (HWND marker = GetDlgItem(kBandMarkerId)) band = SizeOf(marker).cy;

  int statusTop = client.bottom;
  if (HWND status = GetDlgItem(kStatusLineId)) {
    const int hs = SizeOf(status).cy;
    statusTop = client.bottom - 1 - hs;
    MoveWindow(status, 2, statusTop, client.right - 4, hs, true);
  }
  if (HWND surface = GetDlgItem(kPanelSurfaceId)) {
    MoveWindow(surface, 0, client.top + band, client.right, statusTop - (client.top + band), true);
  }
  HWND toggle = GetDlgItem(kWidthToggleId);
  if (toggle) {
    const SIZE size = SizeOf(toggle);
    MoveWindow(toggle, client.right - 2 - size.cx, client.top + 2, size.cx, size.cy, true);
  }
  wide = client.right - client.left >= kWideWindowWidth;
  if (toggle) SetWindowTextW(toggle, wide ? u"<" : u">");
}

// --- Mouse ------------------------------------------------------------------

bool CTesmerDlg::RouteMouse(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  HWND surface = panel.targetWindow;
  if (!IsWindow(surface)) return false;
  POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ClientToScreen(GetSafeHwnd(), &p);
  RECT r;
  GetWindowRect(surface, &r);
  p.x -= r.left;
  p.y -= r.top;
  if (p.x < 0 || p.y < 0 || p.x >= r.right - r.left || p.y >= r.bottom - r.top) return false;

  // The panel operation of each message, and whether a repaint follows.
  enum Repaint { Always, IfChanged, Never };
  struct Route {
    uint32_t message;
    int (ShowWork::*operation)(uintptr_t, POINT);
    Repaint repaint;
  };
  static const Route kRoutes[] = {
      {WM_LBUTTONDOWN, &ShowWork::LeftDown, Always},
      {WM_MOUSEMOVE, &ShowWork::MouseMove, IfChanged},
      {WM_LBUTTONUP, &ShowWork::LeftUp, Always},
      {WM_LBUTTONDBLCLK, &ShowWork::LeftDoubleClick, Always},
      {WM_RBUTTONDBLCLK, &ShowWork::RightDoubleClick, Never},
      {WM_RBUTTONDOWN, &ShowWork::RightDown, Never},
      {WM_RBUTTONUP, &ShowWork::RightUp, Always},
  };
  for (const Route& route : kRoutes) {
    if (route.message != message) continue;
    int result = (panel.*route.operation)(wParam, p);
    if (route.repaint == Always || (route.repaint == IfChanged && result != 0)) panel.Redraw();
    return true;
  }
  return false;
}

intptr_t CTesmerDlg::RouteWheel(uintptr_t wParam, intptr_t lParam, bool& handled) {
  HWND surface = panel.targetWindow;
  if (!IsWindow(surface)) return 0;
  // The wheel's point is on the screen already; no bounds test: a turn
  // anywhere over the window scrolls the panel.
  RECT r;
  GetWindowRect(surface, &r);
  POINT p{GET_X_LPARAM(lParam) - r.left, GET_Y_LPARAM(lParam) - r.top};
  int result = panel.Wheel(GET_KEYSTATE_WPARAM(wParam), static_cast<int16_t>(GET_WHEEL_DELTA_WPARAM(wParam)), p);
  if (result == 0) return 0;
  panel.Redraw();
  handled = true;
  return result;
}

// --- Drop, commands, closing ------------------------------------------------

void CTesmerDlg::OnDrop(HDROP drop) {
  initialDropPending_ = false;
  HandleDrop(drop, panel.collection, [this](const std::u16string& text) { SetStatus(text); });
  for (int id : kCollectionButtons) ShowWindow(GetDlgItem(id), SW_SHOW);
}

bool CTesmerDlg::OnCommand(int id) {
  switch (id) {
    case kTidyButtonId:
      panel.Redraw();
      return true;
    case kAnonymizeButtonId:
      Anonymize();
      return true;
    case kWidthToggleId:
      ToggleWidth();
      return true;
    case kClearButtonId:
      Clear();
      return true;
    default:
      for (const ColumnToggle& t : kColumnToggles) {
        if (t.id == id) {
          ToggleColumn(id);
          return true;
        }
      }
      return false;
  }
}

void CTesmerDlg::Anonymize() {
  const WindowRun run = AnonymizeForWindow(panel.collection, profile);
  const AnonymizeResult& result = run.result;
  if (result.shownFiles <= 0) return;
  // From now on the views mark what may still identify a person.
  panel.markResiduals = true;
  panel.residualSerial = -1;
  panel.Redraw();
  // Files that could not be written are counted in the completion text
  // rather than reported as done, and the notice names the first of them
  // with their reasons, so that the user can act on them.
  SetStatus(CompletionText(result));
  ShowMessageBox(WindowCompletionNotice(run, profile), kMessageBoxNotice);
}

void CTesmerDlg::ToggleColumn(int id) {
  for (const ColumnToggle& t : kColumnToggles) {
    if (t.id != id) continue;
    ColumnTable[t.column].visible = ColumnTable[t.column].visible != 0 ? 0 : 1;
    LayoutColumns();
    panel.Redraw();
    return;
  }
}

void CTesmerDlg::ToggleWidth() {
  HWND h = GetSafeHwnd();
  const bool wasWide = wide;
  const SIZE size = SizeOf(h);
  const int32_t width = wasWide ? kNarrowWindowWidth : kWideWindowWidth;
  // The widened window (and its "<") stays on the screen: it moves left as
  // far as it must, never past the screen's left edge.
  RECT place;
  GetWindowRect(h, &place);
  const int32_t screenRight = GetSystemMetrics(SM_CXSCREEN);
  int32_t x = place.left;
  if (x + width > screenRight) x = std::max<int32_t>(0, screenRight - width);
  const uint32_t keepPlace = x == place.left ? uint32_t(SWP_NOMOVE) : 0u;
  SetWindowPos(h, HWND{}, x, place.top, width, size.cy, keepPlace | SWP_NOZORDER | SWP_NOACTIVATE);
  // The window's client area is narrower than the window, so the layout
  // alone would leave a widened window "narrow"; the toggle decides.
  wide = !wasWide;
  SetWindowTextW(GetDlgItem(kWidthToggleId), wide ? u"<" : u">");
}

void CTesmerDlg::Clear() {
  if (ShowMessageBox(u"关闭所有打开的文件？", kMessageBoxQuestion) != 1) return;
  // ClearAll stops the loader and waits for its thread before anything is
  // destroyed, so a folder still loading never writes into freed entries.
  panel.ClearAll();
  // What the stopped run posted before it ended is no longer true ("文件加载
  // 完毕" would replace "文件列表已清空"): its messages are dropped.
  RemoveQueuedMessages(GetSafeHwnd(), WM_LOAD_PROGRESS, WM_WORK_REDRAW);
  panel.Redraw();
  for (int id : kCollectionButtons) ShowWindow(GetDlgItem(id), SW_HIDE);
  SetStatus(u"文件列表已清空");
}

void CTesmerDlg::OnClose() {
  if (ShowMessageBox(u"退出Tesmer？", kMessageBoxQuestion) != 1) return;
  panel.StopLoader();
  Default(WM_CLOSE, 0, 0);
}
