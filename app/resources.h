// The program's resources: the dialog templates of the main window (102) and
// the about box (100), the about item's text (string 101) and the application
// icon (icon 128), drawn in code. The message box keeps its own template
// (129) and title band (bitmap 130) beside its class in controls/.
#pragma once

#include "platform/window/dialog.h"

constexpr int kAboutTemplate = 100;
constexpr int kAboutItemString = 101;
constexpr int kMainTemplate = 102;
constexpr int kAppIcon = 128;

// Control ids of the main window.
enum : int {
  kPanelSurfaceId = 1000,
  kBandMarkerId = 1001,
  kLoadButtonId = 1002,
  kStatusLineId = 1003,
  kTidyButtonId = 1004,
  kAnonymizeButtonId = 1005,
  kValueColumnButtonId = 1006,
  kVrColumnButtonId = 1007,
  kLengthColumnButtonId = 1008,
  kPositionColumnButtonId = 1009,
  kDescriptionColumnButtonId = 1010,
  kTagValueColumnButtonId = 1011,
  kNameColumnButtonId = 1012,
  kWidthToggleId = 1013,
  kClearButtonId = 1014,
  kNoticeId = 1015,
};

// The about box's button that opens the vendor's site.
constexpr int kAboutSiteButtonId = 1010;

// The fixed notice of the main window.
inline constexpr char16_t kNoticeText[] = u"本工具仅供科研和教学使用，不可用于临床诊断；脱敏结果须人工复核。";

plat::DialogTemplate MainWindowTemplate();
plat::DialogTemplate AboutBoxTemplate();

// Registers string 101 and icon 128 (again harmless).
void RegisterAppResources();
