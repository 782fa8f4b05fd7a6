// The dropped-files object: the paths of one drop, in the order the desktop
// delivered them, read with DragQueryFileW and released with DragFinish.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

struct DropFiles {
  std::vector<std::u16string> paths;
};

using HDROP = DropFiles*;

// A new drop holding `paths`; DragFinish releases it.
HDROP CreateDrop(std::vector<std::u16string> paths);

// With index 0xFFFFFFFF: the number of paths. Otherwise, for path `index`:
// with no buffer, its length in code units (without the terminator); with a
// buffer of `size` code units, copies as much of the path as fits before a
// terminating NUL and returns the number of code units copied. 0 for an index
// out of range or a null drop.
uint32_t DragQueryFileW(HDROP drop, uint32_t index, char16_t* buffer, uint32_t size);

// Releases the drop; the handle is invalid afterwards.
void DragFinish(HDROP drop);

}  // namespace plat
