// The SDL2 backend of the window layer: each top-level window is an SDL
// window showing its back buffer, and SDL's events become window messages
// (through DeliverInput, the one place input turns into messages). With
// SDL's dummy video driver (SDL_VIDEODRIVER=dummy, or the --headless switch)
// the same code runs without a display.
//
// The injection functions are the test interface: they push SDL events into
// SDL's own queue, so injected input travels exactly the path real input
// takes. Pump them with PumpPendingMessages (or any message loop).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace plat {

// Whether the command line (--headless) or the environment
// (SDL_VIDEODRIVER=dummy) asks for a run without a display.
bool HeadlessRequested(int argc, char** argv);

// Starts SDL's video and installs the backend; `headless` selects the dummy
// driver. False (with the reason on stderr) when SDL cannot start.
bool StartSdlPlatform(bool headless);
// Destroys every window, removes the backend and shuts SDL down.
void StopSdlPlatform();
bool SdlPlatformHeadless();

// --- Test interface ---------------------------------------------------------
// Points are in the client coordinates of `window`, which may be any window;
// the event is addressed to its top-level window.
void InjectMouseMove(HWND window, POINT client, uint32_t heldButtons = 0);
void InjectMouseButton(HWND window, POINT client, int button, bool down);  // 0 left, 1 right, 2 middle
void InjectClick(HWND window, POINT client, int button = 0);              // press and release
void InjectWheel(HWND window, POINT client, int notches);                  // > 0: away from the user
void InjectPointerLeave(HWND window);
// A key of the active window; `modifiers` takes MK_SHIFT and MK_CONTROL.
void InjectKey(uint32_t virtualKey, bool down, uintptr_t modifiers = 0, bool alt = false);
void InjectKeyPress(uint32_t virtualKey, uintptr_t modifiers = 0, bool alt = false);  // down and up
void InjectText(std::u16string_view text);
// A drop of `paths` onto the top-level window of `window`, as the desktop
// delivers it: begin, one event per path, complete.
void InjectDrop(HWND window, const std::vector<std::u16string>& paths);
void InjectClose(HWND window);
void InjectResize(HWND window, SIZE clientSize);
// Sends an X request about a window that no longer exists, as a late
// wake-up or a stale event does, and waits for the server's answer (an X
// error). False when the display is not X11.
bool InjectStaleWindowRequest();

}  // namespace plat
