#include "intake/file_system.h"

#include <algorithm>
#include <set>
#include <utility>

#include "analysis/tag_dictionary.h"
#include "platform/core/ascii_text.h"
#include "platform/core/file_system.h"
#include "platform/core/files.h"

namespace {

bool IsAsciiDcm(const std::u16string& extension) { return plat::EqualsIgnoringAsciiCase(extension, u".dcm"); }

// The entries of a folder in the order of their names; false when it cannot
// be listed. The file system's own order (hash order on ext4) would number
// the files of a series differently from one disk to the next.
bool ListInNameOrder(const std::u16string& folder, std::vector<plat::DirectoryEntry>& entries) {
  if (!plat::ListDirectory(folder, entries)) return false;
  std::sort(entries.begin(), entries.end(), [](const plat::DirectoryEntry& a, const plat::DirectoryEntry& b) {
    return plat::CompareNamesNaturally(a.name, b.name) < 0;
  });
  return true;
}

std::u16string WithSlash(const std::u16string& folder) { return folder.back() == u'/' ? folder : folder + u'/'; }

// Whether a folder holds a file at some depth; stops at the first one. Links
// that lead back up are bounded by the depth.
bool HoldsFiles(const std::u16string& folder, int depth) {
  std::vector<plat::DirectoryEntry> entries;
  if (depth > 64 || !plat::ListDirectory(folder, entries)) return false;
  for (const plat::DirectoryEntry& entry : entries)
    if (!entry.directory) return true;
  for (const plat::DirectoryEntry& entry : entries)
    if (HoldsFiles(WithSlash(folder) + entry.name, depth + 1)) return true;
  return false;
}

// The tree walk of ListFolderTree. `visited` holds the folders listed so far
// by device and inode.
void ListTree(const std::u16string& folder, std::vector<std::u16string>& list, FolderListingCounts& counts,
              std::set<std::pair<uint64_t, uint64_t>>& visited) {
  plat::FileStamp stamp;
  if (!plat::StampOf(folder, stamp) || !visited.insert({stamp.device, stamp.inode}).second) return;
  std::vector<plat::DirectoryEntry> entries;
  if (!ListInNameOrder(folder, entries)) {
    ++counts.unreadableFolders;
    return;
  }
  const std::u16string prefix = WithSlash(folder);
  for (const plat::DirectoryEntry& entry : entries) {
    if (entry.directory) continue;
    std::u16string full = prefix + entry.name;
    if (plat::PathFits(full) && HasDicomContent(full)) {
      list.push_back(std::move(full));
    } else {
      ++counts.notDicom;
    }
  }
  for (const plat::DirectoryEntry& entry : entries)
    if (entry.directory) ListTree(prefix + entry.name, list, counts, visited);
}

// The VRs of the standard, for recognising an explicit first element.
bool IsStandardVr(uint8_t first, uint8_t second) {
  static const char kVrs[] = "AEASATCSDADSDTFDFLISLOLTOBODOFOLOVOWPNSHSLSQSSSTSVTMUCUIULUNURUSUTUV";
  for (size_t i = 0; i + 1 < sizeof kVrs; i += 2)
    if (static_cast<uint8_t>(kVrs[i]) == first && static_cast<uint8_t>(kVrs[i + 1]) == second) return true;
  return false;
}

}  // namespace

bool HasDicomContent(const std::u16string& path) {
  plat::InputFile in;
  if (!in.Open(path) || in.Size() <= 132) return false;  // the analysis reads nothing shorter
  uint8_t head[132];
  if (!in.ReadAll(head, sizeof head)) return false;
  if (plat::EqualsIgnoringAsciiCase(std::u16string(head + 128, head + 132), u"DICM")) return true;
  const auto read16 = [&](int at, bool big) {
    return static_cast<uint16_t>(big ? (head[at] << 8) | head[at + 1] : head[at] | (head[at + 1] << 8));
  };
  const bool explicitVr = IsStandardVr(head[4], head[5]);
  for (const bool big : {false, true}) {
    const uint16_t group = read16(0, big), element = read16(2, big);
    if (group < 0x0002 || group > 0x7FE0 || (group & 1) != 0) continue;
    if (explicitVr) return true;
    // Implicit VR is little endian only, and needs the dictionary's VR.
    const uint32_t length = static_cast<uint32_t>(head[4] | (head[5] << 8) | (head[6] << 16)) |
                            (static_cast<uint32_t>(head[7]) << 24);
    if (!big && VrOfKey(MakeTagKey(group, element)) != kNoVr && length <= in.Size() - 8) return true;
  }
  return false;
}

int32_t ListFolderTree(const std::u16string& folder, std::vector<std::u16string>& list, FolderListingCounts* counts) {
  if (folder.empty() || !IsDirectory(folder)) return -1;
  FolderListingCounts local;
  std::set<std::pair<uint64_t, uint64_t>> visited;
  ListTree(folder, list, counts != nullptr ? *counts : local, visited);
  return static_cast<int32_t>(list.size());
}

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

int32_t ListFolderFiles(const std::u16string& folder, std::vector<std::u16string>& list,
                        FolderListingCounts* counts) {
  if (folder.empty() || !IsDirectory(folder)) return -1;
  std::vector<plat::DirectoryEntry> entries;
  if (!ListInNameOrder(folder, entries)) return -1;
  const std::u16string prefix = WithSlash(folder);
  for (const plat::DirectoryEntry& entry : entries) {
    std::u16string full = prefix + entry.name;
    if (entry.directory) {
      if (counts != nullptr && HoldsFiles(full, 0)) ++counts->subfoldersWithFiles;
      continue;
    }
    if (!plat::PathFits(full)) continue;  // could never be opened
    std::u16string extension = ExtensionOf(full);
    if (!extension.empty() && !IsAsciiDcm(extension)) continue;
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
