// DicomFile: reading files, the statuses, the log with its gate and outputs,
// the path and value queries, and the serial counter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using fixture::DicomBuilder;
using fixture::Encoding;
using fixture::Length;

std::string Utf8(const std::u16string& text) { return plat::Utf16ToUtf8(text); }

std::unique_ptr<DicomFile> AnalysedPath(const std::string& path) {
  auto file = std::make_unique<DicomFile>();
  file->logToText = 1;
  file->Analyse(plat::PathFromNative(path));
  return file;
}

std::unique_ptr<DicomFile> AnalysedBytes(const std::vector<uint8_t>& bytes) {
  auto file = std::make_unique<DicomFile>();
  file->AnalyseBytes(u"mem.dcm", bytes.data(), bytes.size());
  return file;
}

bool LogHas(const DicomFile& f, const std::u16string& text) { return f.logText.find(text) != std::u16string::npos; }

std::vector<uint8_t> PixelDataInsideSequenceOnly() {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle).Text(0x0010, 0x0010, "PN", "A");
  b.BeginSequence(0x0040, 0xA730).BeginItem();
  b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(8, 1));
  b.EndItem().EndSequence();
  return b.Bytes();
}

std::vector<uint8_t> JpegBaselineFile() {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kJpegBaseline).Text(0x0010, 0x0010, "PN", "A");
  b.EncapsulatedPixelData({{0xFF, 0xD8, 0xFF, 0xD9}});
  return b.Bytes();
}

TEST(DicomFile, StatusOfEachKindOfFile) {
  fixture::TempDir dir;
  const std::vector<uint8_t> marker132 = DicomBuilder().Preamble().Bytes();
  const std::vector<uint8_t> marker133 = DicomBuilder().Preamble().Raw({0x08}).Bytes();
  std::string prose;
  while (prose.size() < 300) prose += "The quick brown fox jumps over the lazy dog. ";
  ASSERT_EQ(mkfifo(dir.Join("pipe.dcm").c_str(), 0600), 0);
  ::mkdir(dir.Join("folder.dcm").c_str(), 0700);

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;  // written under the name; empty name parts are not written
    bool write;
    int32_t status;
    const char16_t* logLine;
  } cases[] = {
      {"explicit.dcm", fixture::BuildSimpleFile({}), true, StatusImage, u"文件分析完毕!\r\n\r\n\r\n"},
      {"jpeg.dcm", JpegBaselineFile(), true, StatusComplete, u"文件分析完毕!\r\n\r\n\r\n"},
      {"nested-pixels.dcm", PixelDataInsideSequenceOnly(), true, StatusComplete, u"文件分析完毕!\r\n\r\n\r\n"},
      {"marker133.dcm", marker133, true, StatusInterrupted, u"文件分析中断!\r\n\r\n\r\n"},
      {"prose.txt", std::vector<uint8_t>(prose.begin(), prose.end()), true, StatusInterrupted,
       u"此文件没有DICM标记，非DICOM文件\r\n"},
      {"marker132.dcm", marker132, true, StatusNotRead, u"文件长度：132 字节\r\n此文件长度小于128字节，非DICOM文件\r\n"},
      {"empty.dcm", {}, true, StatusNotRead, u"此文件长度小于128字节，非DICOM文件\r\n"},
      {"missing.dcm", {}, false, StatusNotRead, u"文件打开失败，分析进程结束\r\n"},
      {"pipe.dcm", {}, false, StatusNotRead, u"文件打开失败，分析进程结束\r\n"},
      {"folder.dcm", {}, false, StatusNotRead, u"文件打开失败，分析进程结束\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.write ? dir.Write(c.name, c.bytes) : dir.Join(c.name);
    const auto started = std::chrono::steady_clock::now();
    auto f = AnalysedPath(path);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "the open must not block";
    EXPECT_EQ(f->status, c.status);
    EXPECT_TRUE(LogHas(*f, c.logLine)) << Utf8(f->logText);
    if (c.status == StatusNotRead) {
      EXPECT_EQ(f->elements.length, 0);
    } else {
      // Reading the file and analysing the same bytes in memory agree.
      auto m = AnalysedBytes(c.bytes);
      EXPECT_EQ(m->status, f->status);
      EXPECT_EQ(m->elements.length, f->elements.length);
    }
  }
}

