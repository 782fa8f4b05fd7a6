// The anonymize command over a collection on disk: output paths, shared and
// fresh UIDs, failures reported as failures, nothing written outside the
// output folders, and round trips through this engine and DCMTK's dcmdump.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "collection/collection.h"
#include "platform/core/text.h"
#include "tests/anonymize/anonymize_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

extern char** environ;

namespace {

using namespace anonymize_fixture;
using fixture::SimpleFile;
using fixture::TempDir;
namespace fs = std::filesystem;

std::u16string U(const std::string& s) { return plat::Utf8ToUtf16(s); }
std::string N(const std::u16string& s) { return plat::Utf16ToUtf8(s); }

TEST(AnonymizedPathOf, PutsTheCopyIntoTheSiblingFolder) {
  struct Case {
    const char* source;
    const char* output;
  } cases[] = {
      {"/data/ct/a.dcm", "/data/ct__Anony/a.dcm"},
      {"/data/ct/b.dcm", "/data/ct__Anony/b.dcm"},
      {"/x.dcm", "/Dicom__Anony/x.dcm"},
      {"//x.dcm", "/Dicom__Anony/x.dcm"},
      {"/a/x.dcm", "/a__Anony/x.dcm"},
      {"ct/a.dcm", "ct__Anony/a.dcm"},
      // A backslash is part of the name here, not a separator.
      {"/data/ct/a\\b.dcm", "/data/ct__Anony/a\\b.dcm"},
      {"a.dcm", ""},        // no folder part
      {"/data/ct/", ""},    // no file name
      {"/data/ct/..", ""},  // names a folder, never a file
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(N(AnonymizedPathOf(U(c.source))), c.output) << c.source;
}

std::string Hash(const std::string& path) {
  std::vector<uint8_t> bytes = fixture::ReadFileBytes(path);
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the whole file
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return std::to_string(h) + ":" + std::to_string(bytes.size());
}

std::map<std::string, std::string> HashTree(const std::string& root) {
  std::map<std::string, std::string> hashes;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_symlink() && entry.is_regular_file()) hashes[entry.path().string()] = Hash(entry.path().string());
  return hashes;
}

void Load(StudyCollection& c, const std::vector<std::string>& paths) {
  for (const std::string& p : paths) ASSERT_TRUE(c.LoadFile(U(p))) << p;
  ASSERT_EQ(c.TakeAllPendingFiles(), 0);
}

struct Analysed {
  DicomFile file;
  explicit Analysed(const std::string& path) { file.Analyse(U(path)); }
  std::string Value(uint16_t g, uint16_t e) const { return ValueOf(file, g, e); }
};

TEST(AnonymizeCollection, SharesStudyAndSeriesUidsAndGivesEveryFileItsOwnInstanceUid) {
  TempDir dir;
  auto recipe = [](const char* series, const char* sop) {
    SimpleFile f;
    f.seriesUid = series;
    f.sopInstanceUid = sop;
    f.seriesDescription = series;
    return f;
  };
  std::vector<std::string> sources = {
      dir.Write("ct/a.dcm", fixture::BuildSimpleFile(recipe("1.2.3.4.5.6", "1.1"))),
      dir.Write("ct/b.dcm", fixture::BuildSimpleFile(recipe("1.2.3.4.5.6", "1.2"))),
      dir.Write("ct/c.dcm", fixture::BuildSimpleFile(recipe("1.2.3.4.5.7", "1.3"))),
      // The same study in another folder is another StudyEntry, but the
      // copies stay one study and one series.
      dir.Write("ct2/d.dcm", fixture::BuildSimpleFile(recipe("1.2.3.4.5.6", "1.4"))),
  };
  const auto before = HashTree(dir.path());
  StudyCollection collection;
  Load(collection, sources);

  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.shownFiles, 4);
  EXPECT_EQ(result.written, 4);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(CompletionText(result), u"脱敏完成");

