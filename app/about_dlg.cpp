#include "app/about_dlg.h"

#include "app/resources.h"

using namespace plat;

namespace {

// The vendor's site as the button shows it.
constexpr char16_t kVendorSite[] = u"https://www.example.com/";

}  // namespace

CAboutDlg::CAboutDlg() : DialogWindow(AboutBoxTemplate()) {}

intptr_t CAboutDlg::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kAboutSiteButtonId) {
    // The box stays open.
    ShellExecuteW(HWND{}, u"open", kVendorSite, u"", u"", SW_SHOWNORMAL);
    return 0;
  }
  return DialogWindow::WindowProc(message, wParam, lParam);
}
