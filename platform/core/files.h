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

// What tells whether a file's content may have changed without reading it:
// which file a path names, its size, when it was last written and when its
// record last changed. The last one no program can set back, so a rewrite
// that restores the modification time still shows.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of what `path` names now (symbolic links followed); false when
// there is nothing there or the path is refused.
[[nodiscard]] bool StampOf(const std::u16string& path, FileStamp& out);

// `length` bytes of the file at `path` from `offset` on, as the file was
// when it had `stamp`: a copy from it counts only if the file still has that
// stamp once the bytes are copied.
struct SourceRange {
  std::u16string path;
  uint64_t offset = 0;
  uint64_t length = 0;
  FileStamp stamp;
};

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
  // The file's stamp at the time of opening.
  const FileStamp& Stamp() const { return stamp_; }
  // Reads exactly `count` bytes from the start of the file; false on any read
  // error or when the file turned out shorter.
  [[nodiscard]] bool ReadAll(void* into, size_t count);
  // Maps the first `count` bytes of the file (at most its size) read-only
  // into memory that reads the file's pages in the page cache, without
  // copying them. The view follows the file on the disk: a change made by
  // another program shows, and a page that cannot be read (past the end of a
  // file that shrank, or failed by the device) reads as zeros from there on
  // and marks the view (ViewFaulted). nullptr when the file cannot be mapped;
  // the caller then reads it. End the view with ReleaseView, closing the
  // file does not.
  [[nodiscard]] uint8_t* MapView(size_t count);
  void Close();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  FileStamp stamp_;
};

// Ends a view from InputFile::MapView; `count` is the count it was given.
void ReleaseView(void* view, size_t count);
// Whether a page of a live view from InputFile::MapView could not be read
// and reads as zeros instead of the file's bytes.
bool ViewFaulted(const void* view);
// Makes the bytes [first, end) of a view of `count` bytes (widened to whole
// pages) a private copy in memory, in place: from then on they keep what
// they hold now whatever happens to the file, while the rest of the view
// still reads the file's pages. False when memory for the copy cannot be
// had (a part of the range may then be held, the rest still reads the file).
bool HoldViewRange(uint8_t* view, size_t count, size_t first, size_t end);

}  // namespace plat
