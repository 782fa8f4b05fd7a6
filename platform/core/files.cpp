#include "platform/core/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/internal/file_access.h"
#include "platform/core/internal/view_guard.h"
#include "platform/core/text.h"

namespace plat {

size_t MaxPathBytes() { return PATH_MAX; }
size_t MaxNameBytes() { return NAME_MAX; }

using plat_internal::StampFromStat;
using plat_internal::UsableNativePath;

bool StampOf(const std::u16string& path, FileStamp& out) {
  std::string native = UsableNativePath(path);
  struct stat st;
  if (native.empty() || ::stat(native.c_str(), &st) != 0) return false;
  out = StampFromStat(st);
  return true;
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::u16string& path) {
  Close();
  std::string native = UsableNativePath(path);
  if (native.empty()) return false;
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the type
  // check below then refuses it.
  int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  stamp_ = StampFromStat(st);
  return true;
}

bool InputFile::ReadAll(void* into, size_t count) {
  if (fd_ < 0) return false;
  auto* out = static_cast<char*>(into);
  size_t done = 0;
  while (done < count) {
    ssize_t r = ::pread(fd_, out + done, count - done, static_cast<off_t>(done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;  // the file shrank after it was measured
    done += static_cast<size_t>(r);
  }
  return true;
}

uint8_t* InputFile::MapView(size_t count) {
  if (fd_ < 0 || count == 0 || count > size_) return nullptr;
  void* view = ::mmap(nullptr, count, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (view == MAP_FAILED) return nullptr;
  if (!plat_internal::GuardView(view, count)) {
    ::munmap(view, count);
    return nullptr;
  }
  return static_cast<uint8_t*>(view);
}

void ReleaseView(void* view, size_t count) {
  if (view == nullptr) return;
  plat_internal::UnguardView(view);
  ::munmap(view, count);
}

bool ViewFaulted(const void* view) { return plat_internal::ViewFaulted(view); }

bool HoldViewRange(uint8_t* view, size_t count, size_t first, size_t end) {
  if (view == nullptr || end > count) end = count;
  if (view == nullptr || first >= end) return view != nullptr;
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  const size_t page = pageSize > 0 ? static_cast<size_t>(pageSize) : 4096;
  const size_t to = (end + page - 1) / page * page;  // the view's last page is whole in memory
  // Piece by piece, so that the file's pages a piece was copied from leave
  // the process before the next piece is read: holding a whole large file
  // then needs its size in memory, not twice that.
  constexpr size_t kPiece = size_t{16} << 20;
  for (size_t from = first / page * page; from < to;) {
    const size_t bytes = to - from < kPiece ? to - from : kPiece;
    void* copy = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (copy == MAP_FAILED) return false;
    // A page that cannot be read here reads as zeros and marks the view, as
    // any other read of it would.
    std::memcpy(copy, view + from, bytes);
    // The copy takes the place of the file's pages in one step, so no reader
    // ever finds the range unmapped.
    if (::mprotect(copy, bytes, PROT_READ) != 0 ||
        ::mremap(copy, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, view + from) == MAP_FAILED) {
      ::munmap(copy, bytes);
      return false;
    }
    from += bytes;
  }
  return true;
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  stamp_ = FileStamp();
}

}  // namespace plat