  Analysed a(dir.Join("ct__Anony/a.dcm")), b(dir.Join("ct__Anony/b.dcm")), c(dir.Join("ct__Anony/c.dcm")),
      d(dir.Join("ct2__Anony/d.dcm"));
  for (const Analysed* out : {&a, &b, &c, &d}) ASSERT_EQ(out->file.status, StatusImage);
  const auto study = [](const Analysed& x) { return x.Value(0x0020, 0x000D); };
  const auto series = [](const Analysed& x) { return x.Value(0x0020, 0x000E); };
  const auto sop = [](const Analysed& x) { return x.Value(0x0008, 0x0018); };
  EXPECT_EQ(study(a), study(b));
  EXPECT_EQ(study(a), study(c));
  EXPECT_EQ(study(a), study(d));
  EXPECT_EQ(series(a), series(b));
  EXPECT_NE(series(a), series(c));
  EXPECT_EQ(series(a), series(d));
  EXPECT_EQ(collection.patients[0]->studies.length, 2);
  EXPECT_EQ(std::set<std::string>({sop(a), sop(b), sop(c), sop(d)}).size(), 4u);
  EXPECT_EQ(a.Value(0x0010, 0x0010), "********");

  // A second run rewrites the same paths with the cached study and series
  // UIDs and new instance UIDs.
  AnonymizeResult again = AnonymizeCollection(collection);
  EXPECT_EQ(again.written, 4);
  Analysed a2(dir.Join("ct__Anony/a.dcm"));
  EXPECT_EQ(study(a2), study(a));
  EXPECT_EQ(series(a2), series(a));
  EXPECT_NE(sop(a2), sop(a));

  // The sources are byte for byte what they were.
  for (const auto& [path, hash] : before) EXPECT_EQ(Hash(path), hash) << path;
}

TEST(AnonymizeCollection, DoesNothingWithoutShownFiles) {
  StudyCollection collection;
  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.shownFiles, 0);
  EXPECT_EQ(result.written + result.failed, 0);

  // Files still pending are not counted or written.
  TempDir dir;
  std::string source = dir.Write("ct/a.dcm", fixture::BuildSimpleFile({}));
  ASSERT_TRUE(collection.LoadFile(U(source)));
  EXPECT_EQ(AnonymizeCollection(collection).shownFiles, 0);
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony/a.dcm")));
}

TEST(AnonymizeCollection, ReportsEveryFileThatWasNotWritten) {
  TempDir dir;
  std::vector<std::string> sources = {
      dir.Write("ok/a.dcm", fixture::BuildSimpleFile({})),
      dir.Write("blocked/a.dcm", fixture::BuildSimpleFile({})),  // its output folder is a file
      dir.Write("taken/a.dcm", fixture::BuildSimpleFile({})),    // its output name is a folder
  };
  dir.Write("blocked__Anony", {1, 2, 3});
  fs::create_directories(dir.Join("taken__Anony/a.dcm"));
  StudyCollection collection;
  Load(collection, sources);
  // A file whose path has no folder part cannot say where its copy goes.
  auto* bare = new DicomFile;
  std::vector<uint8_t> bytes = fixture::BuildSimpleFile({});
  bare->AnalyseBytes(u"a.dcm", bytes.data(), bytes.size());
  ASSERT_TRUE(collection.AddAnalysedFile(bare));
  ASSERT_EQ(collection.TakeAllPendingFiles(), 0);

  AnonymizeResult result = AnonymizeCollection(collection);
  const int32_t expectedFailures = 3;
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(result.failed, expectedFailures);
  ASSERT_EQ(result.failures.size(), static_cast<size_t>(expectedFailures));
  std::map<std::string, AnonymizeFailure> reasons;
  for (const FileFailure& f : result.failures) reasons[N(f.path)] = f.reason;
  EXPECT_EQ(reasons[dir.Join("blocked/a.dcm")], AnonymizeFailure::NotSaved);
  EXPECT_EQ(reasons[dir.Join("taken/a.dcm")], AnonymizeFailure::NotSaved);
  EXPECT_EQ(reasons["a.dcm"], AnonymizeFailure::NoFolder);
  EXPECT_EQ(CompletionText(result), u"脱敏完成，3 个文件写入失败");
  EXPECT_TRUE(fixture::FileExists(dir.Join("ok__Anony/a.dcm")));
  EXPECT_EQ(fixture::ReadFileBytes(dir.Join("blocked__Anony")), (Bytes{1, 2, 3}));
  // A failed write leaves no partial file or temporary behind.
  EXPECT_TRUE(fs::is_directory(dir.Join("taken__Anony/a.dcm")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Join("taken__Anony")), fs::directory_iterator()), 1);
}

