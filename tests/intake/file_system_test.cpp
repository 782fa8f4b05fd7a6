#include "intake/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/file_system.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace {

namespace fs = std::filesystem;

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }
std::string N(const std::u16string& s) { return plat::PathToNative(s); }

std::vector<std::string> Sorted(const std::vector<std::u16string>& list) {
  std::vector<std::string> out;
  for (const auto& p : list) out.push_back(N(p));
  std::sort(out.begin(), out.end());
  return out;
}

// Every entry of a folder, candidate or not, to see what a write left behind.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<plat::DirectoryEntry> entries;
  EXPECT_TRUE(plat::ListDirectory(U(folder), entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(N(e.name));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PathPartsTest, NameAndExtensionOfTheFinalPart) {
  struct Case {
    std::u16string path, name, extension, folder;
  } cases[] = {
      {u"/data/ct/a.dcm", u"a.dcm", u".dcm", u"/data/ct/"},
      {u"/data/ct/scan.dcm.bak", u"scan.dcm.bak", u".bak", u"/data/ct/"},
      {u"/data/ct/scan.second.dcm", u"scan.second.dcm", u".dcm", u"/data/ct/"},
      {u"/data/ct/IM0001", u"IM0001", u"", u"/data/ct/"},
      {u"/data/v1.2/IM0001", u"IM0001", u"", u"/data/v1.2/"},  // a dot in the folder is no extension
      {u"/x.dcm", u"x.dcm", u".dcm", u"/"},
      {u"a.DCM", u"a.DCM", u".DCM", u""},
      {u"/data/ct/", u"", u"", u"/data/ct/"},
      {u"/数据/病人.dcm", u"病人.dcm", u".dcm", u"/数据/"},
      {u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileNameOf(c.path), c.name) << N(c.path);
    EXPECT_EQ(ExtensionOf(c.path), c.extension) << N(c.path);
    EXPECT_EQ(FolderOfPath(c.path), c.folder) << N(c.path);
  }
}

TEST(PathPartsTest, PathsBeyondThePlatformLimitsGiveEmptyParts) {
  std::u16string longName = u"/data/" + std::u16string(300, u'n') + u".dcm";
  std::u16string longPath;
  while (longPath.size() < 5000) longPath += u"/abcdefgh";
  longPath += u"/a.dcm";
  for (const auto& p : {longName, longPath}) {
    EXPECT_EQ(FileNameOf(p), u"");
    EXPECT_EQ(ExtensionOf(p), u"");
    EXPECT_FALSE(IsDirectory(p));
  }
}

TEST(FolderListingTest, ListsCandidatesDirectlyInTheFolder) {
  fixture::TempDir dir;
  for (const char* name : {"a.dcm", "B.DCM", "IM0001", "notes.txt", "scan.dcm.bak", "scan.second.dcm", "mixed.DcM"})
    dir.Write(name, {1});
  dir.Write("x.dcm/inner.dcm", {1});  // a subfolder that looks like a file
  dir.Write("sub/deep", {1});         // a subfolder without extension
  const std::vector<std::string> expected = {
      dir.Join("B.DCM"), dir.Join("IM0001"), dir.Join("a.dcm"), dir.Join("mixed.DcM"), dir.Join("scan.second.dcm")};

  for (const std::string& folder : {dir.path(), dir.path() + "/"}) {
    std::vector<std::u16string> list;
    EXPECT_EQ(ListFolderFiles(U(folder), list), 5) << folder;
    EXPECT_EQ(Sorted(list), expected) << folder;  // one "/" between folder and name either way
  }
  // The list is appended to and the total returned.
  std::vector<std::u16string> list = {u"/earlier"};
  EXPECT_EQ(ListFolderFiles(U(dir.path()), list), 6);
  EXPECT_EQ(list.front(), u"/earlier");
}

TEST(FolderListingTest, ListsInNameOrderWithNumbersByTheirValue) {
  fixture::TempDir dir;
  // Written in an order of their own; the file system returns yet another.
  for (const char* name : {"IM10", "im2", "IM9", "IM1", "x100y10", "B.DCM", "IM01", "a.dcm", "x99", "x100y2", "IM0010"})
    dir.Write(name, {1});
  std::vector<std::u16string> list;
  ASSERT_EQ(ListFolderFiles(U(dir.path()), list), 11);
  std::vector<std::string> names;
  for (const std::u16string& path : list) names.push_back(plat::Utf16ToUtf8(FileNameOf(path)));
  EXPECT_EQ(names, (std::vector<std::string>{"a.dcm", "B.DCM", "IM01", "IM1", "im2", "IM9", "IM0010", "IM10", "x99",
                                             "x100y2", "x100y10"}));
}

// A bare data set in the given encoding: no preamble, no meta group.
std::vector<uint8_t> BareDataSet(fixture::Encoding encoding) {
  fixture::DicomBuilder b(encoding);
  b.Text(0x0008, 0x0060, "CS", "CT").Text(0x0010, 0x0010, "PN", "DOE^JOHN").Uid(0x0020, 0x000D, "1.2.3")
      .Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(200, 1));
  return b.Bytes();
}

