// The file-system operations the system shares: splitting paths, testing for
// and creating folders, listing a folder's DICOM candidates and writing whole
// files. On this platform "/" alone separates path parts and there is no
// drive part. Paths that the file system cannot hold (too long, a name longer
// than the platform allows, a NUL) give empty parts and failed operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/byte_buffer.h"
#include "analysis/value_text.h"  // FolderOfPath
#include "platform/core/file_system.h"

// The final path part: file name and extension ("" for a path ending in "/").
std::u16string FileNameOf(const std::u16string& path);
// The last "." of the final path part and what follows it, or "".
std::u16string ExtensionOf(const std::u16string& path);
// True when the path names a directory (or a link to one); one trailing "/"
// is ignored.
bool IsDirectory(const std::u16string& path);
// Creates the directory and every missing folder above it. What could not be
// created shows in the caller's next step (IsDirectory, a failed write).
void MakeDirectories(const std::u16string& path);
// Appends to `list` the full path of every entry directly in `folder` that is
// not a directory and whose extension is empty or ".dcm" in any case, in the
// order of their names (plat::CompareNamesNaturally); subfolders are never
// entered. Returns
// -1 (list unchanged) for an empty path or one that is no directory, else the
// list's total count.
int32_t ListFolderFiles(const std::u16string& folder, std::vector<std::u16string>& list);
// Writes the bytes as the whole new content of `path`, all or nothing (a
// file in the same folder that takes the name when complete).
// Returns whether the whole file was written.
[[nodiscard]] bool WriteWholeFile(const std::u16string& path, const uint8_t* bytes, int64_t length);
// Creates the path's folder when needed and writes the buffer there with
// WriteWholeFile. A path without a folder part writes nothing. Returns
// whether the whole file was written.
[[nodiscard]] bool SaveBuffer(const ByteBuffer<uint8_t>& buffer, const std::u16string& path);
// SaveBuffer of the buffer followed by the bytes of `tail`, copied from its
// file (see plat::WriteFileWithTail).
[[nodiscard]] plat::WriteResult SaveBufferWithTail(const ByteBuffer<uint8_t>& buffer, const plat::SourceRange& tail,
                                                   const std::u16string& path);