TEST(AnonymizeCollection, DoesNotWriteASourceThatChangedAfterLoading) {
  TempDir dir;
  SimpleFile large;
  large.pixelBytes = kViewedFileMinimum;  // viewed in place
  large.sopInstanceUid = "1.2.3.1";
  SimpleFile small;  // held as a copy
  small.sopInstanceUid = "1.2.3.2";
  const std::string kept = dir.Write("ct/kept.dcm", fixture::BuildSimpleFile(large));
  large.sopInstanceUid = "1.2.3.3";
  const std::string cut = dir.Write("ct/cut.dcm", fixture::BuildSimpleFile(large));
  const std::string copied = dir.Write("ct/copied.dcm", fixture::BuildSimpleFile(small));
  StudyCollection collection;
  Load(collection, {kept, cut, copied});
  // Another program shortens two of them before the command runs.
  ASSERT_EQ(::truncate(cut.c_str(), 300), 0);
  ASSERT_EQ(::truncate(copied.c_str(), 300), 0);

  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.failed, 1);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(N(result.failures[0].path), cut);
  EXPECT_EQ(result.failures[0].reason, AnonymizeFailure::SourceChanged);
  EXPECT_EQ(CompletionText(result), u"脱敏完成，1 个文件写入失败");
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony/cut.dcm")));
  // The others are whole copies of what was loaded.
  for (const char* name : {"kept.dcm", "copied.dcm"}) {
    Analysed out(dir.Join(std::string("ct__Anony/") + name));
    EXPECT_EQ(out.file.status, StatusImage) << name;
    EXPECT_EQ(out.Value(0x0010, 0x0010), "********") << name;  // as long as "DOE^JOHN"
  }
}

TEST(AnonymizeCollection, RefusesADeflatedDataSetWithItsReason) {
  // The meta group is copied as read, so a copy written inflated would name
  // the wrong transfer syntax: the file is refused, the others written.
  TempDir dir;
  SimpleFile deflated;
  deflated.sopInstanceUid = "1.2.3.7";
  SimpleFile plain;
  plain.sopInstanceUid = "1.2.3.8";
  const std::string packed = dir.Write("ct/packed.dcm", fixture::BuildDeflatedFile(deflated));
  const std::string other = dir.Write("ct/plain.dcm", fixture::BuildSimpleFile(plain));
  StudyCollection collection;
  Load(collection, {packed, other});
  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.written, 1);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(N(result.failures[0].path), packed);
  EXPECT_EQ(result.failures[0].reason, AnonymizeFailure::DeflatedDataSet);
  EXPECT_STRNE(AnonymizeFailureText(AnonymizeFailure::DeflatedDataSet), "unknown failure");
  EXPECT_FALSE(fixture::FileExists(dir.Join("ct__Anony/packed.dcm")));
  EXPECT_TRUE(fixture::FileExists(dir.Join("ct__Anony/plain.dcm")));
}

TEST(AnonymizeCollection, ReportsAFolderItMayNotWriteInto) {
  TempDir dir;
  std::string source = dir.Write("ro/in/a.dcm", fixture::BuildSimpleFile({}));
  StudyCollection collection;
  Load(collection, {source});
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.Join("ro").c_str(), 0555), 0);
  // The sources are in memory; only the output folder must be created.
  std::optional<bool> reported = fixture::RunUnprivileged([&] {
    AnonymizeResult result = AnonymizeCollection(collection);
    return result.written == 0 && result.failed == 1 && result.failures.size() == 1 &&
           result.failures[0].reason == AnonymizeFailure::NotSaved &&
           CompletionText(result) == u"脱敏完成，1 个文件写入失败";
  });
  ::chmod(dir.Join("ro").c_str(), 0755);
  ASSERT_TRUE(reported.has_value()) << "cannot run as an ordinary user";
  EXPECT_TRUE(*reported);
  EXPECT_FALSE(fs::exists(dir.Join("ro/in__Anony")));
}

