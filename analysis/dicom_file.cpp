#include "analysis/dicom_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <zlib.h>

#include "analysis/internal/element_walker.h"
#include "analysis/tag_dictionary.h"
#include "analysis/transfer_syntax.h"
#include "analysis/value_text.h"
#include "platform/core/ascii_text.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/text.h"

std::atomic<int32_t> fileSerialCounter{0};

namespace {

constexpr int64_t kMinimumLength = 132;  // preamble and marker; shorter files are not DICOM

// Trailing spaces are padding to an even length, and how many a value gets
// depends on the byte length of its encoding ("Ü" is one byte in Latin-1, two
// in UTF-8), so they take no part in the comparison.
bool EqualsWithoutPaddingIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  while (!a.empty() && a.back() == u' ') a.remove_suffix(1);
  while (!b.empty() && b.back() == u' ') b.remove_suffix(1);
  return plat::EqualsIgnoringAsciiCase(a, b);
}

}  // namespace

DicomFile::DicomFile() : serial(fileSerialCounter.fetch_add(1)) {}

DicomFile::~DicomFile() {
  fileBytes.length = 0;
  elements.Release();
  fileBytes.Release();
}

void DicomFile::Log(const std::u16string& message, int32_t indent) {
  if (logEnabled == 0) return;
  if (logToDebugger != 0) {
    // The debugger channel of this platform is standard error.
    std::string line = plat::Utf16ToUtf8(message);
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  if (logToText != 0) {
    logText.append(static_cast<size_t>(indent > 0 ? indent : 0) * 4, u' ');
    logText += message;
    logText += u"\r\n";
  }
}

void DicomFile::BeginAnalysis(const std::u16string& filePath) {
  path = filePath;
  shortPath = ShortenPath(path, 26);
  displayPath = ShortenPath(path, 110);
  logText.clear();
  if (LogWanted()) Log(plat::FormatText(u"分析文件：%s", {path}));

  explicitVr = 1;
  littleEndian = 1;
  transferSyntaxIndex = 0;
  depth = 0;
  elements.length = 0;
  fileBytes.length = 0;
  walkStop = -1;
  // A view belongs to the file it was made of; new bytes go to memory of
  // their own.
  if (fileBytes.Adopted()) fileBytes.Release();
  viewsFile_ = false;
  sourceFirst_ = sourceEnd_ = 0;
  ResetWalk();
}

void DicomFile::ResetWalk() {
  depth = 0;
  elementCounter = 0;
  elements.length = 0;
  implicitContent_.clear();
  inflatedBytes.Release();
  deflatedFrom_ = -1;
  inflateFailed_ = false;
  tooManyRecords_ = false;
  fixedEncoding_ = false;
  characterSet_ = CharacterSet{};
  characterSetSeen_ = false;
  itemCharacterSets_.clear();
}

void DicomFile::Analyse(const std::u16string& filePath) {
  BeginAnalysis(filePath);
  if (!ReadWholeFile()) {
    if (LogWanted()) Log(u"文件打开失败，分析进程结束");
    return;
  }
  WalkFromMarker();
  // A page of the view that could not be read during the walk (a device
  // error, or the file cut short meanwhile) read as zeros: the file counts as
  // unreadable, as it would have if it had been read into memory.
  if (viewsFile_ && plat::ViewFaulted(fileBytes.data)) {
    elements.length = 0;
    fileBytes.Release();
    viewsFile_ = false;
    status = StatusNotRead;
    if (LogWanted()) Log(u"文件打开失败，分析进程结束");
    return;
  }
  if (viewsFile_) HoldShownBytes();
}

void DicomFile::HoldShownBytes() {
  // The Pixel Data value is the one part a view may leave on the disk: it is
  // most of an image file, and only the hex view ever reads it. A file whose
  // data set was inflated shows no byte of its view, which is held whole.
  int64_t first = fileBytes.length, end = fileBytes.length;
  if (!Deflated()) {
    for (const DicomElement& e : elements) {
      if (e.depth != 0 || e.Key() != MakeTagKey(0x7FE0, 0x0010) || e.length <= 0) continue;
      first = std::clamp<int64_t>(static_cast<int64_t>(e.end) - e.length, 0, fileBytes.length);
      end = std::clamp<int64_t>(e.end, first, fileBytes.length);
      break;
    }
  }
  // Holding fails only when memory runs out; the view then keeps following
  // the file, and a change still shows as one.
  const bool held = plat::HoldViewRange(fileBytes.data, static_cast<size_t>(fileBytes.length), 0,
                                        static_cast<size_t>(first)) &&
                    plat::HoldViewRange(fileBytes.data, static_cast<size_t>(fileBytes.length),
                                        static_cast<size_t>(end), static_cast<size_t>(fileBytes.length));
  sourceFirst_ = held ? first : 0;
  sourceEnd_ = held ? end : fileBytes.length;
}

bool DicomFile::ReadsSourceFile(int64_t first, int64_t end) const {
  return viewsFile_ && first < sourceEnd_ && end > sourceFirst_;
}

void DicomFile::AnalyseBytes(const std::u16string& filePath, const uint8_t* bytes, size_t count) {
  BeginAnalysis(filePath);
  if (LogWanted()) Log(plat::FormatText(u"文件长度：%d 字节", {static_cast<long long>(count)}));
  if (static_cast<int64_t>(count) > kMaxFileBytes || !fileBytes.Assign(bytes, static_cast<int64_t>(count))) {
    if (LogWanted()) Log(u"文件打开失败，分析进程结束");
    return;
  }
  WalkFromMarker();
}

bool DicomFile::ReadWholeFile() {
  plat::InputFile in;
  if (!in.Open(path)) return false;
  const uint64_t size = in.Size();
  if (LogWanted()) Log(plat::FormatText(u"文件长度：%d 字节", {static_cast<unsigned long long>(size)}));
  if (size > static_cast<uint64_t>(kMaxFileBytes)) return false;
  if (static_cast<int64_t>(size) >= kViewedFileMinimum) {
    if (uint8_t* view = in.MapView(static_cast<size_t>(size))) {
      fileBytes.Adopt(view, static_cast<int32_t>(size), plat::ReleaseView);
      viewsFile_ = true;
      viewedStamp_ = in.Stamp();
      return true;
    }
  }
  if (!fileBytes.Reserve(static_cast<int64_t>(size))) return false;
  if (!in.ReadAll(fileBytes.data, static_cast<size_t>(size))) return false;
  fileBytes.length = static_cast<int32_t>(size);
  return true;
}

bool DicomFile::SourceRangeOf(int64_t offset, int64_t length, plat::SourceRange& out) const {
  // The records of an inflated data set do not point into the file.
  if (!viewsFile_ || Deflated() || offset < 0 || length < 0 || offset + length > fileBytes.length) return false;
  out.path = path;
  out.offset = static_cast<uint64_t>(offset);
  out.length = static_cast<uint64_t>(length);
  out.stamp = viewedStamp_;
  return true;
}

bool DicomFile::BytesAsLoaded() const {
  if (!viewsFile_) return true;
  if (plat::ViewFaulted(fileBytes.data)) return false;
  plat::FileStamp now;
  return plat::StampOf(path, now) && now == viewedStamp_;
}

void DicomFile::WalkFromMarker() {
  const int64_t n = fileBytes.length;
  const uint8_t* b = fileBytes.data;
  if (n <= kMinimumLength) {
    if (LogWanted()) Log(u"此文件长度小于128字节，非DICOM文件");
    return;
  }

  int64_t start = 132;
  bool marker = true;
  static const char kMarker[] = "DICM";
  for (int i = 0; i < 4; ++i) {
    uint8_t c = b[128 + i];
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
    if (c != static_cast<uint8_t>(kMarker[i])) marker = false;
  }
  if (!marker) {
    if (LogWanted()) Log(u"此文件没有DICM标记，非DICOM文件");
    status = StatusNoMarker;
    explicitVr = 0;
    transferSyntaxIndex = 0;
    start = 0;
  } else {
    bool special = false;
    for (int i = 0; i < 128; ++i)
      if (b[i] != 0) special = true;
    if (special && LogWanted()) {
      Log(u"此文件前128字符包含特殊内容:");
      Log(CodePageText(b, 128));
    }
  }

  const size_t logMark = logText.size();
  const int32_t metaBefore = metaSeen;
  int64_t p = WalkFrom(start);

  // A bare data set that is not implicit VR little endian stops early in that
  // walk. The explicit encodings are tried in turn from the start; the first
  // that reads to the end of the file is kept, otherwise the implicit walk.
  if (!marker && p != WalkedBytes().length) {
    struct Fallback {
      int32_t littleEndian;
      int32_t syntaxRow;
      const char16_t* message;
    };
    static const Fallback kFallbacks[] = {
        {1, kExplicitLittleRow, u"此文件按显式VR小端模式重新分析"},
        {0, kExplicitBigRow, u"此文件按显式VR大端模式重新分析"},
    };
    const auto walkAs = [&](const Fallback* fallback, bool quiet) {
      const int32_t savedGate = logEnabled;
      if (quiet) logEnabled = 0;
      ResetWalk();
      metaSeen = metaBefore;
      explicitVr = fallback != nullptr ? 1 : 0;
      littleEndian = fallback != nullptr ? fallback->littleEndian : 1;
      transferSyntaxIndex = fallback != nullptr ? fallback->syntaxRow : 0;
      fixedEncoding_ = fallback != nullptr;
      const int64_t reached = WalkFrom(0);
      logEnabled = savedGate;
      return reached;
    };
    const Fallback* chosen = nullptr;
    for (const Fallback& fallback : kFallbacks) {
      if (walkAs(&fallback, true) == WalkedBytes().length) {
        chosen = &fallback;
        break;
      }
    }
    // The log tells the walk that was kept, element lines included.
    if (LogWanted() || chosen == nullptr) {
      logText.resize(logMark);
      if (chosen != nullptr && LogWanted()) Log(chosen->message);
      p = walkAs(chosen, false);
    } else {
      p = WalkedBytes().length;
    }
  }

  // A deflated data set ends where its inflated bytes do.
  if (p == WalkedBytes().length && !inflateFailed_) {
    if (LogWanted()) Log(u"文件分析完毕!\r\n\r\n");
    if (elements.length > 0) status = StatusImage;
    bool topLevelPixelData = false;
    for (const DicomElement& e : elements)
      if (e.depth == 0 && e.group == 0x7FE0 && e.element == 0x0010) {
        topLevelPixelData = true;
        break;
      }
    if (!IsAcceptedImageSyntax(transferSyntaxIndex) || elements.length == 0 || !topLevelPixelData)
      status = StatusComplete;
  } else {
    if (LogWanted()) Log(u"文件分析中断!\r\n\r\n");
    status = StatusInterrupted;
  }
}

int64_t DicomFile::WalkFrom(int64_t start) {
  ElementWalker walker(*this);
  elementCounter = 0;
  int64_t n = fileBytes.length;
  int64_t p = start;
  walkStop = start;
  while (p >= 0 && p < n) {
    walkStop = p;
    // A deflated data set begins with the first element after the meta
    // group; from there the walk reads the inflated bytes.
    if (transferSyntaxIndex == kDeflatedExplicitLittleRow && metaSeen == 1 && !Deflated() && p + 2 <= n &&
        (fileBytes.data[p] | (fileBytes.data[p + 1] << 8)) != 0x0002) {
      if (!InflateDataSet(p)) inflateFailed_ = true;
      walker.Rebind();
      n = inflatedBytes.length;
      if (p >= n) break;
    }
    p = walker.ReadElement(p);
  }
  if (p == n) walkStop = n;
  return p;
}

bool DicomFile::InflateDataSet(int64_t start) {
  // Two passes: the first measures the inflated size, so that the buffer is
  // made once, exactly as large as needed; the limit on file sizes bounds it.
  const int64_t n = fileBytes.length;
  const auto inflateInto = [&](uint8_t* into, int64_t room, int64_t& produced) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;  // raw deflate, no zlib header
    z.next_in = const_cast<Bytef*>(fileBytes.data + start);
    z.avail_in = static_cast<uInt>(n - start);
    uint8_t scratch[1 << 16];
    produced = 0;
    int result = Z_OK;
    while (result == Z_OK) {
      uint8_t* out = into != nullptr ? into + produced : scratch;
      const int64_t left = into != nullptr ? room - produced : static_cast<int64_t>(sizeof scratch);
      if (left <= 0) break;
      z.next_out = out;
      z.avail_out = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
      result = inflate(&z, Z_NO_FLUSH);
      produced += static_cast<int64_t>(z.next_out - out);
      if (result == Z_BUF_ERROR) break;  // the input ended before the stream did
      if (produced > room) break;
    }
    inflateEnd(&z);
    return result == Z_STREAM_END;
  };

  int64_t size = 0;
  bool whole = inflateInto(nullptr, kMaxFileBytes - start + 1, size);
  if (size > kMaxFileBytes - start) {
    size = kMaxFileBytes - start;
    whole = false;
  }
  deflatedFrom_ = static_cast<int32_t>(start);
  if (!inflatedBytes.Reserve(start + size)) {
    whole = false;
    size = 0;
  }
  // The meta group is small; the records of its elements point into this copy.
  if (!inflatedBytes.Assign(fileBytes.data, start)) {
    whole = false;
    size = 0;
  }
  if (size > 0) {
    int64_t produced = 0;
    (void)inflateInto(inflatedBytes.data + start, size, produced);
    inflatedBytes.length = static_cast<int32_t>(start + std::min(produced, size));
  }
  if (LogWanted()) {
    Log(plat::FormatText(u"数据集已压缩，解压后 %d 字节", {static_cast<long long>(size)}));
    if (!whole) Log(plat::FormatText(u"%d 处的压缩数据无法完整解压", {static_cast<long long>(start)}));
  }
  return whole;
}

