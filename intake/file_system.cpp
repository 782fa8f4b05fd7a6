#include "intake/file_system.h"

#include <algorithm>

#include "platform/core/ascii_text.h"
#include "platform/core/file_system.h"

namespace {

bool IsAsciiDcm(const std::u16string& extension) { return plat::EqualsIgnoringAsciiCase(extension, u".dcm"); }

}  // namespace

std::u16string FileNameOf(const std::u16string& path) {
  if (path.empty() || !plat::PathFits(path)) return std::u16string();
  size_t slash = path.find_last_of(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string ExtensionOf(const std::u16string& path) {
  std::u16string name = FileNameOf(path);
  size_t dot = name.find_last_of(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

bool IsDirectory(const std::u16string& path) {
  std::u16string p = path;
  if (p.size() > 1 && p.back() == u'/') p.pop_back();
  uint32_t attributes = plat::GetFileAttributesW(p);
  return attributes != plat::INVALID_FILE_ATTRIBUTES && (attributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void MakeDirectories(const std::u16string& path) {
  if (path.empty()) return;
  std::u16string p = path;
  if (p.back() == u'/') p.pop_back();
  if (p.empty()) return;
  if (plat::GetFileAttributesW(p) != plat::INVALID_FILE_ATTRIBUTES) return;
  size_t slash = p.find_last_of(u'/');
  // Each step is strictly shorter, so the chain ends at the first folder
  // that exists (or at the root).
  MakeDirectories(slash == std::u16string::npos ? std::u16string() : p.substr(0, slash));
  plat::CreateDirectoryW(p);
}

int32_t ListFolderFiles(const std::u16string& folder, std::vector<std::u16string>& list) {
  if (folder.empty() || !IsDirectory(folder)) return -1;
  std::vector<plat::DirectoryEntry> entries;
  if (!plat::ListDirectory(folder, entries)) return -1;
  const std::u16string prefix = folder.back() == u'/' ? folder : folder + u'/';
  // The file system's own order (hash order on ext4) would number the files
  // of a series differently from one disk to the next; names are listed as
  // people read them.
  std::sort(entries.begin(), entries.end(), [](const plat::DirectoryEntry& a, const plat::DirectoryEntry& b) {
    return plat::CompareNamesNaturally(a.name, b.name) < 0;
  });
  for (const plat::DirectoryEntry& entry : entries) {
    std::u16string full = prefix + entry.name;
    if (!plat::PathFits(full)) continue;  // could never be opened
    std::u16string extension = ExtensionOf(full);
    if (!extension.empty() && !IsAsciiDcm(extension)) continue;
    if (entry.directory) continue;
    list.push_back(std::move(full));
  }
  return static_cast<int32_t>(list.size());
}

bool WriteWholeFile(const std::u16string& path, const uint8_t* bytes, int64_t length) {
  if (length < 0) return false;
  return plat::WriteFileAtomically(path, bytes, static_cast<size_t>(length));
}

namespace {

// Makes sure the path's folder exists; false when the path has no folder part.
bool PrepareFolderOf(const std::u16string& path) {
  std::u16string folder = FolderOfPath(path);
  if (folder.empty()) return false;
  if (!IsDirectory(folder)) MakeDirectories(folder);
  return true;
}

}  // namespace

bool SaveBuffer(const ByteBuffer<uint8_t>& buffer, const std::u16string& path) {
  return PrepareFolderOf(path) && WriteWholeFile(path, buffer.data, buffer.length);
}

plat::WriteResult SaveBufferWithTail(const ByteBuffer<uint8_t>& buffer, const plat::SourceRange& tail,
                                     const std::u16string& path) {
  if (!PrepareFolderOf(path) || buffer.length < 0) return plat::WriteResult::Failed;
  return plat::WriteFileWithTail(path, buffer.data, static_cast<size_t>(buffer.length), tail);
}
