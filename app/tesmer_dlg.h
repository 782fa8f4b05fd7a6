// CTesmerDlg: the one main window. A band of command buttons along the top,
// the work panel's surface in the middle and a status line along the bottom.
// It takes drops of files and folders, forwards the mouse over the panel
// surface to the work panel, shows the loader's progress and the selected
// file in the status line, and runs the batch commands (de-identify all
// loaded files, clear the collection) and the column and width toggles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "anonymize/confidentiality.h"
#include "controls/flat_button.h"
#include "platform/window/dialog.h"
#include "views/show_work.h"

// The window width of the wide state, and of the narrow state it returns to.
constexpr int kWideWindowWidth = 1756;
constexpr int kNarrowWindowWidth = 1024;
constexpr int kMinimumWindowHeight = 768;

class CTesmerDlg : public plat::DialogWindow {
 public:
  static constexpr int kButtonCount = 12;
  // The template's buttons in the order they are bound.
  static constexpr int kButtonIds[kButtonCount] = {1002, 1004, 1005, 1006, 1009, 1012,
                                                   1007, 1008, 1011, 1010, 1013, 1014};

  ShowWork panel;
  plat::HBRUSH backgroundBrush = nullptr;
  plat::HBRUSH buttonBrush = nullptr;
  CFlatButton buttons[kButtonCount];
  bool layoutPending = true;
  bool wide = false;
  // Subfolders holding files that the folder run ending now left out
  // (WM_LOAD_SKIPPED), said in the status line at its end.
  int32_t skippedSubfolders = 0;
  // The de-identification profile chosen in the system menu, for the process.
  ProfileChoice profile = ProfileChoice::Fixed;
  plat::HICON icon = nullptr;
  // Paths to load as if dropped once the window is up (the command line's).
  std::vector<std::u16string> initialPaths;

  CTesmerDlg();
  ~CTesmerDlg() override;

  // Runs the layout of the client area (status line, panel surface, width
  // toggle) and sets the wide flag by the client width.
  void Layout();
  void SetStatus(const std::u16string& text);
  // Whether the drop of the initial paths has been handled and no folder is
  // loading any more.
  bool LoadingSettled() const;

 protected:
  bool OnInitDialog() override;
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  bool PreTranslateMessage(plat::MSG& msg) override;
  void OnOK() override {}

 private:
  void OnPaint();
  bool OnCommand(int id);
  void OnDrop(plat::HDROP drop);
  void OnClose();
  void Anonymize();
  void ToggleColumn(int id);
  void ToggleWidth();
  void Clear();
  bool RouteMouse(uint32_t message, uintptr_t wParam, intptr_t lParam);
  intptr_t RouteWheel(uintptr_t wParam, intptr_t lParam, bool& handled);

  bool initialDropPending_ = false;
};