TEST(DicomFile, FileLongerThanTheLimitIsNotRead) {
  // A sparse file: its length is all that matters, nothing is read.
  fixture::TempDir dir;
  const std::string path = dir.Write("huge.dcm", DicomBuilder().Preamble().Bytes());
  ASSERT_EQ(::truncate(path.c_str(), kMaxFileBytes + 1), 0);
  auto f = AnalysedPath(path);
  EXPECT_EQ(f->status, StatusNotRead);
  EXPECT_EQ(f->fileBytes.length, 0);
  EXPECT_TRUE(LogHas(*f, u"文件长度：1024000001 字节\r\n文件打开失败，分析进程结束\r\n")) << Utf8(f->logText);
}

// A CT-like file of `pixelBytes` bytes of pixel data and a patient name.
std::vector<uint8_t> FileWithPixels(uint32_t pixelBytes) {
  fixture::SimpleFile recipe;
  recipe.pixelBytes = pixelBytes;
  return fixture::BuildSimpleFile(recipe);
}

TEST(DicomFile, LargeFilesAreViewedAndKnowWhenTheDiskChanged) {
  fixture::TempDir dir;
  const std::vector<uint8_t> large = FileWithPixels(kViewedFileMinimum);
  const std::vector<uint8_t> small = FileWithPixels(1000);

  struct Case {
    const char* name;
    bool large;
    void (*change)(const std::string& path);
    bool asLoaded;
  } cases[] = {
      {"untouched", true, [](const std::string&) {}, true},
      {"truncated", true, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 200), 0); }, false},
      {"grown", true, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 2 * kViewedFileMinimum), 0); }, false},
      {"deleted", true, [](const std::string& p) { ASSERT_EQ(::unlink(p.c_str()), 0); }, false},
      {"rewritten in place", true,
       [](const std::string& p) { std::FILE* f = std::fopen(p.c_str(), "r+b"); std::fputc(0, f); std::fclose(f); },
       false},
      // A small file is a copy: what happens on the disk does not reach it.
      {"small, truncated", false, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 0), 0); }, true},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t>& bytes = c.large ? large : small;
    const std::string path = dir.Write(std::string(c.name) + ".dcm", bytes);
    // Moved a second back, so that a rewrite within the same clock tick
    // still gives another modification time.
    struct timespec earlier[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), earlier, 0), 0);
    auto f = AnalysedPath(path);
    ASSERT_EQ(f->status, StatusImage) << c.name;
    EXPECT_EQ(f->fileBytes.Adopted(), c.large) << c.name;
    ASSERT_EQ(f->fileBytes.length, static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(f->BytesAsLoaded()) << c.name;
    c.change(path);
    EXPECT_EQ(f->BytesAsLoaded(), c.asLoaded) << c.name;
    // Every byte stays readable whatever happened on the disk: the ones the
    // file still has, and zeros past the page its new end falls in.
    const std::vector<uint8_t> seen(f->fileBytes.begin(), f->fileBytes.end());
    if (std::string(c.name) == "truncated") {
      // Everything before the Pixel Data value is held as analysed; the value
      // itself reads the file, zeros past its new end.
      const DicomElement& pixels = f->elements[f->elements.length - 1];
      ASSERT_EQ(pixels.Key(), MakeTagKey(0x7FE0, 0x0010));
      const size_t valueStart = static_cast<size_t>(pixels.end - pixels.length);
      const size_t firstUnheldPage = (valueStart + 4095) / 4096 * 4096;
      EXPECT_TRUE(std::equal(seen.begin(), seen.begin() + static_cast<long>(firstUnheldPage), bytes.begin()));
      EXPECT_EQ(std::count(seen.begin() + static_cast<long>(firstUnheldPage), seen.end(), 0),
                static_cast<long>(seen.size() - firstUnheldPage));
    } else {
      EXPECT_EQ(seen, bytes) << c.name;
    }
    std::u16string name;
    EXPECT_GT(f->ValueByKey(MakeTagKey(0x0010, 0x0010), name), 0) << c.name;
  }
}

