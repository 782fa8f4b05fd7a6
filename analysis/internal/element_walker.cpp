#include "analysis/internal/element_walker.h"

#include <algorithm>
#include <cstring>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/transfer_syntax.h"
#include "analysis/value_text.h"
#include "platform/core/format.h"

namespace {

constexpr uint16_t kItem = 0xE000;
constexpr uint16_t kItemDelimiter = 0xE00D;
constexpr uint16_t kSequenceDelimiter = 0xE0DD;
constexpr uint32_t kUndefinedLength = 0xFFFFFFFFu;
constexpr TagKey kPixelData = MakeTagKey(0x7FE0, 0x0010);
constexpr TagKey kTransferSyntaxUid = MakeTagKey(0x0002, 0x0010);
constexpr TagKey kSpecificCharacterSet = MakeTagKey(0x0008, 0x0005);

// Runs an action when the scope ends, however it ends.
template <typename Action>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(Action action) : action_(action) {}
  ~AtScopeEnd() { action_(); }

 private:
  Action action_;
};

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

}  // namespace

ElementWalker::ElementWalker(DicomFile& file)
    : file_(file), bytes_(file.WalkedBytes().data), n_(file.WalkedBytes().length) {}

void ElementWalker::Rebind() {
  bytes_ = file_.WalkedBytes().data;
  n_ = file_.WalkedBytes().length;
}

uint16_t ElementWalker::Read16(int64_t q, bool swapped) const {
  uint16_t v;
  std::memcpy(&v, bytes_ + q, 2);
  return swapped ? Swap16(v) : v;
}

uint32_t ElementWalker::Read32(int64_t q, bool swapped) const {
  uint32_t v;
  std::memcpy(&v, bytes_ + q, 4);
  return swapped ? Swap32(v) : v;
}

bool ElementWalker::IsSpecialTag(int64_t q, uint16_t element, bool bigEndianTags) const {
  return Read16(q, bigEndianTags) == 0xFFFE && Read16(q + 2, bigEndianTags) == element;
}

void ElementWalker::LogFailure(const char16_t* format, int64_t position) {
  if (file_.LogWanted())
    file_.Log(plat::FormatText(format, {file_.elementCounter, static_cast<long long>(position), kMaxSequenceDepth}));
}

int64_t ElementWalker::ReadElement(int64_t p) {
  DicomFile& f = file_;
  f.elementCounter += 1;
  if (p < 0 || p + 6 >= n_) return -1;  // at least 7 bytes must remain
  if (p >= limit_) return -1;           // outside the sequence being walked

  DicomElement record = DicomElement::Fresh();
  record.group = Read16(p, false);
  record.element = Read16(p + 2, false);
  record.offset = static_cast<int32_t>(p);
  record.end = record.offset;
  record.depth = f.depth;

  if (record.group == 0x0002) {
    f.metaSeen = 1;
    record.vr = Read16(p + 4, false);
  } else {
    // A data set that does not start with a file meta group is implicit VR.
    if (record.group > 0x0002 && f.metaSeen == -1 && !f.fixedEncoding_) f.explicitVr = 0;
    if (f.littleEndian == 0) {
      record.group = Swap16(record.group);
      record.element = Swap16(record.element);
    }
    if (record.group == 0x0002 || f.explicitVr == 1) record.vr = Read16(p + 4, false);
  }

  bool undefinedValue = false;
  if (!MeasureElement(record, undefinedValue)) return -1;
  if (record.vr != vr::SQ && !undefinedValue && record.end > limit_) return -1;

  const int32_t index = f.elements.length;
  if (index >= f.recordLimit) {
    if (!f.tooManyRecords_) LogFailure(u"%d:%d 处的元素超过上限,分析结束", p);
    f.tooManyRecords_ = true;
    return -1;
  }
  if (!f.elements.Append(record)) return -1;
  if (record.Key() == kSpecificCharacterSet) f.NoteCharacterSet(record, itemStart_);
  if (f.LogWanted()) f.Log(ElementLogLine(record, f, f.elementCounter), record.depth);

  if (record.Key() == kTransferSyntaxUid) DetectTransferSyntax(f, record);

  if (record.vr == vr::SQ || undefinedValue) {
    bool walked = undefinedValue ? WalkUndefinedValue(record, p + (f.IsExplicitElement(record) ? 12 : 8))
                                 : WalkSequence(record);
    // The record in the list gets the end the walk found. A failed walk
    // leaves the sequence ending at its own header, so that no reader takes
    // the unwalked bytes for its value.
    if (walked && record.end > limit_) walked = false;
    f.elements[index].end = walked ? record.end : record.offset;
    if (!walked) return -1;
    return record.end;
  }
  return record.end;
}

