// File access of the platform layer. Paths are UTF-16 (see text.h for how they
// map to the file system's bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// The longest path, in bytes of its file-system form including the
// terminator, and the longest single name that this platform can hold.
size_t MaxPathBytes();
size_t MaxNameBytes();

// A file opened for reading. Only regular files open: a FIFO, a device or a
// directory named like a file is refused without blocking, so that a drop can
// never hang the program on something that is not a file.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens the file; false when the path is too long, does not exist, is not a
  // regular file or cannot be read.
  [[nodiscard]] bool Open(const std::u16string& path);
  // The size in bytes at the time of opening.
  uint64_t Size() const { return size_; }
  // Reads exactly `count` bytes from the start of the file; false on any read
  // error or when the file turned out shorter.
  [[nodiscard]] bool ReadAll(void* into, size_t count);
  void Close();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace plat
