#include "platform/core/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace {

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<plat::DirectoryEntry> entries;
  EXPECT_TRUE(plat::ListDirectory(U(folder), entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(plat::PathToNative(e.name));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSystemTest, AttributesAndListing) {
  fixture::TempDir dir;
  dir.Write("a.dcm", {1});
  dir.Write("sub/inner", {2});
  ASSERT_EQ(::symlink((dir.path() + "/sub").c_str(), dir.Join("linkdir").c_str()), 0);
  // A name that is not valid UTF-8 survives the round trip.
  std::string odd = std::string("odd") + char(0xFF) + ".dcm";
  dir.Write(odd, {3});

  EXPECT_EQ(plat::GetFileAttributesW(U(dir.Join("a.dcm"))) & plat::FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(plat::GetFileAttributesW(U(dir.Join("sub"))) & plat::FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(plat::GetFileAttributesW(U(dir.Join("missing"))), plat::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plat::GetFileAttributesW(u""), plat::INVALID_FILE_ATTRIBUTES);

  std::vector<plat::DirectoryEntry> entries;
  ASSERT_TRUE(plat::ListDirectory(U(dir.path()), entries));
  ASSERT_EQ(entries.size(), 4u);  // no "." or ".."
  for (const auto& e : entries) {
    std::string name = plat::PathToNative(e.name);
    EXPECT_EQ(e.directory, name == "sub" || name == "linkdir") << name;
    EXPECT_NE(plat::GetFileAttributesW(U(dir.path() + "/" + name)), plat::INVALID_FILE_ATTRIBUTES) << name;
  }
  std::vector<plat::DirectoryEntry> none;
  EXPECT_FALSE(plat::ListDirectory(U(dir.Join("a.dcm")), none));
  EXPECT_FALSE(plat::ListDirectory(U(dir.Join("missing")), none));
  EXPECT_TRUE(none.empty());
}

TEST(FileSystemTest, PathsBeyondThePlatformLimitsAreRefused) {
  fixture::TempDir dir;
  std::string longName(300, 'n');                     // beyond NAME_MAX
  std::string longPath = dir.path();                  // beyond PATH_MAX
  while (longPath.size() < 5000) longPath += "/abcdefgh";
  std::string withNul = dir.path() + std::string("/a\0b", 4);
  for (const std::string& p : {dir.Join(longName), longPath, withNul}) {
    EXPECT_FALSE(plat::PathFits(U(p)));
    EXPECT_EQ(plat::GetFileAttributesW(U(p)), plat::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(plat::CreateDirectoryW(U(p)));
    uint8_t byte = 1;
    EXPECT_FALSE(plat::WriteFileAtomically(U(p), &byte, 1));
  }
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

TEST(FileSystemTest, CreateDirectoryMakesOneLevel) {
  fixture::TempDir dir;
  EXPECT_TRUE(plat::CreateDirectoryW(U(dir.Join("one"))));
  EXPECT_FALSE(plat::CreateDirectoryW(U(dir.Join("one"))));  // exists
  EXPECT_FALSE(plat::CreateDirectoryW(U(dir.Join("x/y"))));  // parent missing
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"one"});
}

TEST(FileSystemTest, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
  fixture::TempDir dir;
  std::string target = dir.Join("out.dcm");
  std::vector<uint8_t> first(100000, 0x11);
  ASSERT_TRUE(plat::WriteFileAtomically(U(target), first.data(), first.size()));
  EXPECT_EQ(fixture::ReadFileBytes(target), first);
  std::vector<uint8_t> second = {1, 2, 3};
  ASSERT_TRUE(plat::WriteFileAtomically(U(target), second.data(), second.size(), /*sync=*/true));
  EXPECT_EQ(fixture::ReadFileBytes(target), second);
  ASSERT_TRUE(plat::WriteFileAtomically(U(target), nullptr, 0));
  EXPECT_TRUE(fixture::ReadFileBytes(target).empty());
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"out.dcm"});
}

TEST(FileSystemTest, SymbolicLinkAtTargetIsReplacedNotFollowed) {
  fixture::TempDir dir;
  std::string victim = dir.Write("victim", {9, 9, 9});
  std::string target = dir.Join("out.dcm");
  ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0);
  std::vector<uint8_t> bytes = {1, 2};
  ASSERT_TRUE(plat::WriteFileAtomically(U(target), bytes.data(), bytes.size()));
  EXPECT_EQ(fixture::ReadFileBytes(victim), (std::vector<uint8_t>{9, 9, 9}));
  struct stat st;
  ASSERT_EQ(::lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(fixture::ReadFileBytes(target), bytes);
}

TEST(FileSystemTest, FailedWritesLeaveEverythingAsItWas) {
  fixture::TempDir dir;
  std::vector<uint8_t> bytes = {1, 2, 3};
  // A directory at the target name is not replaced.
  ASSERT_TRUE(plat::CreateDirectoryW(U(dir.Join("taken"))));
  EXPECT_FALSE(plat::WriteFileAtomically(U(dir.Join("taken")), bytes.data(), bytes.size()));
  // A missing folder.
  EXPECT_FALSE(plat::WriteFileAtomically(U(dir.Join("nowhere/out.dcm")), bytes.data(), bytes.size()));
  // A trailing separator names no file.
  EXPECT_FALSE(plat::WriteFileAtomically(U(dir.Join("slash/")), bytes.data(), bytes.size()));
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"taken"});
  EXPECT_TRUE(FolderNames(dir.Join("taken")).empty());

  // A read-only folder with a good file in it.
  std::string good = dir.Write("ro/good.dcm", {7, 7});
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.Join("ro").c_str(), 0555), 0);
  std::optional<bool> replaced = fixture::RunUnprivileged(
      [&] { return plat::WriteFileAtomically(U(good), bytes.data(), bytes.size()); });
  std::optional<bool> created = fixture::RunUnprivileged(
      [&] { return plat::WriteFileAtomically(U(dir.Join("ro/new.dcm")), bytes.data(), bytes.size()); });
  ASSERT_TRUE(replaced.has_value() && created.has_value()) << "cannot run as an ordinary user";
  EXPECT_FALSE(*replaced);
  EXPECT_FALSE(*created);
  EXPECT_EQ(fixture::ReadFileBytes(good), (std::vector<uint8_t>{7, 7}));
  EXPECT_EQ(FolderNames(dir.Join("ro")), std::vector<std::string>{"good.dcm"});
  ::chmod(dir.Join("ro").c_str(), 0755);
}

