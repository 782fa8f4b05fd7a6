// The program's resources: bitmaps, icons and strings registered by number at
// start-up and loaded by number where the platform's resource calls would be.
// Resources live for the process; loading never copies.
#pragma once

#include <string>
#include <string_view>

#include "platform/window/window.h"

namespace plat {

// Registers a resource under `id`, replacing one registered before. The
// bitmap and the icon are owned by the registry from then on.
void RegisterBitmapResource(int id, HBITMAP bitmap);
void RegisterIconResource(int id, HICON icon);
void RegisterStringResource(int id, std::u16string text);

// The registered resource, or null / empty when there is none.
HBITMAP LoadBitmapW(int id);
HICON LoadIconW(int id);
std::u16string LoadStringW(int id);

}  // namespace plat