bool ElementWalker::MeasureElement(DicomElement& record, bool& undefinedValue) {
  DicomFile& f = file_;
  const int64_t p = record.offset;
  if (record.vr == kNoVr) {
    record.vr = VrOfKey(record.Key());
    if (record.vr == kNoVr) {
      LogFailure(u"%d:%d 处的类型未知,分析结束", p);
      return false;
    }
    if (record.vr == vr::UN && !Fails(p, 8) && Read32(p + 4, false) == kUndefinedLength) record.vr = vr::SQ;
  }

  const bool isExplicit = f.IsExplicitElement(record) != 0;
  const bool swapped = f.IsBigEndianElement(record);
  const int64_t header = isExplicit && (HasLongExplicitHeader(record.vr) || record.vr == vr::SQ) ? 12 : 8;

  // Encapsulated Pixel Data: the fragment items up to the sequence delimiter
  // are one value. Only a length field of all ones announces fragments; a
  // defined length is measured normally. Fragments are always little endian.
  if (record.Key() == kPixelData && !Fails(p, header) && Read32(p + header - 4, false) == kUndefinedLength) {
    for (int64_t q = p + header; q + 8 <= n_;) {
      if (IsSpecialTag(q, kSequenceDelimiter, false)) {
        record.end = static_cast<int32_t>(q + 8);
        record.length = static_cast<int32_t>(q + 8 - p - header);
        return true;
      }
      if (!IsSpecialTag(q, kItem, false)) break;
      q += 8 + static_cast<int64_t>(Read32(q + 4, false));
    }
  }

  if (record.vr == vr::SQ) return true;  // the end comes from WalkSequence

  uint32_t length;
  if (isExplicit && HasLongExplicitHeader(record.vr)) {
    if (Fails(p, 12)) return false;
    length = Read32(p + 8, swapped);
  } else if (isExplicit) {
    if (Fails(p, 8)) return false;
    length = Read16(p + 6, swapped);
  } else {
    if (Fails(p, 8)) return false;
    length = Read32(p + 4, swapped);
  }

  if (length == kUndefinedLength) {
    // Neither a sequence nor fragments, yet of undefined length (typically
    // UN): its content is an implicit VR little endian sequence of items.
    // Pixel Data whose fragments did not end in a delimiter cannot be read.
    if (record.Key() == kPixelData) return false;
    undefinedValue = true;
    return true;
  }
  const int64_t end = p + header + static_cast<int64_t>(length);
  if (end > INT32_MAX) return false;  // beyond what a position can hold
  record.length = static_cast<int32_t>(length);
  record.end = static_cast<int32_t>(end);
  return true;
}

int64_t ElementWalker::WalkItem(int64_t s, uint32_t itemLength) {
  // The item's elements learn the character set it declares, if any; however
  // the walk of the item ends, that set ends with it.
  const int32_t outerItemStart = itemStart_;
  itemStart_ = static_cast<int32_t>(s);
  AtScopeEnd closeItem([this, outerItemStart, first = file_.elements.length] {
    int32_t end = itemStart_;
    for (int32_t k = first; k < file_.elements.length; ++k) end = std::max(end, file_.elements[k].end);
    file_.CloseItemCharacterSet(itemStart_, end);
    itemStart_ = outerItemStart;
  });
  int64_t position = s;
  if (itemLength != kUndefinedLength) {
    const int64_t stop = s + static_cast<int64_t>(itemLength);
    while (position < stop) {
      position = ReadElement(position);
      if (position < 0) return -1;
    }
    return position;
  }
  const bool bigEndianTags = file_.littleEndian == 0;
  for (;;) {
    if (Fails(position, 4) || position + 8 > limit_) return -1;
    if (IsSpecialTag(position, kItemDelimiter, bigEndianTags)) return position + 8;
    position = ReadElement(position);
    if (position < 0) return -1;
  }
}

int64_t ElementWalker::WalkItemsToDelimiter(int64_t q, bool bigEndianTags, int64_t minBytesAfterItem) {
  for (;;) {
    if (Fails(q, 4)) return -1;
    if (IsSpecialTag(q, kSequenceDelimiter, bigEndianTags)) return q + 8;
    if (!IsSpecialTag(q, kItem, bigEndianTags) || Fails(q, 8)) return -1;
    const int64_t s = q + 8;
    q = WalkItem(s, Read32(q + 4, bigEndianTags));
    if (q < 0 || Fails(q, minBytesAfterItem)) return -1;
  }
}

