#include "platform/core/internal/file_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/core/text.h"

namespace plat_internal {

std::string UsableNativePath(const std::u16string& path) {
  std::string native = plat::PathToNative(path);
  if (native.size() >= plat::MaxPathBytes() || native.find('\0') != std::string::npos) return std::string();
  return native;
}

plat::FileStamp StampFromStat(const struct stat& st) {
  plat::FileStamp stamp;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.changedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return stamp;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

using plat::WriteResult;

// Copies `length` bytes of `from` at `offset` to the position of `to`: inside
// the kernel where the file systems allow it, through a buffer otherwise.
WriteResult CopyBytes(int from, uint64_t offset, uint64_t length, int to) {
  auto position = static_cast<off_t>(offset);
  uint64_t left = length;
  bool inKernel = true;
  std::vector<uint8_t> buffer;
  while (left > 0) {
    const size_t chunk = left < (size_t{1} << 30) ? static_cast<size_t>(left) : size_t{1} << 30;
    if (inKernel) {
      ssize_t n = ::copy_file_range(from, &position, to, nullptr, chunk, 0);
      if (n > 0) {
        left -= static_cast<uint64_t>(n);
        continue;
      }
      if (n == 0) return WriteResult::SourceChanged;  // the source ends before the range
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return WriteResult::Failed;
      inKernel = false;
      buffer.resize(size_t{1} << 20);
    }
    ssize_t got = ::pread(from, buffer.data(), chunk < buffer.size() ? chunk : buffer.size(), position);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return WriteResult::Failed;
    if (got == 0) return WriteResult::SourceChanged;
    if (!WriteAll(to, buffer.data(), static_cast<size_t>(got))) return WriteResult::Failed;
    position += got;
    left -= static_cast<uint64_t>(got);
  }
  return WriteResult::Written;
}

}  // namespace

WriteResult AppendRange(int to, const plat::SourceRange& range) {
  const std::string native = UsableNativePath(range.path);
  if (native.empty()) return WriteResult::SourceChanged;
  const int from = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (from < 0) return WriteResult::SourceChanged;
  // The bytes are the ones the stamp stands for only if the file had the
  // stamp all along: before the copy and still after it.
  auto unchanged = [&] {
    struct stat st;
    return ::fstat(from, &st) == 0 && S_ISREG(st.st_mode) && StampFromStat(st) == range.stamp;
  };
  WriteResult result = WriteResult::SourceChanged;
  if (unchanged() && range.offset <= range.stamp.size && range.length <= range.stamp.size - range.offset) {
    result = CopyBytes(from, range.offset, range.length, to);
    if (result == WriteResult::Written && !unchanged()) result = WriteResult::SourceChanged;
  }
  ::close(from);
  return result;
}

}  // namespace plat_internal