TEST(DicomFile, AnalysingAgainLetsTheViewGo) {
  fixture::TempDir dir;
  const std::string large = dir.Write("large.dcm", FileWithPixels(kViewedFileMinimum));
  DicomFile f;
  f.Analyse(plat::PathFromNative(large));
  ASSERT_TRUE(f.fileBytes.Adopted());
  const std::vector<uint8_t> bytes = FileWithPixels(16);
  f.AnalyseBytes(u"/mem/b.dcm", bytes.data(), bytes.size());
  EXPECT_FALSE(f.fileBytes.Adopted());
  EXPECT_TRUE(f.BytesAsLoaded());
  EXPECT_EQ(std::vector<uint8_t>(f.fileBytes.begin(), f.fileBytes.end()), bytes);
  // The view ended with the analysis: the file can go and nothing reads it.
  ASSERT_EQ(::truncate(large.c_str(), 0), 0);
  EXPECT_EQ(f.status, StatusImage);
}

TEST(DicomFile, PathThatIsNotUtf8StillOpens) {
  fixture::TempDir dir;
  const std::string path = dir.Write("\xB2\xE2\xCA\xD4.dcm", fixture::BuildSimpleFile({}));  // GBK bytes
  auto f = AnalysedPath(path);
  EXPECT_EQ(f->status, StatusImage);
  EXPECT_EQ(plat::PathToNative(f->path), path);
}

// The file of the log tests: a preamble holding "ABC", the meta group, a
// sequence with one element and Patient's Name.
std::vector<uint8_t> LogFixture() {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.BeginSequence(0x0008, 0x1140).BeginItem().Uid(0x0008, 0x1150, "1.2").EndItem().EndSequence();
  b.Text(0x0010, 0x0010, "PN", "X");
  std::vector<uint8_t> bytes = b.Bytes();
  bytes[0] = 'A';
  bytes[1] = 'B';
  bytes[2] = 'C';
  return bytes;
}

const char16_t kLogBody[] =
    u"此文件前128字符包含特殊内容:\r\n"
    u"ABC\r\n"
    u"1:(132-144)[0002,0000]:UL,File Meta Information Group Length,42\r\n"
    u"2:(144-158)[0002,0001]:OB,File Meta Information Version,{binary data}\r\n"
    u"3:(158-186)[0002,0010]:UI,Transfer Syntax UID,1.2.840.10008.1.2.1\r\n"
    u"4:(186-****)[0008,1140]:SQ,Referenced Image Sequence\r\n"
    u"%s5:(206-218)[0008,1150]:UI,Referenced SOP Class UID,1.2\r\n"
    u"6:(234-244)[0010,0010]:PN,Patient's Name,X \r\n"
    u"文件分析完毕!\r\n\r\n\r\n";

std::u16string ExpectedLog(const std::u16string& path, const std::u16string& indent) {
  std::u16string body = kLogBody;
  body.replace(body.find(u"%s"), 2, indent);
  return u"分析文件：" + path + u"\r\n文件长度：244 字节\r\n" + body;
}

TEST(DicomFile, LogHasEveryMessageInOrderOnBothOutputs) {
  fixture::TempDir dir;
  const std::string path = dir.Write("log.dcm", LogFixture());
  struct Case {
    int32_t enabled, toText, toDebugger;
  } cases[] = {{1, 1, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.enabled << c.toText << c.toDebugger);
    DicomFile f;
    f.logEnabled = c.enabled;
    f.logToText = c.toText;
    f.logToDebugger = c.toDebugger;
    testing::internal::CaptureStderr();
    f.Analyse(plat::PathFromNative(path));
    const std::string debugger = testing::internal::GetCapturedStderr();
    EXPECT_EQ(f.status, StatusComplete);
    const std::u16string text = c.enabled && c.toText ? ExpectedLog(f.path, u"    ") : u"";
    const std::u16string copy = c.enabled && c.toDebugger ? ExpectedLog(f.path, u"") : u"";
    EXPECT_EQ(Utf8(f.logText), Utf8(text));
    EXPECT_EQ(debugger, Utf8(copy)) << "the debugger copy has no indentation";
  }
}

TEST(DicomFile, PreambleStartingWithZeroGivesAnEmptyPreambleMessage) {
  std::vector<uint8_t> bytes = LogFixture();
  bytes[0] = 0;
  bytes[100] = 'Z';
  DicomFile f;
  f.logToText = 1;
  f.AnalyseBytes(u"p.dcm", bytes.data(), bytes.size());
  EXPECT_TRUE(LogHas(f, u"字节\r\n此文件前128字符包含特殊内容:\r\n\r\n1:(132-144)")) << Utf8(f.logText);
}