TEST(AnonymizeCollection, WritesNothingOutsideTheOutputFolder) {
  TempDir dir;
  std::string source = dir.Write("ct/a.dcm", fixture::BuildSimpleFile({}));
  std::string backToSource = dir.Write("mr/a.dcm", fixture::BuildSimpleFile({}));
  std::string elsewhere = dir.Write("us/a.dcm", fixture::BuildSimpleFile({}));
  std::string victim = dir.Write("victim.txt", {'k', 'e', 'e', 'p'});
  fs::create_directories(dir.Join("other"));
  // A link planted at an output name, an output folder that is a link back
  // to its source folder, and one that is a link to some other folder.
  fs::create_directories(dir.Join("ct__Anony"));
  fs::create_symlink(victim, dir.Join("ct__Anony/a.dcm"));
  fs::create_directory_symlink(dir.Join("mr"), dir.Join("mr__Anony"));
  fs::create_directory_symlink(dir.Join("other"), dir.Join("us__Anony"));
  const auto before = HashTree(dir.path());

  StudyCollection collection;
  Load(collection, {source, backToSource, elsewhere});
  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.written, 1);
  ASSERT_EQ(result.failed, 2);
  EXPECT_EQ(N(result.failures[0].path), backToSource);
  EXPECT_EQ(N(result.failures[1].path), elsewhere);
  for (const FileFailure& f : result.failures) EXPECT_EQ(f.reason, AnonymizeFailure::OutputFolderIsLink);

  // The link at the output name was replaced by the output; what it pointed
  // to is untouched, and nothing reached the folders behind the other links.
  EXPECT_FALSE(fs::is_symlink(dir.Join("ct__Anony/a.dcm")));
  EXPECT_EQ(Analysed(dir.Join("ct__Anony/a.dcm")).file.status, StatusImage);
  EXPECT_EQ(fixture::ReadFileBytes(victim), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(fs::is_empty(dir.Join("other")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Join("mr")), fs::directory_iterator()), 1);
  for (const auto& [path, hash] : before) EXPECT_EQ(Hash(path), hash) << path;
}

// Runs dcmdump on the file; true when it exits 0 and reports no error.
bool DcmdumpReads(const std::string& path, std::string& messages) {
  std::string log = path + ".dcmdump.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv = {const_cast<char*>("dcmdump"), const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, "dcmdump", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    messages = "dcmdump could not be started";
    return false;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Bytes text = fixture::ReadFileBytes(log);
  messages.assign(text.begin(), text.end());
  fs::remove(log);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && messages.find("E:") == std::string::npos;
}

// Higher is better: an interrupted walk, a complete one, an image.
int Rank(int32_t status) { return status == StatusImage ? 2 : status == StatusComplete ? 1 : 0; }