bool ElementWalker::WalkSequence(DicomElement& record) {
  DicomFile& f = file_;
  const int64_t p = record.offset;
  if (f.depth >= kMaxSequenceDepth) {
    LogFailure(u"%d:%d 处的序列嵌套超过%d层,分析结束", p);
    return false;
  }
  if (Fails(p, 6)) return false;
  const bool bigEndianTags = f.littleEndian == 0 && record.group != 0x0002;

  f.depth += 1;
  int64_t end = -1;
  const bool explicitForm = (bytes_[p + 4] | 0x20) == 's' && (bytes_[p + 5] | 0x20) == 'q';
  if (explicitForm) {
    if (!Fails(p, 12)) {
      const uint32_t raw = Read32(p + 8, false);
      if (raw == 0) {
        end = p + 12;
      } else if (raw == kUndefinedLength) {
        end = WalkItemsToDelimiter(p + 12, bigEndianTags, 4);
      } else {
        int64_t declared = bigEndianTags ? Swap32(raw) : raw;
        if (declared % 2 != 0) declared += 1;
        const int64_t stop = p + 12 + declared;
        for (int64_t q = p + 12;;) {
          if (Fails(q, 4)) break;
          if (IsSpecialTag(q, kSequenceDelimiter, bigEndianTags)) {
            end = q + 8;
            break;
          }
          if (!IsSpecialTag(q, kItem, bigEndianTags) || Fails(q, 8)) break;
          q = WalkItem(q + 8, Read32(q + 4, bigEndianTags));
          if (q < 0) break;
          if (q >= stop) {
            end = q;
            break;
          }
        }
      }
    }
  } else if (!Fails(p, 8)) {
    const uint32_t length = Read32(p + 4, false);
    if (length == kUndefinedLength) {
      if (!Fails(p + 8, 8)) end = WalkItemsToDelimiter(p + 8, bigEndianTags, 8);
    } else {
      // Defined length: the sequence ends where it says, whatever its items
      // hold; a broken item only stops the walk of this sequence.
      // A sequence that claims to reach beyond the one around it is broken.
      const int64_t declaredEnd = p + 8 + static_cast<int64_t>(length);
      if (declaredEnd <= INT32_MAX && declaredEnd <= limit_) {
        end = declaredEnd;
        const int64_t outerLimit = limit_;
        limit_ = declaredEnd;
        // Items of undefined length are walked to their delimiters; the
        // limit keeps them inside the sequence.
        for (int64_t q = p + 8; q < declaredEnd;) {
          if (Fails(q, 8) || !IsSpecialTag(q, kItem, bigEndianTags)) {
            LogFailure(u"%d:%d 处的序列项无法读完,从序列结尾继续", q);
            break;
          }
          q = WalkItem(q + 8, Read32(q + 4, bigEndianTags));
          if (q < 0) {
            LogFailure(u"%d:%d 处的序列项无法读完,从序列结尾继续", p);
            break;
          }
        }
        limit_ = outerLimit;
      }
    }
  }
  f.depth -= 1;

  if (end < 0 || end > INT32_MAX) return false;
  record.end = static_cast<int32_t>(end);
  return true;
}

bool ElementWalker::WalkUndefinedValue(DicomElement& record, int64_t itemsStart) {
  DicomFile& f = file_;
  if (f.depth >= kMaxSequenceDepth) {
    LogFailure(u"%d:%d 处的序列嵌套超过%d层,分析结束", record.offset);
    return false;
  }
  // The items are implicit VR little endian whatever the data set's
  // encoding; the file's own encoding applies again afterwards.
  const int32_t savedExplicit = f.explicitVr;
  const int32_t savedLittle = f.littleEndian;
  f.explicitVr = 0;
  f.littleEndian = 1;
  f.depth += 1;
  const int32_t firstInside = f.elements.length;
  int64_t end = WalkItemsToDelimiter(itemsStart, false, 4);
  f.depth -= 1;
  f.explicitVr = savedExplicit;
  f.littleEndian = savedLittle;

  // Remember where the content lies, so that the readers of its elements know
  // their encoding after the walk. A failed walk covers the elements it
  // recorded.
  int64_t contentEnd = end;
  if (end < 0) contentEnd = f.elements.length > firstInside ? f.elements[f.elements.length - 1].offset + 1 : itemsStart;
  if (contentEnd > itemsStart && contentEnd <= INT32_MAX) {
    auto& ranges = f.implicitContent_;
    while (!ranges.empty() && ranges.back().first >= itemsStart) ranges.pop_back();  // nested inside this one
    ranges.emplace_back(static_cast<int32_t>(itemsStart), static_cast<int32_t>(contentEnd));
  }

  if (end < 0 || end > INT32_MAX) return false;
  record.end = static_cast<int32_t>(end);
  return true;
}
