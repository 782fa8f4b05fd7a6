// The audit of de-identified copies: what in a copy may still identify a
// person, judged by the table under the options the copy says it was made
// with.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "anonymize/confidentiality.h"
#include "anonymize/internal/values.h"

using anonymize_internal::IsFreeTextVr;
using anonymize_internal::RawValue;
using anonymize_internal::SplitValues;
using anonymize_internal::TrimValue;

namespace {

constexpr char kStandardUidRoot[] = "1.2.840.10008.";

std::string TagText(uint16_t group, uint16_t element) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", group, element);
  return text;
}

bool IsTextVr(VrCode code) {
  switch (code) {
    case vr::AE: case vr::AS: case vr::CS: case vr::DA: case vr::DS: case vr::DT: case vr::IS: case vr::LO:
    case vr::LT: case vr::PN: case vr::SH: case vr::ST: case vr::TM: case vr::UC: case vr::UI: case vr::UR:
    case vr::UT:
      return true;
    default:
      return false;
  }
}

// UID attributes that name classes, schemes or syntaxes, never an instance.
bool NamesAClass(const DicomElement& e) {
  static const uint32_t kClassUids[] = {
      0x00080016,  // SOP Class UID
      0x00081150,  // Referenced SOP Class UID
      0x0008010C,  // Coding Scheme UID
      0x00080118,  // Mapping Resource UID
      0x00080062,  // SOP Classes in Study
      0x0008010D,  // Context Group Extension Creator UID
      0x00041510,  // Referenced SOP Class UID in File
      0x00041512,  // Referenced Transfer Syntax UID in File
      0x0004151A,  // Referenced Related General SOP Class UID in File
      0x00081A00,  // Referenced transfer syntax family
  };
  const uint32_t key = (uint32_t{e.group} << 16) | e.element;
  for (uint32_t c : kClassUids)
    if (c == key) return true;
  return false;
}

// The values the writer itself puts in: they say nothing about anyone.
bool IsDummyValue(const std::string& value) {
  static const std::set<std::string> kDummies = {"ANONYMIZED", "ANONYMOUS", "000Y", "19000101",
                                                 "19000101000000", "000000", "0"};
  if (kDummies.count(value) != 0) return true;
  return value.size() == 16 && value.compare(0, 4, "ANON") == 0;  // a patient pseudonym
}

// The place of every element: the chain of sequence tags above it.
std::vector<std::string> PlacesOf(const DicomFile& file) {
  std::vector<std::string> places;
  std::vector<std::pair<int32_t, std::string>> open;  // enclosing sequences: end, place
  places.reserve(file.elements.length);
  for (const DicomElement& e : file.elements) {
    while (!open.empty() && (e.offset >= open.back().first || static_cast<int32_t>(open.size()) > e.depth))
      open.pop_back();
    std::string place = open.empty() ? std::string() : open.back().second + ".";
    place += TagText(e.group, e.element);
    places.push_back(place);
    if (e.vr == vr::SQ) open.emplace_back(e.end, place);
  }
  return places;
}

// The options a copy names in its (0012,0063).
BasicOptions OptionsNamed(const DicomFile& copy) {
  BasicOptions options;
  std::string method;
  for (const DicomElement& e : copy.elements)
    if (e.depth == 0 && e.group == 0x0012 && e.element == 0x0063) method = RawValue(copy, e);
  BasicOptions every;
  for (bool& on : every.option) on = true;
  const std::vector<std::string> texts = DeidentificationMethodTexts(every);
  const std::vector<std::string> each = SplitValues(method);
  for (int32_t i = 0; i < kConfidentialityOptionCount; ++i) {
    BasicOptions one;
    one.option[i] = true;
    const std::vector<std::string> named = DeidentificationMethodTexts(one);
    if (named.size() < 2) continue;
    for (const std::string& part : each)
      if (part == named.back()) options.option[i] = true;
  }
  return options;
}

// Whether the table lets the element's value stand under the options.
bool ValueMayStay(const DicomElement& e, const std::string& value, const BasicOptions& options) {
  const ConfidentialityRow* row = FindConfidentialityRow(e.group, e.element);
  if (row == nullptr) return true;
  const ElementAction action = DecideAction(row, e.vr == vr::SQ, options);
  switch (action) {
    case ElementAction::Keep:
    case ElementAction::ShiftDate:
      return true;
    case ElementAction::NewUid:
      return value.compare(0, 5, "2.25.") == 0 || value.empty();
    case ElementAction::Dummy:
      return IsDummyValue(value) || (e.vr == vr::UI && value.compare(0, 5, "2.25.") == 0);
    default:
      return false;
  }
}

void Add(AuditReport& report, std::string path, const char* kind, std::string detail, int32_t element = -1) {
  report.findings.push_back(AuditFinding{std::move(path), kind, std::move(detail), element});
}

}  // namespace