TEST(DicomFile, ShortenPathKeepsHeadAndTail) {
  const std::u16string alphabet = u"abcdefghijklmnopqrstuvwxyz0123456789";
  struct Case {
    size_t length;
    int32_t limit;
    size_t resultLength;
  } cases[] = {{25, 26, 25}, {26, 26, 29}, {36, 26, 29}, {109, 110, 109}, {110, 110, 113}, {300, 110, 113}};
  for (const Case& c : cases) {
    std::u16string text;
    while (text.size() < c.length) text += alphabet;
    text.resize(c.length);
    const std::u16string shortened = ShortenPath(text, c.limit);
    EXPECT_EQ(shortened.size(), c.resultLength) << c.length << "/" << c.limit;
    if (c.length < static_cast<size_t>(c.limit)) {
      EXPECT_EQ(shortened, text);
    } else {
      EXPECT_EQ(shortened, text.substr(0, 3) + u"..." + text.substr(text.size() - (c.limit - 3)));
    }
  }
  auto f = AnalysedBytes(fixture::BuildSimpleFile({}));
  EXPECT_EQ(f->shortPath, u"mem.dcm");
}

TEST(DicomFile, ValueByKeyTakesTheFirstTopLevelElementOnly) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.BeginSequence(0x0008, 0x1140).BeginItem().Text(0x0010, 0x0020, "LO", "NESTED").EndItem().EndSequence();
  b.Element(0x0010, 0x0010, "PN", "");            // empty first
  b.Text(0x0010, 0x0020, "LO", "ID 7");           // after a nested one
  b.Element(0x0010, 0x0030, "DA", std::string_view("1999\0\0\0\0", 8));  // zero bytes end the text
  b.Text(0x0010, 0x0040, "CS", "F");              // trailing space stays
  b.Text(0x0010, 0x0010, "PN", "LATER");
  auto f = AnalysedBytes(b.Bytes());
  ASSERT_EQ(f->status, StatusComplete);

  struct Case {
    uint16_t group, element;
    int32_t result;
    const char* text;
  } cases[] = {
      {0x0010, 0x0010, -1, "untouched"}, {0x0010, 0x0020, 4, "ID 7"}, {0x0010, 0x0030, 8, "1999"},
      {0x0010, 0x0040, 2, "F "},         {0x0008, 0x1140, -1, "untouched"}, {0x0020, 0x000D, -1, "untouched"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"untouched";
    EXPECT_EQ(f->ValueByKey(MakeTagKey(c.group, c.element), out), c.result) << c.text;
    EXPECT_EQ(Utf8(out), c.text);
  }
}

TEST(DicomFile, ValueByKeyOfAValueLongerThanTheFileIsEmpty) {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle).Header(0x0010, 0x0020, "LO", 60000).Raw({'P', 'I', 'D'});
  auto f = AnalysedBytes(b.Bytes());
  ASSERT_EQ(f->status, StatusInterrupted);
  std::u16string out = u"untouched";
  EXPECT_EQ(f->ValueByKey(MakeTagKey(0x0010, 0x0020), out), 60000);
  EXPECT_EQ(out, u"");
}

TEST(DicomFile, MatchesRowComparesWithoutAsciiCase) {
  fixture::SimpleFile recipe;
  recipe.patientName = "Zhang^San";
  auto f = AnalysedBytes(fixture::BuildSimpleFile(recipe));
  const int32_t nameRow = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0010));
  const int32_t issuerRow = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0021));  // absent from the file
  ASSERT_GE(nameRow, 0);
  ASSERT_GE(issuerRow, 0);
  struct Case {
    const char16_t* text;
    int32_t row, result;
  } cases[] = {
      {u"Zhang^San ", nameRow, 1},  {u"ZHANG^SAN ", nameRow, 1}, {u"zhang^san ", nameRow, 1},
      // Trailing spaces are padding: the stored "Zhang^San " and "Zhang^San"
      // are one name (their count depends on the encoding's byte length).
      {u"Zhang^San", nameRow, 1},   {u"Li^Si", nameRow, 0},      {u"anything", issuerRow, 1},
      {u"Zhang^Sa", nameRow, 0},    {u" Zhang^San", nameRow, 0},
      {u"", issuerRow, 1},          {u"x", TagDictionaryRowCount(), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(f->MatchesRow(c.text, c.row), c.result) << Utf8(c.text) << " row " << c.row;
}

TEST(DicomFile, IsExplicitElementFollowsGroupAndDataSet) {
  for (Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle}) {
    fixture::SimpleFile recipe;
    recipe.encoding = encoding;
    auto f = AnalysedBytes(fixture::BuildSimpleFile(recipe));
    for (const DicomElement& e : f->elements) {
      const int32_t expected = e.group == 0x0002 || encoding == Encoding::ExplicitLittle ? 1 : 0;
      EXPECT_EQ(f->IsExplicitElement(e), expected);
    }
  }
}