TEST(FolderListingTest, HasDicomContentKnowsFilesByTheirFirstBytes) {
  fixture::TempDir dir;
  const std::string prose(300, 'x');
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.resize(300, 0);
  std::vector<uint8_t> zip = {'P', 'K', 0x03, 0x04, 0x14, 0x00, 0x00, 0x00};
  zip.resize(300, 0);
  const std::vector<uint8_t> part10 = fixture::BuildSimpleFile({});
  std::vector<uint8_t> lowerMarker = part10;
  lowerMarker[128] = 'd';  // the analysis accepts the marker in any case
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool dicom;
  } cases[] = {
      {"part10", part10, true},
      {"lower-case marker", lowerMarker, true},
      {"bare implicit", BareDataSet(fixture::Encoding::ImplicitLittle), true},
      {"bare explicit little", BareDataSet(fixture::Encoding::ExplicitLittle), true},
      {"bare explicit big", BareDataSet(fixture::Encoding::ExplicitBig), true},
      {"text", std::vector<uint8_t>(prose.begin(), prose.end()), false},
      {"png", png, false},
      {"zip", zip, false},
      {"132 bytes", std::vector<uint8_t>(part10.begin(), part10.begin() + 132), false},
  };
  for (const Case& c : cases) EXPECT_EQ(HasDicomContent(U(dir.Write(c.name, c.bytes))), c.dicom) << c.name;
  EXPECT_FALSE(HasDicomContent(U(dir.Join("missing"))));
}

TEST(FolderListingTest, TheTreeListingTakesEveryDicomFileBelowInNameOrder) {
  fixture::TempDir dir;
  const std::vector<uint8_t> dicom = fixture::BuildSimpleFile({});
  const std::string prose(300, 'x');
  const std::vector<uint8_t> text(prose.begin(), prose.end());
  // A hospital export: files named by UID, .IMA and .dicom, no extension,
  // beside notes and a DICOMDIR-less index, in nested folders.
  dir.Write("export/P1/S2/1.2.840.113619.2.55.3.10", dicom);
  dir.Write("export/P1/S2/1.2.840.113619.2.55.3.9", dicom);
  dir.Write("export/P1/S10/IM1.IMA", dicom);
  dir.Write("export/P1/S1/scan.dicom", dicom);
  dir.Write("export/P1/S1/readme.txt", text);
  dir.Write("export/P1/notes", text);
  dir.Write("export/top.dcm", dicom);
  fs::create_directories(dir.Join("export/P2/empty"));
  // A link back up the tree is followed once only.
  fs::create_directory_symlink(dir.Join("export/P1"), dir.Join("export/P1/S1/loop"));
  std::vector<std::u16string> list;
  FolderListingCounts counts;
  ASSERT_EQ(ListFolderTree(U(dir.Join("export")), list, &counts), 5);
  std::vector<std::string> names;
  for (const std::u16string& path : list) names.push_back(N(path).substr(dir.path().size() + 1));
  EXPECT_EQ(names, (std::vector<std::string>{"export/top.dcm", "export/P1/S1/scan.dicom", "export/P1/S2/1.2.840.113619.2.55.3.9",
                                             "export/P1/S2/1.2.840.113619.2.55.3.10", "export/P1/S10/IM1.IMA"}));
  EXPECT_EQ(counts.notDicom, 2);
  EXPECT_EQ(counts.unreadableFolders, 0);
  EXPECT_EQ(ListFolderTree(U(dir.Join("export/top.dcm")), list), -1);

  // The flat listing takes only top.dcm and counts P1 (files below) but not
  // P2 (folders only).
  std::vector<std::u16string> flat;
  FolderListingCounts flatCounts;
  ASSERT_EQ(ListFolderFiles(U(dir.Join("export")), flat, &flatCounts), 1);
  EXPECT_EQ(flatCounts.subfoldersWithFiles, 1);
}

TEST(FolderListingTest, NoFolderGivesMinusOneAndLeavesTheList) {
  fixture::TempDir dir;
  std::string file = dir.Write("a.dcm", {1});
  for (const std::string& p : {std::string(), file, dir.Join("missing")}) {
    std::vector<std::u16string> list = {u"/kept"};
    EXPECT_EQ(ListFolderFiles(U(p), list), -1) << p;
    EXPECT_EQ(list.size(), 1u);
  }
  std::vector<std::u16string> list;
  EXPECT_EQ(ListFolderFiles(U(dir.Join("")), list), 1);  // trailing "/" only
}

