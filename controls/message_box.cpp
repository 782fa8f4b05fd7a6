#include "controls/message_box.h"

#include <vector>

#include "platform/window/resources.h"

using namespace plat;

namespace {

constexpr int kBandWidth = 392;
constexpr int kBandHeight = 37;

constexpr COLORREF kBoxFace = RGB(36, 36, 36);
constexpr COLORREF kBoxTextBackground = RGB(26, 28, 32);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kMessageGrey = RGB(177, 177, 177);

// The band's artwork: a vertical gradient from the window face towards the
// panel's near-black, a teal rule along its bottom edge, a small teal mark
// and the product name on the left. Its right end fades into the box's face,
// so a box wider than the band (fonts with wider dialog units) shows no edge.
constexpr COLORREF kBandTop = RGB(44, 48, 56);
constexpr COLORREF kBandBottom = RGB(22, 24, 28);
constexpr COLORREF kBandRule = RGB(3, 123, 131);
constexpr COLORREF kBandMark = RGB(4, 210, 223);
constexpr COLORREF kBandTitle = RGB(148, 152, 160);

constexpr int kBandFade = 120;  // pixels over which the right end fades

uint8_t Blend(uint8_t a, uint8_t b, int step, int steps) { return uint8_t(a + (int(b) - int(a)) * step / steps); }

COLORREF BlendColor(COLORREF a, COLORREF b, int step, int steps) {
  return RGB(Blend(GetRValue(a), GetRValue(b), step, steps), Blend(GetGValue(a), GetGValue(b), step, steps),
             Blend(GetBValue(a), GetBValue(b), step, steps));
}

HBITMAP DrawBand() {
  // 24 bits of colour per pixel, held in the drawing layer's 32-bit rows
  // (B, G, R and an unused byte).
  std::vector<uint8_t> bits(size_t(kBandWidth) * kBandHeight * 4, 0);
  for (int y = 0; y < kBandHeight; ++y) {
    const COLORREF row =
        y == kBandHeight - 1 ? kBandRule : BlendColor(kBandTop, kBandBottom, y, kBandHeight - 2);
    for (int x = 0; x < kBandWidth; ++x) {
      const int fade = x - (kBandWidth - kBandFade);
      const COLORREF c = fade > 0 ? BlendColor(row, kBoxFace, fade, kBandFade) : row;
      uint8_t* p = &bits[(size_t(y) * kBandWidth + size_t(x)) * 4];
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
    }
  }
  HBITMAP bitmap = CreateBitmap(kBandWidth, kBandHeight, 1, 32, bits.data());
  if (bitmap == nullptr) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return bitmap;
  HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
  HBRUSH mark = CreateSolidBrush(kBandMark);
  FillRect(dc, RECT{12, 12, 16, 24}, mark);
  DeleteObject(mark);
  LOGFONTW lf;
  lf.lfHeight = -13;
  lf.lfWeight = FW_BOLD;
  const char16_t face[] = u"MS Shell Dlg";
  for (size_t i = 0; i < sizeof(face) / sizeof(face[0]); ++i) lf.lfFaceName[i] = face[i];
  HFONT font = CreateFontIndirectW(lf);
  HGDIOBJ previousFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kBandTitle);
  RECT title{24, 0, kBandWidth, kBandHeight - 1};
  DrawTextW(dc, u"Quoril Tesmer", title, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (previousFont != nullptr) SelectObject(dc, previousFont);
  DeleteObject(font);
  SelectObject(dc, previousBitmap);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

HBITMAP MessageBoxBandBitmap() {
  HBITMAP band = LoadBitmapW(kMessageBoxBandBitmap);
  if (band == nullptr) {
    band = DrawBand();
    if (band != nullptr) RegisterBitmapResource(kMessageBoxBandBitmap, band);
  }
  return band;
}

DialogTemplate MessageBoxTemplate() {
  DialogTemplate t;
  t.caption = u"";
  t.cx = 261;
  t.cy = 132;
  t.fontFace = u"MS Shell Dlg";
  t.pointSize = 8;
  t.weight = FW_NORMAL;
  // No title bar: a thin border and a system menu.
  t.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
  DialogItem band = Control(u"", -1, std::u16string(WC_STATIC), WS_VISIBLE | SS_BITMAP, 0, 0, 261, 23);
  band.imageResource = kMessageBoxBandBitmap;
  t.items = {
      band,
      CText(u"信息提示", kMessageBoxTextId, 45, 54, 171, 8),
      PushButton(u"确定", IDOK, 105, 90, 50, 14),
      PushButton(u"是", IDYES, 60, 86, 50, 14),
      PushButton(u"否", IDNO, 150, 86, 50, 14),
  };
  return t;
}

CvxMessageBox::CvxMessageBox(HWND parent) : DialogWindow((MessageBoxBandBitmap(), MessageBoxTemplate()), parent) {}

CvxMessageBox::~CvxMessageBox() {
  // The window goes before the buttons that subclass it.
  if (IsWindow(GetSafeHwnd())) DestroyWindow(GetSafeHwnd());
  if (faceBrush != nullptr) DeleteObject(faceBrush);
  if (buttonBrush != nullptr) DeleteObject(buttonBrush);
}

bool CvxMessageBox::OnInitDialog() {
  HWND box = GetSafeHwnd();
  yesButton.SubclassDlgItem(IDYES, box);
  noButton.SubclassDlgItem(IDNO, box);
  okButton.SubclassDlgItem(IDOK, box);
  faceBrush = CreateSolidBrush(kBoxFace);
  buttonBrush = CreateSolidBrush(kBoxFace);
  SetDlgItemTextW(box, kMessageBoxTextId, message);
  GrowToMessage();
  const bool notice = mode == kMessageBoxNotice;
  ShowWindow(GetDlgItem(IDOK), notice ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(IDYES), notice ? SW_HIDE : SW_SHOW);
  ShowWindow(GetDlgItem(IDNO), notice ? SW_HIDE : SW_SHOW);
  return true;
}

void CvxMessageBox::GrowToMessage() {
  if (message.find(u'\n') == std::u16string::npos) return;
  HWND box = GetSafeHwnd();
  HWND text = GetDlgItem(kMessageBoxTextId);
  RECT textRect;
  if (!GetWindowRect(text, &textRect)) return;
  // The height the lines need at the control's width, in its own font.
  RECT needed{0, 0, textRect.right - textRect.left, 0};
  HDC dc = GetDC(text);
  if (dc == nullptr) return;
  HGDIOBJ previous = SelectObject(dc, GetWindowFont(text));
  DrawTextW(dc, message, needed, DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
  if (previous != nullptr) SelectObject(dc, previous);
  ReleaseDC(text, dc);
  const int extra = (needed.bottom - needed.top) - (textRect.bottom - textRect.top);
  if (extra <= 0) return;
  // The text grows downwards; the buttons and the bottom of the box follow.
  POINT origin{textRect.left, textRect.top};
  ScreenToClient(box, &origin);
  MoveWindow(text, origin.x, origin.y, textRect.right - textRect.left, needed.bottom - needed.top, false);
  for (int id : {IDOK, IDYES, IDNO}) {
    HWND button = GetDlgItem(id);
    RECT r;
    if (!GetWindowRect(button, &r)) continue;
    POINT p{r.left, r.top};
    ScreenToClient(box, &p);
    MoveWindow(button, p.x, p.y + extra, r.right - r.left, r.bottom - r.top, false);
  }
  RECT boxRect;
  if (GetWindowRect(box, &boxRect))
    SetWindowPos(box, HWND{}, 0, 0, boxRect.right - boxRect.left, boxRect.bottom - boxRect.top + extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

intptr_t CvxMessageBox::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  struct Colours {
    uint32_t message;
    COLORREF text;
    COLORREF background;
    bool buttonBrush;
  };
  static constexpr Colours kColours[] = {
      {WM_CTLCOLORDLG, kWhite, kBoxTextBackground, false},
      {WM_CTLCOLORBTN, kWhite, kBoxFace, true},
      {WM_CTLCOLORSTATIC, kMessageGrey, kBoxFace, false},
      {WM_CTLCOLOREDIT, kMessageGrey, kBoxTextBackground, false},
  };
  for (const Colours& c : kColours) {
    if (c.message != msg) continue;
    intptr_t r = Default(msg, wParam, lParam);
    HBRUSH brush = c.buttonBrush ? buttonBrush : faceBrush;
    if (brush == nullptr) return r;
    auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, c.text);
    SetBkColor(dc, c.background);
    return reinterpret_cast<intptr_t>(brush);
  }
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDYES) {
        EndDialog(1);
        return 0;
      }
      if (LOWORD(wParam) == IDNO) {
        EndDialog(2);
        return 0;
      }
      return DialogWindow::WindowProc(msg, wParam, lParam);
    case WM_NCDESTROY: {
      intptr_t r = DialogWindow::WindowProc(msg, wParam, lParam);
      if (faceBrush != nullptr) DeleteObject(faceBrush);
      if (buttonBrush != nullptr) DeleteObject(buttonBrush);
      faceBrush = nullptr;
      buttonBrush = nullptr;
      return r;
    }
    default:
      return DialogWindow::WindowProc(msg, wParam, lParam);
  }
}

intptr_t ShowMessageBox(const std::u16string& text, int32_t mode, HWND parent) {
  CvxMessageBox box(parent);
  box.message = text;
  box.mode = mode;
  return box.DoModal();
}