TEST(DicomFile, SerialsAreConsecutiveAcrossDestruction) {
  int32_t first;
  {
    DicomFile a;
    first = a.serial;
    a.Analyse(u"/nonexistent/x.dcm");
    EXPECT_EQ(a.status, StatusNotRead);
  }
  DicomFile b;
  DicomFile c;
  EXPECT_EQ(b.serial, first + 1);
  EXPECT_EQ(c.serial, first + 2);
}

TEST(DicomFile, ConstructionDefaults) {
  DicomFile f;
  EXPECT_EQ(f.status, StatusNotRead);
  EXPECT_EQ(f.logEnabled, 1);
  EXPECT_EQ(f.logToText, 0);
  EXPECT_EQ(f.logToDebugger, 0);
  EXPECT_EQ(f.metaSeen, -1);
  EXPECT_EQ(f.transferSyntaxIndex, 0);
  EXPECT_EQ(f.series, nullptr);
  EXPECT_EQ(f.elements.length, 0);
  EXPECT_EQ(f.fileBytes.step, 16);
  // The default outputs are off: an analysis leaves no log text.
  f.Analyse(u"/nonexistent/y.dcm");
  EXPECT_TRUE(f.logText.empty());
}

TEST(DicomFile, ShownBytesStayWhatWasAnalysedWhenTheDiskChanges) {
  // A viewed file whose Patient's Name another program rewrites in place:
  // the name stays the one analysed, the file counts as changed, and only
  // the Pixel Data value still reads the disk.
  fixture::TempDir dir;
  const std::vector<uint8_t> bytes = FileWithPixels(kViewedFileMinimum);
  const std::string path = dir.Write("viewed.dcm", bytes);
  struct timespec earlier[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), earlier, 0), 0);
  auto f = AnalysedPath(path);
  ASSERT_EQ(f->status, StatusImage);
  ASSERT_TRUE(f->fileBytes.Adopted());
  EXPECT_FALSE(f->SourceChanged());
  const DicomElement* name = nullptr;
  const DicomElement* pixels = nullptr;
  for (const DicomElement& e : f->elements) {
    if (e.Key() == MakeTagKey(0x0010, 0x0010)) name = &e;
    if (e.Key() == MakeTagKey(0x7FE0, 0x0010)) pixels = &e;
  }
  ASSERT_NE(name, nullptr);
  ASSERT_NE(pixels, nullptr);
  EXPECT_FALSE(f->ReadsSourceFile(name->offset, name->end));
  EXPECT_FALSE(f->ReadsSourceFile(0, pixels->end - pixels->length));
  EXPECT_TRUE(f->ReadsSourceFile(pixels->offset, pixels->end));

  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "ROE^JANE", 8, name->end - name->length), 8);
  ASSERT_EQ(::pwrite(fd, "\x22\x22", 2, pixels->end - 2), 2);
  ::close(fd);

  EXPECT_TRUE(f->SourceChanged());
  std::u16string value;
  ASSERT_GT(f->ValueByKey(MakeTagKey(0x0010, 0x0010), value), 0);
  EXPECT_EQ(Utf8(value), "DOE^JOHN");
  // The pixel value follows the disk: that is what the change mark is for.
  EXPECT_EQ(f->fileBytes[pixels->end - 1], 0x22);
}

