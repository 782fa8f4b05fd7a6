#include "platform/core/drop.h"

#include <algorithm>

namespace plat {

HDROP CreateDrop(std::vector<std::u16string> paths) { return new DropFiles{std::move(paths)}; }

uint32_t DragQueryFileW(HDROP drop, uint32_t index, char16_t* buffer, uint32_t size) {
  if (drop == nullptr) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<uint32_t>(drop->paths.size());
  if (index >= drop->paths.size()) return 0;
  const std::u16string& path = drop->paths[index];
  if (buffer == nullptr) return static_cast<uint32_t>(path.size());
  if (size == 0) return 0;
  size_t copied = std::min<size_t>(path.size(), size - 1);
  std::copy_n(path.data(), copied, buffer);
  buffer[copied] = u'\0';
  return static_cast<uint32_t>(copied);
}

void DragFinish(HDROP drop) { delete drop; }

}  // namespace plat