bool DicomFile::InsideImplicitContent(const DicomElement& e) const {
  if (implicitContent_.empty()) return false;
  // The last range that starts at or before the element.
  auto it = std::upper_bound(implicitContent_.begin(), implicitContent_.end(), e.offset,
                             [](int32_t offset, const std::pair<int32_t, int32_t>& r) { return offset < r.first; });
  if (it == implicitContent_.begin()) return false;
  --it;
  return e.offset < it->second;
}

namespace {

CharacterSet ParsedValue(const DicomFile& file, const DicomElement& e) {
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  return ParseCharacterSet(first, static_cast<size_t>(count));
}

}  // namespace

void DicomFile::NoteCharacterSet(const DicomElement& e, int32_t itemStart) {
  if (e.depth == 0 || itemStart < 0) {
    if (!characterSetSeen_) characterSet_ = ParsedValue(*this, e);
    characterSetSeen_ = true;
    return;
  }
  // A second (0008,0005) in the same item does not count.
  for (const ItemCharacterSet& item : itemCharacterSets_)
    if (item.begin == itemStart && item.end == INT32_MAX) return;
  itemCharacterSets_.push_back({itemStart, INT32_MAX, ParsedValue(*this, e)});
}

void DicomFile::CloseItemCharacterSet(int32_t itemStart, int32_t end) {
  for (auto it = itemCharacterSets_.rbegin(); it != itemCharacterSets_.rend(); ++it) {
    if (it->begin == itemStart && it->end == INT32_MAX) {
      it->end = end > itemStart ? end : itemStart + 1;
      return;
    }
  }
}