TEST(DirectoriesTest, IsDirectoryIgnoresOneTrailingSeparator) {
  fixture::TempDir dir;
  std::string file = dir.Write("f", {1});
  EXPECT_TRUE(IsDirectory(U(dir.path())));
  EXPECT_TRUE(IsDirectory(U(dir.path() + "/")));
  EXPECT_TRUE(IsDirectory(u"/"));
  EXPECT_FALSE(IsDirectory(U(file)));
  EXPECT_FALSE(IsDirectory(U(dir.Join("missing"))));
  EXPECT_FALSE(IsDirectory(u""));
}

TEST(DirectoriesTest, MakeDirectoriesCreatesTheMissingChain) {
  fixture::TempDir dir;
  ASSERT_TRUE(IsDirectory(U(dir.path())));
  MakeDirectories(U(dir.Join("out/a/b/")));
  EXPECT_TRUE(IsDirectory(U(dir.Join("out"))));
  EXPECT_TRUE(IsDirectory(U(dir.Join("out/a"))));
  EXPECT_TRUE(IsDirectory(U(dir.Join("out/a/b"))));
  // Existing folders and empty paths are left alone; a file in the way stops
  // the chain without a fault.
  MakeDirectories(U(dir.Join("out/a")));
  MakeDirectories(u"");
  dir.Write("plain", {1});
  MakeDirectories(U(dir.Join("plain/sub")));
  EXPECT_FALSE(IsDirectory(U(dir.Join("plain/sub"))));
}

TEST(SaveBufferTest, WritesWholeFilesAndCreatesTheFolder) {
  fixture::TempDir dir;
  ByteBuffer<uint8_t> buffer;
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(buffer.Append(bytes.data(), static_cast<int64_t>(bytes.size())));

  std::string target = dir.Join("ct__Anony/x/a.dcm");
  ASSERT_TRUE(SaveBuffer(buffer, U(target)));
  EXPECT_EQ(fixture::ReadFileBytes(target), bytes);
  // An existing file is replaced whole.
  ByteBuffer<uint8_t> small;
  ASSERT_TRUE(small.Append(bytes.data(), 3));
  ASSERT_TRUE(SaveBuffer(small, U(target)));
  EXPECT_EQ(fixture::ReadFileBytes(target), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3));
  EXPECT_EQ(Names(dir.Join("ct__Anony/x")), std::vector<std::string>{"a.dcm"});
}

TEST(SaveBufferTest, FailuresAreReportedAndLeaveNothingBehind) {
  fixture::TempDir dir;
  ByteBuffer<uint8_t> buffer;
  uint8_t bytes[] = {1, 2, 3};
  ASSERT_TRUE(buffer.Append(bytes, 3));
  EXPECT_FALSE(SaveBuffer(buffer, u"a.dcm"));  // no folder part: nothing written
  EXPECT_FALSE(fixture::FileExists("a.dcm"));
  dir.Write("blocker", {9});
  EXPECT_FALSE(SaveBuffer(buffer, U(dir.Join("blocker/a.dcm"))));  // a file where the folder should be
  EXPECT_FALSE(SaveBuffer(buffer, U(dir.Join(std::string(300, 'n')))));
  EXPECT_FALSE(WriteWholeFile(U(dir.Join("neg")), bytes, -1));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"blocker"});

  // A read-only folder: the write fails, the good file stays, no temporary
  // file remains, and no new folder appears beneath it.
  std::string good = dir.Write("ro/good.dcm", {7, 7});
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.Join("ro").c_str(), 0555), 0);
  std::optional<bool> over = fixture::RunUnprivileged([&] { return SaveBuffer(buffer, U(good)); });
  std::optional<bool> fresh = fixture::RunUnprivileged([&] { return SaveBuffer(buffer, U(dir.Join("ro/new.dcm"))); });
  std::optional<bool> nested =
      fixture::RunUnprivileged([&] { return SaveBuffer(buffer, U(dir.Join("ro/sub/new.dcm"))); });
  ASSERT_TRUE(over && fresh && nested) << "cannot run as an ordinary user";
  EXPECT_FALSE(*over);
  EXPECT_FALSE(*fresh);
  EXPECT_FALSE(*nested);
  EXPECT_EQ(fixture::ReadFileBytes(good), (std::vector<uint8_t>{7, 7}));
  EXPECT_EQ(Names(dir.Join("ro")), std::vector<std::string>{"good.dcm"});
  ::chmod(dir.Join("ro").c_str(), 0755);
}

}  // namespace
