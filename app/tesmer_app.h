// CTesmerApp: the application object. Its initialisation is the whole
// windowed program: it registers the controls, names the settings key,
// runs the main window modally and returns when the window has closed.
#pragma once

#include <string>
#include <vector>

class CTesmerApp {
 public:
  // The per-user settings root's name; nothing of the system's own is kept
  // there.
  std::u16string registryKey;
  // Paths to load as if dropped onto the window when it opens.
  std::vector<std::u16string> initialPaths;

  // Runs the main window; returns when it has closed.
  bool InitInstance();
};

// The windowed program: `tesmer [--headless] [--screenshot FILE.png] [PATH…]`.
// Returns the process exit status.
int RunWindowProgram(int argc, char** argv);