const CharacterSet& DicomFile::CharacterSetOf(const DicomElement& e) const {
  const ItemCharacterSet* innermost = nullptr;
  for (const ItemCharacterSet& item : itemCharacterSets_)
    if (e.offset >= item.begin && e.offset < item.end && (innermost == nullptr || item.begin > innermost->begin))
      innermost = &item;
  return innermost != nullptr ? innermost->set : characterSet_;
}

int32_t DicomFile::IsExplicitElement(const DicomElement& e) const {
  if (e.group == 0x0002) return 1;
  if (explicitVr != 0 && InsideImplicitContent(e)) return 0;
  return explicitVr;
}

bool DicomFile::IsBigEndianElement(const DicomElement& e) const {
  return littleEndian == 0 && e.group != 0x0002 && !InsideImplicitContent(e);
}

void DicomFile::ValueSpan(const DicomElement& e, const uint8_t*& first, int32_t& count) const {
  first = nullptr;
  count = 0;
  const ByteBuffer<uint8_t>& bytes = WalkedBytes();
  if (e.length <= 0 || bytes.data == nullptr) return;
  int64_t start = static_cast<int64_t>(e.end) - e.length;
  int64_t stop = e.end;
  if (start < 0) start = 0;
  if (stop > bytes.length) stop = bytes.length;
  if (stop <= start) return;
  first = bytes.data + start;
  count = static_cast<int32_t>(stop - start);
}