TEST(FileSystemTest, WriteWithTailCopiesTheRangeOnlyFromAnUnchangedSource) {
  fixture::TempDir dir;
  std::vector<uint8_t> source(300000);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
  const std::string sourcePath = dir.Write("in/source.bin", source);
  const std::vector<uint8_t> head = {1, 2, 3, 4};
  plat::SourceRange range;
  range.path = U(sourcePath);
  range.offset = 1000;
  range.length = source.size() - 1000;
  ASSERT_TRUE(plat::StampOf(range.path, range.stamp));

  const std::string target = dir.Join("out/copy.bin");
  ASSERT_TRUE(plat::CreateDirectoryW(U(dir.Join("out"))));
  ASSERT_EQ(plat::WriteFileWithTail(U(target), head.data(), head.size(), range), plat::WriteResult::Written);
  std::vector<uint8_t> expected = head;
  expected.insert(expected.end(), source.begin() + 1000, source.end());
  EXPECT_EQ(fixture::ReadFileBytes(target), expected);

  // Ranges the source cannot give, and sources that are not the stamped one:
  // nothing is written, an earlier copy stays.
  struct Case {
    const char* name;
    void (*change)(plat::SourceRange& range);
    plat::WriteResult result;
  } cases[] = {
      {"beyond the end", [](plat::SourceRange& r) { r.length += 1; },
       plat::WriteResult::SourceChanged},
      {"another stamp", [](plat::SourceRange& r) { r.stamp.modifiedNs -= 1; },
       plat::WriteResult::SourceChanged},
      {"source gone", [](plat::SourceRange& r) { r.path = u"/nonexistent/source.bin"; },
       plat::WriteResult::SourceChanged},
      {"target folder missing", [](plat::SourceRange&) {}, plat::WriteResult::Failed},
  };
  for (const Case& c : cases) {
    plat::SourceRange changed = range;
    c.change(changed);
    const std::string where = std::string(c.name) == "target folder missing" ? dir.Join("nowhere/copy.bin") : target;
    EXPECT_EQ(plat::WriteFileWithTail(U(where), head.data(), head.size(), changed), c.result) << c.name;
    EXPECT_EQ(fixture::ReadFileBytes(target), expected) << c.name;
  }
  EXPECT_EQ(FolderNames(dir.Join("out")), std::vector<std::string>{"copy.bin"});
}

}  // namespace
