// CvxMessageBox: the system's own modal message box in the dark look: a
// picture band instead of a title bar, one line of centred text and either a
// "是"/"否" pair (question) or a single "确定" (notice), all CFlatButtons.
// A run returns 1 for "是" or "确定" and 2 for "否", for Esc and for closing
// the box through its system menu. One object serves one run.
#pragma once

#include <cstdint>
#include <string>

#include "controls/flat_button.h"
#include "platform/window/dialog.h"

// Resource numbers of the box.
constexpr int kMessageBoxTemplate = 129;
constexpr int kMessageBoxBandBitmap = 130;
// The control that shows the message.
constexpr int kMessageBoxTextId = 1014;

enum : int32_t { kMessageBoxQuestion = 0, kMessageBoxNotice = 1 };

// The box's template (dialog units, "MS Shell Dlg" 8 point).
plat::DialogTemplate MessageBoxTemplate();
// The title band: 392 x 37 pixels of 24-bit colour, a dark band drawn in
// code. Registered as bitmap resource 130 on first use.
plat::HBITMAP MessageBoxBandBitmap();

class CvxMessageBox : public plat::DialogWindow {
 public:
  std::u16string message;
  int32_t mode = kMessageBoxQuestion;
  plat::HBRUSH faceBrush = nullptr;
  plat::HBRUSH buttonBrush = nullptr;
  CFlatButton yesButton;  // id 6 "是"
  CFlatButton noButton;   // id 7 "否"
  CFlatButton okButton;   // id 1 "确定"

  // Without a parent the application's main window owns the box while it
  // runs.
  explicit CvxMessageBox(plat::HWND parent = {});
  ~CvxMessageBox() override;

 protected:
  bool OnInitDialog() override;
  // A message of several lines (the completion notice that names failed
  // files) makes the text control and the box taller, the buttons lower.
  void GrowToMessage();
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};

// Runs a box with `text` in the given mode and returns its result code.
intptr_t ShowMessageBox(const std::u16string& text, int32_t mode, plat::HWND parent = {});
