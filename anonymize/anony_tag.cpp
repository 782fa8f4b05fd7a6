// The four de-identification actions.
#include "anonymize/anony_tag.h"

#include <string>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/encoding.h"
#include "collection/collection.h"
#include "platform/core/text.h"

using anonymize_internal::AppendHeader;
using anonymize_internal::FormOf;
using anonymize_internal::HeaderForm;
using anonymize_internal::SourceSpan;

namespace {

// The VR letters of an explicit element as recorded by the walker, or as they
// stand in the file when no VR was recorded.
VrCode VrLettersOf(const DicomFile& file, const DicomElement& e) {
  if (e.vr != kNoVr) return e.vr;
  int64_t first = 0, last = 0;
  SourceSpan(file, e, first, last);
  if (last - first >= 6) return MakeVr(static_cast<char>(file.fileBytes[static_cast<int32_t>(first + 4)]),
                                       static_cast<char>(file.fileBytes[static_cast<int32_t>(first + 5)]));
  return vr::UN;
}

// An empty value under the element's own tag and VR, in the element's header
// form and byte order. A zero length reads the same in either byte order, so
// in a little-endian file these are the source's first 8 header bytes with
// the length zeroed.
int32_t WriteEmpty(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile& file) {
  const HeaderForm form = FormOf(file, e);
  if (!AppendHeader(output, e.group, e.element, form.explicitVr ? VrLettersOf(file, e) : kNoVr, 0, form)) {
    output.length = 0;
    return 0;
  }
  return output.length;
}

// The generated value an AnonyTagNew gives each tag, shared through the
// file's series and study where the tag is per series or study.
struct NewValueRule {
  TagKey key;
  const char* kind;
  const std::u16string& (*studyValue)(StudyEntry&);
  const std::u16string& (*seriesValue)(SeriesEntry&);
};

const NewValueRule kNewValueRules[] = {
    {MakeTagKey(0x0020, 0x000D), "1", StudyUid, nullptr},
    {MakeTagKey(0x0020, 0x000E), "2", nullptr, SeriesUid},
    {MakeTagKey(0x0008, 0x0018), "3", nullptr, nullptr},  // fresh for every written file
    {MakeTagKey(0x0008, 0x0014), "4", InstanceCreatorUid, nullptr},
    {MakeTagKey(0x0040, 0x0245), "5", Kind5Uid, nullptr},
};

std::u16string NewValueFor(const DicomElement& e, const DicomFile& file) {
  for (const NewValueRule& rule : kNewValueRules) {
    if (rule.key != e.Key()) continue;
    SeriesEntry* series = file.series;
    StudyEntry* study = series != nullptr ? series->parent : nullptr;
    if (rule.seriesValue != nullptr && series != nullptr) return rule.seriesValue(*series);
    if (rule.studyValue != nullptr && study != nullptr) return rule.studyValue(*study);
    // A file outside any collection has nothing to share its value with.
    return NewUid(rule.kind);
  }
  return std::u16string();
}

}  // namespace

int32_t AnonyTagClean::Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) {
  output.length = 0;
  if (file == nullptr) return 0;
  return WriteEmpty(output, e, *file);
}

int32_t AnonyTagDel::Matches(const DicomElement& e) const {
  switch (matchMode) {
    case MatchTag: return e.group == group && e.element == element ? 1 : 0;
    case MatchGroup: return e.group == group ? 1 : 0;
    case MatchElement: return e.element == element ? 1 : 0;
    case MatchOddGroup: return (e.group & 1) != 0 ? 1 : 0;
    default: return 0;
  }
}

int32_t AnonyTagDel::Apply(ByteBuffer<uint8_t>& output, const DicomElement&, const DicomFile*) {
  output.length = 0;
  return 0;
}

int32_t AnonyTagNew::Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) {
  output.length = 0;
  if (file == nullptr) return 0;
  std::string value = plat::WideToMultiByte(NewValueFor(e, *file));
  if (value.size() % 2 != 0) value.push_back(' ');
  HeaderForm form = FormOf(*file, e);
  VrCode letters = form.explicitVr ? VrLettersOf(*file, e) : kNoVr;
  if (letters == vr::SQ) {
    // A text value cannot stand under a sequence header; give it the VR of
    // the UIDs it holds.
    letters = vr::UI;
    form.longForm = false;
  }
  if (!AppendHeader(output, e.group, e.element, letters, static_cast<uint32_t>(value.size()), form) ||
      !output.Append(reinterpret_cast<const uint8_t*>(value.data()), static_cast<int64_t>(value.size()))) {
    output.length = 0;
    return 0;
  }
  return output.length;
}

int32_t AnonyTagReplace::Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) {
  output.length = 0;
  if (file == nullptr) return 0;
  if (e.length < 0) {
    // A sequence or a value of undefined length has no flat value to mask;
    // masking its item structure would break the file, so it is emptied.
    return WriteEmpty(output, e, *file);
  }
  int64_t first = 0, last = 0;
  SourceSpan(*file, e, first, last);
  if (!output.Assign(file->fileBytes.data + first, last - first)) {
    output.length = 0;
    return 0;
  }
  // The value is the `length` bytes before `end`; everything before it is the
  // header, whose tag, VR and length stay as they are.
  const HeaderForm form = FormOf(*file, e);
  const int64_t headerSize = form.longForm ? 12 : 8;
  int64_t valueStart = static_cast<int64_t>(e.end) - e.length - first;
  if (valueStart < headerSize) valueStart = headerSize;
  for (int64_t i = valueStart; i < output.length; ++i) {
    if (output.data[i] != 0x20) output.data[i] = static_cast<uint8_t>(replaceChar);
  }
  return output.length;
}
