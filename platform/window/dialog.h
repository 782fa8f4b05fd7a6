// Dialogs from templates in dialog units, modal runs with a nested loop, the
// dialog's keyboard handling (Tab, Enter, Esc), and a small class for dialogs
// written as C++ objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace plat {

// One control of a template. Positions and sizes are in dialog units: x and
// widths in quarters of the font's average character width, y and heights in
// eighths of its height.
struct DialogItem {
  std::u16string className;  // WC_BUTTON, WC_STATIC, TOOLTIPS_CLASS or a registered class
  int id = -1;               // -1 for controls nobody addresses
  std::u16string text;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  uint32_t style = WS_VISIBLE;  // WS_CHILD is implied
  uint32_t exStyle = 0;
  int imageResource = 0;  // SS_BITMAP: bitmap resource, SS_ICON: icon resource
};

struct DialogTemplate {
  std::u16string caption;
  int cx = 0;  // client size in dialog units
  int cy = 0;
  std::u16string fontFace = u"MS Shell Dlg";
  int pointSize = 8;
  int weight = 400;
  uint32_t style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  uint32_t exStyle = 0;
  int x = 0;  // dialog units, used unless the dialog is centred
  int y = 0;
  std::vector<DialogItem> items;
};

// Items as the resource language writes them.
DialogItem LText(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style = WS_VISIBLE);
DialogItem CText(std::u16string text, int id, int x, int y, int cx, int cy, uint32_t style = WS_VISIBLE);
DialogItem PushButton(std::u16string text, int id, int x, int y, int cx, int cy,
                      uint32_t style = WS_VISIBLE | WS_TABSTOP);
DialogItem DefPushButton(std::u16string text, int id, int x, int y, int cx, int cy,
                         uint32_t style = WS_VISIBLE | WS_TABSTOP);
DialogItem Control(std::u16string text, int id, std::u16string className, uint32_t style, int x, int y, int cx,
                   int cy, uint32_t exStyle = 0);

// The dialog base units of a font: average character width and height in
// pixels.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};
DialogBaseUnits GetDialogBaseUnits(std::u16string_view face, int pointSize, int weight);
// The base units of a dialog window.
DialogBaseUnits GetDialogBaseUnitsOf(HWND dialog);
// Converts a rectangle from the dialog's units to pixels.
bool MapDialogRect(HWND dialog, RECT* rect);

// Creates a dialog from a template, hidden unless its style has WS_VISIBLE:
// the window, its font, its controls in template order, then WM_INITDIALOG
// (wParam: the first tab stop, lParam: `initParam`); when the procedure
// answers non-zero, the focus goes to the first visible, enabled tab stop.
// The procedure passes what it does not handle to DefDlgProcW.
HWND CreateDialogIndirectParamW(const DialogTemplate& dialogTemplate, HWND owner, WindowProc proc,
                                intptr_t initParam);

// Runs a dialog modally: the owner (or, when null, the main window) is
// disabled, the dialog is created, centred over the owner (over the screen
// without one) and shown, and a nested loop runs until EndDialog; the dialog
// is destroyed, the owner enabled again and the code returned. -1 when the
// dialog could not be created.
intptr_t DialogBoxIndirectParamW(const DialogTemplate& dialogTemplate, HWND owner, WindowProc proc,
                                 intptr_t initParam);

// Ends a modal run with `code` once the current message has been handled.
bool EndDialog(HWND dialog, intptr_t code);

// The default handling of a dialog: the face from WM_CTLCOLORDLG, IDOK and
// IDCANCEL commands end the run with 1 and 2, WM_CLOSE acts as IDCANCEL, the
// default button (DM_GETDEFID, DM_SETDEFID), the focus kept across activation.
intptr_t DefDlgProcW(HWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The dialog's keyboard handling for a message from the queue: Tab and
// Shift+Tab move the focus between tab stops, Enter presses the focused push
// button or else the default one, Esc sends IDCANCEL. True when the message
// was used up.
bool IsDialogMessageW(HWND dialog, MSG* msg);

// The next (or previous) visible, enabled tab stop after `control`.
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);

// A dialog written as a C++ object: override the virtual operations. The
// object must outlive its window (the destructor destroys the window if it is
// still there).
class DialogWindow {
 public:
  explicit DialogWindow(const DialogTemplate& dialogTemplate, HWND parent = {});
  virtual ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Runs the dialog modally and returns the code of the command that ended it.
  intptr_t DoModal();
  // Creates the dialog without running it (shown when the template says so).
  bool Create();
  void EndDialog(intptr_t code);

  HWND GetSafeHwnd() const { return hwnd_; }
  HWND GetDlgItem(int id) const { return plat::GetDlgItem(hwnd_, id); }
  const DialogTemplate& Template() const { return template_; }

 protected:
  // WM_INITDIALOG; true lets the platform set the default focus.
  virtual bool OnInitDialog() { return true; }
  // Every message of the dialog; the default routes WM_INITDIALOG to
  // OnInitDialog, IDOK to OnOK, IDCANCEL to OnCancel and the rest to Default.
  virtual intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Messages the loop takes from the queue for the dialog or its controls,
  // before dispatch; true swallows. The default does nothing.
  virtual bool PreTranslateMessage(MSG& /*msg*/) { return false; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The dialog's default handling of the message being processed.
  intptr_t Default(uint32_t message, uintptr_t wParam, intptr_t lParam);

 private:
  ::plat::WindowProc MakeProc();

  DialogTemplate template_;
  HWND parent_;
  HWND hwnd_;
};

}  // namespace plat