int32_t DicomFile::ValueByKey(TagKey key, std::u16string& out) const {
  for (const DicomElement& e : elements) {
    if (e.depth != 0 || e.Key() != key) continue;
    if (e.length <= 0) return -1;  // empty, or undefined (a sequence)
    if (e.length > WalkedBytes().length) {
      out.clear();  // a value longer than the whole file reads as nothing
      return e.length;
    }
    const uint8_t* first;
    int32_t count;
    ValueSpan(e, first, count);
    out = ElementText(e, *this, first, count);
    return e.length;
  }
  return -1;
}

int32_t DicomFile::MatchesRow(const std::u16string& text, int32_t row) const {
  const TagDictionaryRow* r = TagDictionaryRowAt(row);
  const TagKey key = r != nullptr ? r->key : 0;
  std::u16string value;
  if (ValueByKey(key, value) < 1) return 1;
  return EqualsWithoutPaddingIgnoringAsciiCase(value, text) ? 1 : 0;
}

std::u16string ShortenPath(const std::u16string& text, int32_t limit) {
  if (static_cast<int64_t>(text.size()) < limit) return text;
  std::u16string out = text.substr(0, 3);
  out += u"...";
  out += text.substr(text.size() - static_cast<size_t>(limit - 3));
  return out;
}