TEST(DicomFile, BareExplicitDataSetsAreReadInTheEncodingThatReachesTheEnd) {
  struct Case {
    const char* name;
    Encoding encoding;
    int32_t littleEndian;
    int32_t explicitVr;
    int32_t syntax;
    const char16_t* logLine;  // nullptr: the implicit walk is kept
  } cases[] = {
      {"implicit little endian", Encoding::ImplicitLittle, 1, 0, 0, nullptr},
      {"explicit little endian", Encoding::ExplicitLittle, 1, 1, 1, u"此文件按显式VR小端模式重新分析"},
      {"explicit big endian", Encoding::ExplicitBig, 0, 1, 3, u"此文件按显式VR大端模式重新分析"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DicomBuilder b(c.encoding);
    b.Text(0x0008, 0x0060, "CS", "CT").Text(0x0010, 0x0010, "PN", "DOE^JOHN").US(0x0028, 0x0010, 512);
    b.BeginSequence(0x0008, 0x1140).BeginItem().Uid(0x0008, 0x1150, "1.2.3").EndItem().EndSequence();
    b.Element(0x7FE0, 0x0010, "OW", std::vector<uint8_t>(200, 0x11));
    auto f = std::make_unique<DicomFile>();
    f->logToText = 1;
    f->AnalyseBytes(u"bare", b.Bytes().data(), b.Size());
    EXPECT_EQ(f->status, StatusImage);
    EXPECT_EQ(f->explicitVr, c.explicitVr);
    EXPECT_EQ(f->littleEndian, c.littleEndian);
    EXPECT_EQ(f->transferSyntaxIndex, c.syntax);
    EXPECT_EQ(f->elements.length, 6);
    std::u16string name;
    ASSERT_GT(f->ValueByKey(MakeTagKey(0x0010, 0x0010), name), 0);
    EXPECT_EQ(Utf8(name), "DOE^JOHN");
    EXPECT_TRUE(LogHas(*f, u"此文件没有DICM标记，非DICOM文件"));
    if (c.logLine != nullptr) EXPECT_TRUE(LogHas(*f, c.logLine));
    // The log holds the kept walk only: one line per element, one ending.
    EXPECT_EQ(f->logText.find(u"文件分析中断"), std::u16string::npos);
    // Without a log the same walk is kept.
    auto quiet = AnalysedBytes(b.Bytes());
    EXPECT_EQ(quiet->status, f->status);
    EXPECT_EQ(quiet->elements.length, f->elements.length);
    EXPECT_EQ(quiet->littleEndian, f->littleEndian);
  }
}

TEST(DicomFile, ABareDataSetNoEncodingReadsKeepsTheImplicitWalk) {
  // Not DICOM at all: every walk stops early; the first one, implicit VR, is
  // the one kept and logged, as before.
  std::vector<uint8_t> bytes(400, 0);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  auto f = std::make_unique<DicomFile>();
  f->logToText = 1;
  f->AnalyseBytes(u"noise", bytes.data(), bytes.size());
  EXPECT_EQ(f->status, StatusInterrupted);
  EXPECT_EQ(f->explicitVr, 0);
  EXPECT_EQ(f->littleEndian, 1);
  EXPECT_EQ(f->transferSyntaxIndex, 0);
  EXPECT_FALSE(LogHas(*f, u"重新分析"));
  EXPECT_EQ(f->logText.find(u"文件分析中断"), f->logText.rfind(u"文件分析中断"));
  // A file with the marker is never walked again in another encoding.
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Text(0x0010, 0x0010, "PN", "DOE^JOHN");
  auto marked = std::make_unique<DicomFile>();
  marked->logToText = 1;
  marked->AnalyseBytes(u"marked", b.Bytes().data(), b.Size());
  EXPECT_EQ(marked->status, StatusInterrupted);
  EXPECT_FALSE(LogHas(*marked, u"重新分析"));
}

TEST(DicomFile, DeflatedDataSetsAreWalkedInflated) {
  fixture::SimpleFile recipe;
  recipe.pixelBytes = 4000;
  const std::vector<uint8_t> deflated = fixture::BuildDeflatedFile(recipe);
  recipe.encoding = Encoding::ExplicitLittle;
  const std::vector<uint8_t> plain = fixture::BuildSimpleFile(recipe);
  ASSERT_LT(deflated.size(), plain.size() / 2) << "the fixture should compress";
  auto f = std::make_unique<DicomFile>();
  f->logToText = 1;
  f->AnalyseBytes(u"deflated.dcm", deflated.data(), deflated.size());
  auto p = AnalysedBytes(plain);

  EXPECT_EQ(f->status, StatusImage);
  EXPECT_EQ(f->transferSyntaxIndex, 2);
  ASSERT_TRUE(f->Deflated());
  EXPECT_FALSE(p->Deflated());
  EXPECT_EQ(&p->WalkedBytes(), &p->fileBytes);
  // The file's bytes stay as read; the records point into the inflated copy,
  // which holds the meta group as read and then the data set.
  EXPECT_EQ(std::vector<uint8_t>(f->fileBytes.begin(), f->fileBytes.end()), deflated);
  const ByteBuffer<uint8_t>& walked = f->WalkedBytes();
  EXPECT_EQ(&walked, &f->inflatedBytes);
  const int32_t from = f->DeflatedFrom();
  EXPECT_TRUE(std::equal(walked.begin(), walked.begin() + from, deflated.begin()));
  ASSERT_EQ(f->elements[f->elements.length - 1].end, walked.length);
  // The data set walks as its plain twin does, shifted by the longer UID.
  ASSERT_EQ(f->elements.length, p->elements.length);
  int32_t firstOfDataSet = 0;
  while (firstOfDataSet < p->elements.length && p->elements[firstOfDataSet].group == 0x0002) ++firstOfDataSet;
  ASSERT_EQ(f->elements[firstOfDataSet].offset, from);
  const int32_t shift = from - p->elements[firstOfDataSet].offset;
  for (int32_t i = firstOfDataSet; i < f->elements.length; ++i) {
    EXPECT_EQ(f->elements[i].Key(), p->elements[i].Key());
    EXPECT_EQ(f->elements[i].offset, p->elements[i].offset + shift);
    EXPECT_EQ(f->elements[i].length, p->elements[i].length);
  }
  std::u16string name;
  ASSERT_GT(f->ValueByKey(MakeTagKey(0x0010, 0x0010), name), 0);
  EXPECT_EQ(Utf8(name), "DOE^JOHN");
  EXPECT_TRUE(LogHas(*f, u"数据集已压缩"));
}

TEST(DicomFile, BrokenDeflatedDataSetsAreInterrupted) {
  const std::vector<uint8_t> whole = fixture::BuildDeflatedFile({});
  DicomBuilder meta;
  meta.Preamble().Meta(fixture::kDeflatedExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4.5.6.7");
  const size_t dataSetStart = meta.Size();
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"cut short", std::vector<uint8_t>(whole.begin(), whole.end() - 10)},
      {"not deflate at all", [&] {
         std::vector<uint8_t> b = meta.Bytes();
         for (int i = 0; i < 64; ++i) b.push_back(0xFF);
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = std::make_unique<DicomFile>();
    f->logToText = 1;
    f->AnalyseBytes(u"broken.dcm", c.bytes.data(), c.bytes.size());
    EXPECT_EQ(f->status, StatusInterrupted);
    EXPECT_TRUE(f->Deflated());
    EXPECT_TRUE(LogHas(*f, u"处的压缩数据无法完整解压"));
    EXPECT_GE(f->WalkedBytes().length, static_cast<int32_t>(dataSetStart));
    for (const DicomElement& e : f->elements) {
      const uint8_t* first;
      int32_t count;
      f->ValueSpan(e, first, count);
      if (first != nullptr) EXPECT_LE(first + count, f->WalkedBytes().data + f->WalkedBytes().length);
    }
  }
}

TEST(DicomFile, AWalkStopsAtTheRecordLimit) {
  // Zeros after a valid header walk as empty elements, eight bytes each.
  DicomBuilder b;
  b.Preamble().Meta(fixture::kImplicitLittle);
  const size_t header = b.Size();
  std::vector<uint8_t> bytes = b.Bytes();
  bytes.resize(header + 8 * 1000, 0);
  auto f = std::make_unique<DicomFile>();
  f->logToText = 1;
  f->recordLimit = 500;
  f->AnalyseBytes(u"zeros.dcm", bytes.data(), bytes.size());
  EXPECT_EQ(f->status, StatusInterrupted);
  EXPECT_EQ(f->elements.length, 500);
  EXPECT_TRUE(LogHas(*f, u"处的元素超过上限,分析结束"));
  f->recordLimit = 2000;
  f->AnalyseBytes(u"zeros.dcm", bytes.data(), bytes.size());
  EXPECT_EQ(f->status, StatusComplete);
  EXPECT_EQ(kMaxElementRecords, 16000000);
}

}  // namespace
