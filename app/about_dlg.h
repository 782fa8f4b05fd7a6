// CAboutDlg: the about box, reached through the main window's system menu.
#pragma once

#include "platform/window/dialog.h"

class CAboutDlg : public plat::DialogWindow {
 public:
  CAboutDlg();

 protected:
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};
