// Attributes, directory listing, directory creation and whole-file writing.
// Paths are UTF-16 (see text.h for their file-system form). A path whose
// file-system form is empty, holds a NUL, reaches PATH_MAX bytes or has a
// component longer than NAME_MAX bytes is refused by every operation here in
// the orderly way each one states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/files.h"

namespace plat {

enum : uint32_t {
  FILE_ATTRIBUTE_READONLY = 0x01,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF,
};

// The attributes of what the path names (symbolic links followed), or
// INVALID_FILE_ATTRIBUTES when it does not exist or the path is refused.
uint32_t GetFileAttributesW(const std::u16string& path);

// True when the path is usable at all on this file system (see above).
bool PathFits(const std::u16string& path);

struct DirectoryEntry {
  std::u16string name;
  bool directory = false;  // a directory, or a symbolic link to one
};

// The entries of a directory in the order the file system returns them,
// without "." and "..". False (and `out` unchanged) when the directory cannot
// be opened.
bool ListDirectory(const std::u16string& path, std::vector<DirectoryEntry>& out);

// Creates one directory (mode 0777 less the umask); false when it could not
// be created, including when it already exists.
bool CreateDirectoryW(const std::u16string& path);

// Writes `count` bytes as the whole new content of `path`, all or nothing:
// the bytes go to a new file without a name in the target's folder (or, on a
// file system without such files, to a temporary file created exclusively
// there), which takes the target's name only after every byte was written
// (and, with `sync`, flushed to the disk). A symbolic link at the target name
// is replaced, never followed. On failure nothing new remains and an existing
// target is left as it was. Returns whether the whole file reached the target
// name.
[[nodiscard]] bool WriteFileAtomically(const std::u16string& path, const uint8_t* bytes, size_t count,
                                       bool sync = false);

enum class WriteResult { Written, Failed, SourceChanged };

// WriteFileAtomically of `count` bytes followed by the bytes of `tail`, which
// the kernel copies from file to file without passing them through this
// process. SourceChanged (and nothing written) when the tail's file is
// missing, shorter than the range or no longer has the tail's stamp.
[[nodiscard]] WriteResult WriteFileWithTail(const std::u16string& path, const uint8_t* bytes, size_t count,
                                            const SourceRange& tail);

}  // namespace plat
