#include "platform/core/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/internal/file_access.h"
#include "platform/core/text.h"

namespace plat {
namespace {

bool NativeFits(const std::string& native) {
  if (native.empty() || native.size() >= MaxPathBytes()) return false;
  if (native.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= native.size()) {
    size_t slash = native.find('/', start);
    size_t end = slash == std::string::npos ? native.size() : slash;
    if (end - start > MaxNameBytes()) return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

// The file-system form of a usable path, or "" when the path is refused.
std::string NativeOf(const std::u16string& path) {
  std::string native = PathToNative(path);
  return NativeFits(native) ? native : std::string();
}

std::atomic<uint32_t> temporaryCounter{0};

}  // namespace

bool PathFits(const std::u16string& path) { return !NativeOf(path).empty(); }

uint32_t GetFileAttributesW(const std::u16string& path) {
  std::string native = NativeOf(path);
  if (native.empty()) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (::access(native.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool ListDirectory(const std::u16string& path, std::vector<DirectoryEntry>& out) {
  std::string native = NativeOf(path);
  if (native.empty()) return false;
  int dirFd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return false;
  }
  std::vector<DirectoryEntry> found;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // The type needs a look at the entry itself (links are followed, as a
      // link to a folder behaves as a folder everywhere else).
      struct stat st;
      directory = ::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    found.push_back({PathFromNative(name), directory});
  }
  ::closedir(dir);
  out.insert(out.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
  return true;
}

bool CreateDirectoryW(const std::u16string& path) {
  std::string native = NativeOf(path);
  if (native.empty()) return false;
  return ::mkdir(native.c_str(), 0777) == 0;
}

namespace {

// What a whole file is made of: bytes in memory, then perhaps a range of
// another file.
struct Content {
  const uint8_t* bytes = nullptr;
  size_t count = 0;
  const SourceRange* tail = nullptr;
  bool sync = false;
};

// Writes the content to an open file and, with `sync`, flushes it to the disk.
WriteResult FillFile(int fd, const Content& content) {
  if (!plat_internal::WriteAll(fd, content.bytes, content.count)) return WriteResult::Failed;
  if (content.tail != nullptr) {
    WriteResult copied = plat_internal::AppendRange(fd, *content.tail);
    if (copied != WriteResult::Written) return copied;
  }
  if (content.sync && ::fsync(fd) != 0) return WriteResult::Failed;
  return WriteResult::Written;
}

// A name of the fixed form ".tesmer-PID-N.tmp" in `folder`, short so that it
// fits wherever the target's name fits; "" when even that is too long.
std::string TemporaryName(const std::string& folder) {
  char name[64];
  std::snprintf(name, sizeof name, ".tesmer-%ld-%u.tmp", static_cast<long>(::getpid()),
                temporaryCounter.fetch_add(1, std::memory_order_relaxed));
  std::string temporary = folder + name;
  return temporary.size() < MaxPathBytes() ? temporary : std::string();
}

// Gives the unnamed file `fd` the name `path`; fails with EEXIST when the
// name is taken. Linking through /proc needs no privilege, linking the
// descriptor itself needs CAP_DAC_READ_SEARCH; either may be missing.
bool LinkUnnamed(int fd, const std::string& path) {
  char procPath[64];
  std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, procPath, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) return false;
  return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

// Gives the whole unnamed file `fd` a name: the target when that name is
// free, otherwise a fresh temporary name in the folder, to be renamed over
// the target (which never follows a symbolic link there and fails for a
// directory). Returns the name given; "" when none could be, with errno
// telling why.
std::string LinkWhole(int fd, const std::string& folder, const std::string& target) {
  if (LinkUnnamed(fd, target)) return target;
  if (errno != EEXIST) return std::string();
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string temporary = TemporaryName(folder);
    if (temporary.empty()) {
      errno = ENAMETOOLONG;
      return std::string();
    }
    if (LinkUnnamed(fd, temporary)) return temporary;
    if (errno != EEXIST) return std::string();
  }
  return std::string();
}

// The same through a named temporary file, for file systems without unnamed
// files: created exclusively, filled, closed, then renamed over the target.
WriteResult WriteThroughNamedTemporary(const std::string& folder, const std::string& target, const Content& content) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder);
    if (temporary.empty()) return WriteResult::Failed;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return WriteResult::Failed;
  }
  if (fd < 0) return WriteResult::Failed;
  WriteResult result = FillFile(fd, content);
  if (::close(fd) != 0 && result == WriteResult::Written) result = WriteResult::Failed;
  if (result == WriteResult::Written && ::rename(temporary.c_str(), target.c_str()) != 0) result = WriteResult::Failed;
  if (result != WriteResult::Written) ::unlink(temporary.c_str());
  return result;
}

WriteResult WriteWhole(const std::u16string& path, const Content& content) {
  if (content.bytes == nullptr && content.count > 0) return WriteResult::Failed;
  std::string target = NativeOf(path);
  if (target.empty() || target.back() == '/') return WriteResult::Failed;
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

  // The bytes first go to a file without a name in the target's folder, so
  // that nobody ever sees a partial file and a failure leaves nothing behind;
  // creating it does not hold the folder's lock, which lets several writers
  // into one folder overlap. The file gets its name only when it is whole.
  WriteResult result = WriteResult::Failed;
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) {
    result = FillFile(fd, content);
    std::string linked;
    bool linkRefused = false;
    if (result == WriteResult::Written) {
      linked = LinkWhole(fd, folder, target);
      if (linked.empty()) {
        result = WriteResult::Failed;
        linkRefused = errno != EEXIST && errno != ENAMETOOLONG;
      }
    }
    // The name shows before the close, so a close that reports a lost write
    // takes it away again. A taken target is replaced only once the close
    // succeeded: a failed write never costs the file that was there.
    const bool closed = ::close(fd) == 0;
    if (!linked.empty() && !closed) {
      ::unlink(linked.c_str());
      result = WriteResult::Failed;
    } else if (!linked.empty() && linked != target && ::rename(linked.c_str(), target.c_str()) != 0) {
      ::unlink(linked.c_str());
      result = WriteResult::Failed;
    }
    // Without /proc and without the privilege to link a descriptor, an
    // unnamed file cannot be given a name; a named temporary file can.
    if (linkRefused) result = WriteThroughNamedTemporary(folder, target, content);
  } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    result = WriteThroughNamedTemporary(folder, target, content);
  }
  if (result == WriteResult::Written && content.sync && !folder.empty()) {
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }
  return result;
}

}  // namespace

bool WriteFileAtomically(const std::u16string& path, const uint8_t* bytes, size_t count, bool sync) {
  return WriteWhole(path, Content{bytes, count, nullptr, sync}) == WriteResult::Written;
}

WriteResult WriteFileWithTail(const std::u16string& path, const uint8_t* bytes, size_t count,
                              const SourceRange& tail) {
  return WriteWhole(path, Content{bytes, count, &tail, false});
}

}  // namespace plat