TEST(AnonymizeCollection, OutputsReadAgainAtLeastAsWellAsTheirSourcesAndUnreadSourcesAreRefused) {
  struct Fixture {
    const char* name;
    Bytes bytes;
    AnonymizeFailure expected;  // None: written, and an independent reader must accept the copy
  };
  DicomBuilder encapsulated(Encoding::ExplicitLittle);
  encapsulated.Preamble().Meta(fixture::kJpegBaseline, "1.2.840.10008.5.1.4.1.1.7", "1.2.3.4");
  encapsulated.Text(0x0008, 0x0020, "DA", "20240102").Text(0x0010, 0x0010, "PN", "DOE^JANE")
      .Text(0x0029, 0x0010, "LO", "ACME").Element(0x0029, 0x1010, "OB", Bytes(64, 7))
      .Uid(0x0020, 0x000D, "1.2.3").US(0x0028, 0x0010, 4)
      .EncapsulatedPixelData({Bytes(100, 0xFF), Bytes(50, 0xD9)});
  DicomBuilder bare(Encoding::ImplicitLittle);
  bare.Text(0x0008, 0x0020, "DA", "20240102").Text(0x0010, 0x0010, "PN", "DOE^JANE")
      .Uid(0x0020, 0x000D, "1.2.3").Element(0x7FE0, 0x0010, "OW", Bytes(160, 3));
  // Analyses that stop before the end: a cut-off MR, a meta group without
  // (0002,0010) before an implicit data set (read as explicit), and a text
  // file; and an explicit data set without preamble or meta group, which is
  // read but cannot be written.
  DicomBuilder truncated(Encoding::ExplicitLittle);
  truncated.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.4", "1.2.3.4");
  truncated.Text(0x0010, 0x0010, "PN", "DOE^JANE").Text(0x0020, 0x0010, "SH", "S1")
      .Header(0x7FE0, 0x0010, "OW", 1000).Raw(Bytes(40, 9));
  DicomBuilder noSyntax(Encoding::ImplicitLittle);
  noSyntax.Preamble();
  noSyntax.Text(0x0002, 0x0001, "OB", std::string("\x00\x01", 2)).Uid(0x0002, 0x0002, "1.2.840.10008.5.1.4.1.1.2")
      .Uid(0x0002, 0x0003, "1.2.3.4");
  noSyntax.Text(0x0008, 0x0020, "DA", "20240102").Text(0x0010, 0x0010, "PN", "DOE^JANE")
      .Uid(0x0020, 0x000D, "1.2.3").Element(0x7FE0, 0x0010, "OW", Bytes(64, 3));
  DicomBuilder bareExplicit(Encoding::ExplicitLittle);
  bareExplicit.Text(0x0008, 0x0020, "DA", "20240102").Text(0x0010, 0x0010, "PN", "DOE^JANE")
      .Uid(0x0020, 0x000D, "1.2.3").Element(0x7FE0, 0x0010, "OW", Bytes(160, 3));
  const std::string prose(400, 'x');
  SimpleFile big;
  big.encoding = Encoding::ExplicitBig;
  SimpleFile implicit;
  implicit.encoding = Encoding::ImplicitLittle;
  std::vector<Fixture> fixtures = {
      {"rich_explicit.dcm", RichFile(Encoding::ExplicitLittle, 0x55), AnonymizeFailure::None},
      {"rich_implicit.dcm", RichFile(Encoding::ImplicitLittle), AnonymizeFailure::None},
      {"rich_big.dcm", RichFile(Encoding::ExplicitBig), AnonymizeFailure::None},
      {"simple_big.dcm", fixture::BuildSimpleFile(big), AnonymizeFailure::None},
      {"simple_implicit.dcm", fixture::BuildSimpleFile(implicit), AnonymizeFailure::None},
      {"encapsulated.dcm", encapsulated.Bytes(), AnonymizeFailure::None},
      {"bare", bare.Bytes(), AnonymizeFailure::None},
      {"truncated.dcm", truncated.Bytes(), AnonymizeFailure::AnalysisInterrupted},
      {"no_syntax.dcm", noSyntax.Bytes(), AnonymizeFailure::AnalysisInterrupted},
      {"bare_explicit", bareExplicit.Bytes(), AnonymizeFailure::BareExplicitDataSet},
      {"notes", Bytes(prose.begin(), prose.end()), AnonymizeFailure::NotDicom},
  };
  TempDir dir;
  std::vector<std::string> sources;
  for (const Fixture& f : fixtures) sources.push_back(dir.Write(std::string("in/") + f.name, f.bytes));
  // A copy of an earlier run under the name of a file that is now refused.
  const std::string older = dir.Write("in__Anony/truncated.dcm", {'o', 'l', 'd'});
  const auto before = HashTree(dir.path());
  StudyCollection collection;
  Load(collection, sources);  // every one of them is loaded and shown
  AnonymizeResult result = AnonymizeCollection(collection);
  std::map<std::string, const FileFailure*> failures;
  for (const FileFailure& f : result.failures) failures[N(f.path)] = &f;
  int32_t refused = 0;

  for (size_t i = 0; i < fixtures.size(); ++i) {
    SCOPED_TRACE(fixtures[i].name);
    const std::string copy = dir.Join(std::string("in__Anony/") + fixtures[i].name);
    Analysed source(sources[i]);
    if (fixtures[i].expected != AnonymizeFailure::None) {
      ++refused;
      ASSERT_EQ(failures.count(sources[i]), 1u);
      const FileFailure& failure = *failures[sources[i]];
      EXPECT_EQ(failure.reason, fixtures[i].expected);
      if (failure.reason == AnonymizeFailure::AnalysisInterrupted) {
        EXPECT_EQ(failure.stopPosition, source.file.walkStop);
        EXPECT_EQ(failure.fileSize, static_cast<int64_t>(fixtures[i].bytes.size()));
        EXPECT_EQ(FailureDescription(failure), "analysis interrupted at byte " + std::to_string(source.file.walkStop) +
                                                   " of " + std::to_string(fixtures[i].bytes.size()));
      }
      if (copy != older) {
        EXPECT_FALSE(fixture::FileExists(copy));
      }
      continue;
    }
    EXPECT_EQ(failures.count(sources[i]), 0u);
    Analysed output(copy);
    EXPECT_GE(Rank(output.file.status), Rank(source.file.status));
    EXPECT_EQ(output.file.transferSyntaxIndex, source.file.transferSyntaxIndex);
    for (const DicomElement& e : output.file.elements) EXPECT_EQ(e.group & 1, 0);
    std::string messages;
    EXPECT_TRUE(DcmdumpReads(N(output.file.path), messages)) << messages;
  }
  EXPECT_EQ(result.failed, refused);
  EXPECT_EQ(result.written, static_cast<int32_t>(fixtures.size()) - refused);
  EXPECT_EQ(CompletionText(result), u"脱敏完成，" + U(std::to_string(refused)) + u" 个文件写入失败");
  // The older copy is left as it was, and so is every source.
  EXPECT_EQ(fixture::ReadFileBytes(older), (Bytes{'o', 'l', 'd'}));
  for (const auto& [path, hash] : before) EXPECT_EQ(Hash(path), hash) << path;
}

