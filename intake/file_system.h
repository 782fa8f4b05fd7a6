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

// What a listing left out.
struct FolderListingCounts {
  int32_t subfoldersWithFiles = 0;  // flat listing: subfolders that hold files
  int32_t notDicom = 0;             // tree listing: files whose content is no DICOM
  int32_t unreadableFolders = 0;    // tree listing: folders that could not be listed
};

// Appends to `list` the full path of every entry directly in `folder` that is
// not a directory and whose extension is empty or ".dcm" in any case, in the
// order of their names (plat::CompareNamesNaturally); subfolders are never
// entered. Returns -1 (list unchanged) for an empty path or one that is no
// directory, else the list's total count. When `counts` is given, its
// subfoldersWithFiles tells how many subfolders hold files at some depth:
// what a folder drop leaves out.
int32_t ListFolderFiles(const std::u16string& folder, std::vector<std::u16string>& list,
                        FolderListingCounts* counts = nullptr);

// The DICOM files of the folder and of every folder below it, chosen by
// their content (HasDicomContent) whatever their names, in name order: a
// folder's files, then its subfolders one after another. A folder reached
// twice through links is listed once. Returns -1 (list unchanged) for a path
// that is no folder, else the list's total count.
int32_t ListFolderTree(const std::u16string& folder, std::vector<std::u16string>& list,
                       FolderListingCounts* counts = nullptr);

// Whether the file begins like something the analysis reads: the "DICM"
// marker after a preamble, or a first element of a bare data set (an even
// group the dictionary knows in implicit VR, or VR letters after the tag in
// explicit VR of either byte order).
bool HasDicomContent(const std::u16string& path);

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
