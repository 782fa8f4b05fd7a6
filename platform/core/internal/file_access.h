// What files.cpp and file_system.cpp share: the file-system form of a usable
// path, stamps from stat records, writing a whole buffer, and copying a range
// of one file into another inside the kernel.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/file_system.h"
#include "platform/core/files.h"

namespace plat_internal {

// The file-system form of `path`, or "" when it holds a NUL or reaches
// PATH_MAX bytes.
std::string UsableNativePath(const std::u16string& path);

plat::FileStamp StampFromStat(const struct stat& st);

// Writes all `count` bytes at the current position of `fd`, retrying short
// and interrupted writes; false on any error.
bool WriteAll(int fd, const uint8_t* bytes, size_t count);

// Appends the range's bytes at the current position of the open file `to`.
// SourceChanged when the range's file is missing, shorter than the range or
// has another stamp before or after the copy; Failed when a write failed.
plat::WriteResult AppendRange(int to, const plat::SourceRange& range);

}  // namespace plat_internal