AuditReport AuditFile(const DicomFile& copy, const DicomFile* source) {
  AuditReport report;
  report.path = copy.path;
  report.readable = copy.status >= 1;
  if (!report.readable) return report;
  const BasicOptions options = OptionsNamed(copy);
  const std::vector<std::string> places = PlacesOf(copy);

  std::string name, id, identityRemoved;
  for (const DicomElement& e : copy.elements) {
    if (e.depth != 0) continue;
    if (e.group == 0x0010 && e.element == 0x0010) name = TrimValue(RawValue(copy, e));
    if (e.group == 0x0010 && e.element == 0x0020) id = TrimValue(RawValue(copy, e));
    if (e.group == 0x0012 && e.element == 0x0062) identityRemoved = TrimValue(RawValue(copy, e));
  }
  if (identityRemoved != "YES") Add(report, TagText(0x0012, 0x0062), "marks", "Patient Identity Removed is not YES");
  if (MayHaveBurnedInText(copy)) Add(report, "", "burned-in", "may carry text burned into its pixels");

  // Pieces of the name and ID that would give the person away in free text.
  std::vector<std::string> identity;
  auto addPiece = [&identity](const std::string& piece) {
    // A masked name or ID ("****", "0000") gives nobody away.
    if (piece.size() >= 3 && !IsDummyValue(piece) && piece.find_first_not_of("*0 ") != std::string::npos)
      identity.push_back(piece);
  };
  addPiece(id);
  addPiece(name);
  for (size_t start = 0; start < name.size();) {
    size_t caret = name.find_first_of("^=", start);
    addPiece(TrimValue(name.substr(start, caret == std::string::npos ? std::string::npos : caret - start)));
    if (caret == std::string::npos) break;
    start = caret + 1;
  }

  for (int32_t i = 0; i < copy.elements.length; ++i) {
    const DicomElement& e = copy.elements.data[i];
    const std::string& place = places[i];
    if ((e.group & 1) != 0) {
      Add(report, place, "private", "private element", i);
      continue;
    }
    if (e.vr == vr::SQ) continue;  // judged by what its items hold
    const std::string value = TrimValue(RawValue(copy, e));
    if (value.empty()) continue;
    const ConfidentialityRow* row = FindConfidentialityRow(e.group, e.element);
    if (row != nullptr && !ValueMayStay(e, value, options)) Add(report, place, "value", row->name, i);
    if (e.vr == vr::UI && !options.option[OptionRetainUids] && e.group != 0x0002 && !NamesAClass(e)) {
      const std::vector<std::string> uids = SplitValues(value);
      for (const std::string& uid : uids)
        if (!uid.empty() && uid.compare(0, 5, "2.25.") != 0 && uid.compare(0, 14, kStandardUidRoot) != 0)
          Add(report, place, "uid", uid, i);
    }
    if (IsFreeTextVr(e.vr) && !(e.group == 0x0010 && (e.element == 0x0010 || e.element == 0x0020))) {
      for (const std::string& piece : identity)
        if (value.find(piece) != std::string::npos) {
          Add(report, place, "name-in-text", piece, i);
          break;
        }
    }
  }

  if (source != nullptr && source->status >= 1) {
    // Every value of the source that had to go, searched for in the copy's
    // bytes as they stand (so in the file's character set).
    const std::vector<std::string> sourcePlaces = PlacesOf(*source);
    // A value that had to go may equal one that may stay (an institution
    // named like the manufacturer): finding it says nothing.
    std::set<std::string> reported, kept;
    for (const DicomElement& e : source->elements) {
      if (!IsTextVr(e.vr) || (e.group & 1) != 0) continue;
      const ConfidentialityRow* row = FindConfidentialityRow(e.group, e.element);
      const ElementAction action = DecideAction(row, false, options);
      if (action == ElementAction::Keep || action == ElementAction::ShiftDate) kept.insert(TrimValue(RawValue(*source, e)));
    }
    const char* bytes = reinterpret_cast<const char*>(copy.fileBytes.data);
    const size_t size = static_cast<size_t>(copy.fileBytes.length);
    for (int32_t i = 0; i < source->elements.length; ++i) {
      const DicomElement& e = source->elements.data[i];
      if (!IsTextVr(e.vr)) continue;
      const std::string value = TrimValue(RawValue(*source, e));
      if (value.size() < 4 || IsDummyValue(value) || value.compare(0, 14, kStandardUidRoot) == 0) continue;
      // Numbers alone (measurements, counts) name nobody.
      if (e.vr == vr::DS || e.vr == vr::IS) continue;
      if (std::string("ANONYMIZED ANONYMOUS").find(value) != std::string::npos) continue;
      bool inKept = false;
      for (const std::string& k : kept) inKept = inKept || k.find(value) != std::string::npos;
      if (inKept) continue;
      const bool isPrivate = (e.group & 1) != 0;
      const ConfidentialityRow* row = FindConfidentialityRow(e.group, e.element);
      if (!isPrivate && (row == nullptr || DecideAction(row, false, options) == ElementAction::Keep ||
                         DecideAction(row, false, options) == ElementAction::ShiftDate))
        continue;
      if (reported.count(value) != 0) continue;
      if (size >= value.size() && memmem(bytes, size, value.data(), value.size()) != nullptr) {
        reported.insert(value);
        Add(report, sourcePlaces[i], "source-value", value);
      }
    }
  }
  return report;
}