TEST(AnonymizeCollection, NeverWritesOntoALoadedSourceWhateverTheLinks) {
  TempDir dir;
  // The source folder "s" is a link to what would be its output folder, so
  // the copy of s/a.dcm would be s__Anony/a.dcm: the source itself.
  const std::string real = dir.Write("s__Anony/a.dcm", fixture::BuildSimpleFile({}));
  fs::create_directory_symlink(dir.Join("s__Anony"), dir.Join("s"));
  // A loaded source that is a hard link of another folder's output name.
  const std::string linked = dir.Write("t/b.dcm", fixture::BuildSimpleFile({}));
  const std::string other = dir.Write("u/b.dcm", fixture::BuildSimpleFile({}));
  fs::create_directories(dir.Join("u__Anony"));
  fs::create_hard_link(linked, dir.Join("u__Anony/b.dcm"));
  const auto before = HashTree(dir.path());

  StudyCollection collection;
  Load(collection, {dir.Join("s/a.dcm"), linked, other});
  AnonymizeResult result = AnonymizeCollection(collection);
  EXPECT_EQ(result.written, 1);  // t/b.dcm, into t__Anony
  ASSERT_EQ(result.failed, 2);
  std::set<std::string> refused;
  for (const FileFailure& f : result.failures) {
    EXPECT_EQ(f.reason, AnonymizeFailure::WouldOverwriteSource) << N(f.path);
    refused.insert(N(f.path));
  }
  EXPECT_EQ(refused, (std::set<std::string>{dir.Join("s/a.dcm"), other}));
  for (const auto& [path, hash] : before) EXPECT_EQ(Hash(path), hash) << path;
  EXPECT_EQ(Analysed(real).Value(0x0010, 0x0010), "DOE^JOHN");
}

TEST(CompletionNotice, NamesTheFirstFailuresWithTheirReasonsAndCountsTheRest) {
  AnonymizeResult result;
  result.shownFiles = 9;
  result.written = 2;
  const FileFailure failures[] = {
      {u"/d/a.dcm", u"/d__Anony/a.dcm", AnonymizeFailure::AnalysisInterrupted, 300, 1200},
      {u"/d/b.dcm", u"/d__Anony/b.dcm", AnonymizeFailure::NotDicom},
      {u"/d/c.dcm", u"/d__Anony/c.dcm", AnonymizeFailure::NotSaved},
      {u"/d/d.dcm", u"/d__Anony/d.dcm", AnonymizeFailure::WouldOverwriteSource},
      {u"/d/e.dcm", u"/d__Anony/e.dcm", AnonymizeFailure::SourceChanged},
      {u"/d/f.dcm", u"/d__Anony/f.dcm", AnonymizeFailure::NotSaved},
      {u"/d/g.dcm", u"/d__Anony/g.dcm", AnonymizeFailure::NotSaved},
  };
  result.failures.assign(std::begin(failures), std::end(failures));
  result.failed = static_cast<int32_t>(result.failures.size());
  EXPECT_EQ(CompletionNotice(result),
            u"脱敏完成，7 个文件写入失败\n"
            u"a.dcm：分析中断（第 300 字节，共 1200 字节）\n"
            u"b.dcm：不是DICOM文件\n"
            u"c.dcm：副本无法写入\n"
            u"d.dcm：副本会覆盖已载入的源文件\n"
            u"e.dcm：源文件载入后已被修改或无法读取\n"
            u"另有 2 个文件未列出");
  EXPECT_EQ(CompletionNotice(result, 7).find(u"另有"), std::u16string::npos);
  EXPECT_EQ(FailureDescription(result.failures[0]), "analysis interrupted at byte 300 of 1200");
  AnonymizeResult clean;
  clean.shownFiles = clean.written = 3;
  EXPECT_EQ(CompletionNotice(clean), u"脱敏完成");
}

}  // namespace
