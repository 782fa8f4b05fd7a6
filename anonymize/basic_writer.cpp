// The writer of the confidentiality profile: it walks the data set again,
// item by item, and writes a new one in which every element at every depth
// has been handled by its row of the table. Sequences and items are written
// with undefined lengths, so that no length of an enclosing element has to
// be known before its contents are written; group lengths are dropped.
#include <cstring>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "anonymize/confidentiality.h"
#include "anonymize/internal/encoding.h"
#include "anonymize/internal/values.h"

using anonymize_internal::AppendHeader;
using anonymize_internal::HeaderForm;
using anonymize_internal::IsFreeTextVr;
using anonymize_internal::SplitValues;
using anonymize_internal::TopLevelValue;
using anonymize_internal::TrimValue;

namespace {

constexpr uint32_t kUndefined = 0xFFFFFFFF;
constexpr uint16_t kItemGroup = 0xFFFE;
constexpr uint16_t kItem = 0xE000, kItemDelimiter = 0xE00D, kSequenceDelimiter = 0xE0DD;
constexpr char kDeflatedSyntax[] = "1.2.840.10008.1.2.1.99";
constexpr char kImplicitLittleSyntax[] = "1.2.840.10008.1.2";
// This program as the implementation that wrote the copy.
constexpr char kImplementationVersion[] = "TESMER_1";
const std::string kImplementationUid = std::string(kUidRoot) + ".100";

struct Form {
  bool explicitVr;
  bool big;
};

struct Header {
  uint16_t group = 0, element = 0;
  VrCode vr = kNoVr;
  uint32_t length = 0;
  int64_t valueStart = 0;
  bool sequence = false;
  bool encapsulated = false;
  Form childForm{};
};

// Dates as day numbers, for the shift (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

// "YYYYMMDD" moved back by `days`; false when the text is no such date.
bool ShiftDateText(std::string& date, int32_t days) {
  if (date.size() != 8) return false;
  for (char c : date)
    if (c < '0' || c > '9') return false;
  const int64_t y = std::stoi(date.substr(0, 4)), m = std::stoi(date.substr(4, 2)), d = std::stoi(date.substr(6, 2));
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  int64_t ny, nm, nd;
  CivilFromDays(DaysFromCivil(y, m, d) - days, ny, nm, nd);
  if (ny < 0 || ny > 9999) return false;
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", static_cast<int>(ny), static_cast<int>(nm), static_cast<int>(nd));
  date = text;
  return true;
}

std::string JoinValues(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  return out;
}

// A value that is valid for the VR and says nothing about anyone; empty for
// the VRs whose empty value is as good.
std::string DummyFor(VrCode code) {
  switch (code) {
    case vr::AE: return "ANONYMOUS";
    case vr::AS: return "000Y";
    case vr::CS: case vr::LO: case vr::SH: case vr::PN: case vr::ST: case vr::LT: case vr::UT: case vr::UC:
      return "ANONYMIZED";
    case vr::DA: return "19000101";
    case vr::DT: return "19000101000000";
    case vr::TM: return "000000";
    case vr::DS: case vr::IS: return "0";
    case vr::US: case vr::SS: return std::string(2, '\0');
    case vr::UL: case vr::SL: case vr::FL: case vr::AT: return std::string(4, '\0');
    case vr::FD: case vr::SV: case vr::UV: return std::string(8, '\0');
    default: return std::string();
  }
}

bool IsTextVr(VrCode code) {
  switch (code) {
    case vr::US: case vr::SS: case vr::UL: case vr::SL: case vr::FL: case vr::FD: case vr::AT:
    case vr::SV: case vr::UV: case vr::OB: case vr::OW: case vr::OF: case vr::OD: case vr::OL: case vr::OV:
    case vr::SQ:
      return false;
    default:
      return true;
  }
}

// The elements this writer adds at the top level, in tag order, as
// (group << 16 | element): a source's own are replaced.
constexpr uint32_t kWriterMarks[] = {0x00120062, 0x00120063, 0x00120064, 0x00280303};

bool OwnedByWriter(uint32_t key) {
  for (uint32_t mark : kWriterMarks)
    if (mark == key) return true;
  return false;
}

class Rewriter {
 public:
  Rewriter(const DicomFile& file, const BasicOptions& options, UidMapper& uids, ByteBuffer<uint8_t>& out,
           BasicFileReport& report)
      : file_(file), options_(options), uids_(uids), out_(out), report_(report),
        data_(file.fileBytes.data), size_(file.fileBytes.length) {}

  AnonymizeFailure Run(plat::SourceRange* tail, bool* hasTail);

 private:
  // Output, with one deferred run of source bytes that is copied only when
  // something follows it.
  void Emit(const void* bytes, int64_t count) {
    FlushDeferred();
    if (count > 0 && !out_.Append(static_cast<const uint8_t*>(bytes), count)) memoryOut_ = true;
  }
  void Emit(const std::string& bytes) { Emit(bytes.data(), static_cast<int64_t>(bytes.size())); }
  void EmitSource(int64_t first, int64_t last) {
    if (last - first >= AnonyProfile::kTailMinimum) {
      FlushDeferred();
      deferFirst_ = first;
      deferLast_ = last;
    } else {
      Emit(data_ + first, last - first);
    }
  }
  void FlushDeferred() {
    if (deferLast_ > deferFirst_) {
      const int64_t first = deferFirst_, last = deferLast_;
      deferFirst_ = deferLast_ = 0;
      if (!out_.Append(data_ + first, last - first)) memoryOut_ = true;
    }
  }
  void EmitHeader(uint16_t group, uint16_t element, VrCode code, uint32_t length) {
    FlushDeferred();
    if (code == kNoVr) code = vr::UN;
    HeaderForm form{outForm_.explicitVr, outForm_.explicitVr && (HasLongExplicitHeader(code) || code == vr::SQ),
                    outForm_.big};
    if (!AppendHeader(out_, group, element, code, length, form)) memoryOut_ = true;
  }
  void EmitItemTag(uint16_t element, uint32_t length) {
    FlushDeferred();
    HeaderForm form{false, false, outForm_.big};
    if (!AppendHeader(out_, kItemGroup, element, kNoVr, length, form)) memoryOut_ = true;
  }
  // A text or binary value with its header, padded to an even length.
  bool EmitValue(uint16_t group, uint16_t element, VrCode code, std::string value, bool uidPadding = false) {
    if (value.size() % 2 != 0) value += code == vr::UI || uidPadding ? '\0' : ' ';
    const bool longForm = outForm_.explicitVr && (HasLongExplicitHeader(code == kNoVr ? vr::UN : code));
    if (outForm_.explicitVr && !longForm && value.size() > 0xFFFF) return false;
    EmitHeader(group, element, code, static_cast<uint32_t>(value.size()));
    Emit(value);
    return true;
  }

  bool Fits(int64_t at, int64_t count) const { return at >= 0 && count >= 0 && at + count <= size_; }
  uint16_t Read16(int64_t at, bool big) const {
    const uint16_t v = static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
    return big ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
  }
  uint32_t Read32(int64_t at, bool big) const {
    if (big) return (uint32_t{Read16(at, true)} << 16) | Read16(at + 2, true);
    return uint32_t{Read16(at, false)} | (uint32_t{Read16(at + 2, false)} << 16);
  }

  bool ParseHeader(int64_t p, Form form, Header& h);
  int64_t Elements(int64_t p, int64_t limit, bool untilDelimiter, Form form, bool write, int32_t depth);
  int64_t Element(int64_t p, Form form, bool write, int32_t depth);
  int64_t Sequence(const Header& h, bool write, int32_t depth);
  int64_t FragmentsEnd(const Header& h) const;
  void WriteValue(const Header& h, ElementAction action);
  void InsertMarksBefore(uint32_t key);
  void WriteMarks(uint32_t key);

  void BuildMeta();

  const DicomFile& file_;
  const BasicOptions& options_;
  UidMapper& uids_;
  ByteBuffer<uint8_t>& out_;
  BasicFileReport& report_;
  const uint8_t* data_;
  int64_t size_;
  Form outForm_{};
  bool memoryOut_ = false;
  AnonymizeFailure failure_ = AnonymizeFailure::None;
  int64_t deferFirst_ = 0, deferLast_ = 0;
  std::string patientId_;
  int32_t shiftDays_ = 0;
  int32_t dummySequences_ = 0;  // enclosing sequences whose contents take dummies
  // The next of kWriterMarks still to be written.
  size_t nextMark_ = 0;
};

bool Rewriter::ParseHeader(int64_t p, Form form, Header& h) {
  if (!Fits(p, 8)) return false;
  h = Header{};
  h.group = Read16(p, form.big);
  h.element = Read16(p + 2, form.big);
  if (h.group == kItemGroup) return false;  // an item or delimiter where an element belongs
  h.childForm = form;
  if (form.explicitVr) {
    h.vr = MakeVr(static_cast<char>(data_[p + 4]), static_cast<char>(data_[p + 5]));
    if (data_[p + 4] < 'A' || data_[p + 4] > 'Z' || data_[p + 5] < 'A' || data_[p + 5] > 'Z') return false;
    if (HasLongExplicitHeader(h.vr) || h.vr == vr::SQ) {
      if (!Fits(p, 12)) return false;
      h.length = Read32(p + 8, form.big);
      h.valueStart = p + 12;
    } else {
      h.length = Read16(p + 6, form.big);
      h.valueStart = p + 8;
    }
  } else {
    h.vr = VrOfKey(MakeTagKey(h.group, h.element));
    if (h.vr == kNoVr) h.vr = vr::UN;
    h.length = Read32(p + 4, form.big);
    h.valueStart = p + 8;
  }
  const bool undefined = h.length == kUndefined;
  if (h.group == 0x7FE0 && h.element == 0x0010 && undefined) {
    h.encapsulated = true;
  } else if (h.vr == vr::SQ) {
    h.sequence = true;
  } else if (undefined && h.vr == vr::UN) {
    // Contents of unknown VR and undefined length are an implicit VR little
    // endian sequence, whatever the data set's encoding.
    h.sequence = true;
    h.childForm = Form{false, false};
  } else if (undefined) {
    return false;
  }
  return true;
}

int64_t Rewriter::FragmentsEnd(const Header& h) const {
  int64_t q = h.valueStart;
  while (Fits(q, 8)) {
    const uint16_t g = Read16(q, false), e = Read16(q + 2, false);
    if (g != kItemGroup) return -1;
    if (e == kSequenceDelimiter) return q + 8;
    if (e != kItem) return -1;
    q += 8 + static_cast<int64_t>(Read32(q + 4, false));
  }
  return -1;
}

int64_t Rewriter::Elements(int64_t p, int64_t limit, bool untilDelimiter, Form form, bool write, int32_t depth) {
  for (;;) {
    if (untilDelimiter) {
      if (!Fits(p, 8)) return -1;
      if (Read16(p, form.big) == kItemGroup && Read16(p + 2, form.big) == kItemDelimiter) return p + 8;
    } else if (p >= limit) {
      return p == limit ? p : -1;
    }
    p = Element(p, form, write, depth);
    if (p < 0) return -1;
  }
}

int64_t Rewriter::Sequence(const Header& h, bool write, int32_t depth) {
  if (depth >= kMaxSequenceDepth) return -1;
  const Form form = h.childForm;
  const bool defined = h.length != kUndefined;
  const int64_t limit = defined ? h.valueStart + h.length : -1;
  if (defined && limit > size_) return -1;
  int64_t q = h.valueStart;
  for (;;) {
    if (defined && q >= limit) break;
    if (!Fits(q, 8)) return -1;
    const uint16_t g = Read16(q, form.big), e = Read16(q + 2, form.big);
    if (g != kItemGroup) return -1;
    if (e == kSequenceDelimiter) {
      q += 8;
      if (defined) return -1;
      break;
    }
    if (e != kItem) return -1;
    const uint32_t itemLength = Read32(q + 4, form.big);
    if (write) EmitItemTag(kItem, kUndefined);
    if (itemLength == kUndefined) {
      q = Elements(q + 8, -1, true, form, write, depth + 1);
    } else {
      const int64_t itemEnd = q + 8 + itemLength;
      if (itemEnd > size_) return -1;
      q = Elements(q + 8, itemEnd, false, form, write, depth + 1);
    }
    if (q < 0) return -1;
    if (write) EmitItemTag(kItemDelimiter, 0);
  }
  if (defined && q != limit) return -1;
  return q;
}

void Rewriter::WriteValue(const Header& h, ElementAction action) {
  const int64_t end = h.valueStart + h.length;
  // Only the actions that read the value copy it (never the pixel data).
  const bool readsValue = action == ElementAction::Dummy || action == ElementAction::NewUid ||
                          (action == ElementAction::ShiftDate && (h.vr == vr::DA || h.vr == vr::DT));
  const std::string value =
      readsValue ? std::string(reinterpret_cast<const char*>(data_ + h.valueStart), h.length) : std::string();
  const bool text = IsTextVr(h.vr);
  bool fits = true;
  switch (action) {
    case ElementAction::Keep:
      ++report_.kept;
      if (outForm_.explicitVr && !HasLongExplicitHeader(h.vr) && h.length > 0xFFFF) {
        fits = false;  // read from implicit contents, too long for its explicit header
        break;
      }
      EmitHeader(h.group, h.element, h.vr, h.length);
      EmitSource(h.valueStart, end);
      return;
    case ElementAction::Remove:
      ++report_.removed;
      return;
    case ElementAction::Empty:
      ++report_.emptied;
      EmitHeader(h.group, h.element, h.vr, 0);
      return;
    case ElementAction::Dummy: {
      ++report_.dummies;
      std::string dummy = DummyFor(h.vr);
      if (h.group == 0x0010 && h.element == 0x0020 && text) dummy = uids_.PatientPseudonym(patientId_);
      if (h.vr == vr::UI) dummy = TrimValue(value).empty() ? std::string() : uids_.Map(TrimValue(value));
      fits = EmitValue(h.group, h.element, h.vr, dummy);
      break;
    }
    case ElementAction::NewUid: {
      if (!text) {  // not a UID: nothing to map, nothing to keep
        ++report_.emptied;
        EmitHeader(h.group, h.element, h.vr, 0);
        return;
      }
      ++report_.uidsMapped;
      std::vector<std::string> parts = SplitValues(value);
      for (std::string& part : parts)
        if (!part.empty()) part = uids_.Map(part);
      // A UID kept under VR UN is still padded as a UID.
      fits = EmitValue(h.group, h.element, h.vr == vr::UN ? vr::UN : vr::UI, JoinValues(parts), true);
      break;
    }
    case ElementAction::ShiftDate: {
      if (h.vr == vr::TM) {  // times are kept
        ++report_.kept;
        EmitHeader(h.group, h.element, h.vr, h.length);
        EmitSource(h.valueStart, end);
        return;
      }
      if (h.vr != vr::DA && h.vr != vr::DT) {
        ++report_.removed;
        return;
      }
      std::vector<std::string> parts = SplitValues(value);
      bool shifted = true;
      for (std::string& part : parts) {
        if (part.empty()) continue;
        if (h.vr == vr::DA) {
          // A range "A-B" shifts both ends.
          const size_t dash = part.find('-');
          std::string a = part.substr(0, dash), b = dash == std::string::npos ? std::string() : part.substr(dash + 1);
          if ((!a.empty() && !ShiftDateText(a, shiftDays_)) || (!b.empty() && !ShiftDateText(b, shiftDays_))) {
            shifted = false;
            break;
          }
          part = dash == std::string::npos ? a : a + "-" + b;
        } else {
          std::string date = part.substr(0, 8);
          if (!ShiftDateText(date, shiftDays_)) {
            shifted = false;
            break;
          }
          part = date + part.substr(8);
        }
      }
      if (!shifted) {  // no date to move: nothing of it may stay
        ++report_.emptied;
        EmitHeader(h.group, h.element, h.vr, 0);
        return;
      }
      ++report_.datesShifted;
      fits = EmitValue(h.group, h.element, h.vr, JoinValues(parts));
      break;
    }
  }
  if (!fits) failure_ = AnonymizeFailure::Unsupported;
}

int64_t Rewriter::Element(int64_t p, Form form, bool write, int32_t depth) {
  Header h;
  if (!ParseHeader(p, form, h)) return -1;
  // Contents read in another byte order than the copy's would need every
  // binary value turned around.
  if (write && form.big != outForm_.big) {
    failure_ = AnonymizeFailure::Unsupported;
    return -1;
  }
  const uint32_t key = (uint32_t{h.group} << 16) | h.element;
  if (write && depth == 0) InsertMarksBefore(key);

  ElementAction action;
  const bool isPrivate = (h.group & 1) != 0;
  if (isPrivate) {
    action = ElementAction::Remove;
  } else if (h.element == 0x0000 || (h.group == 0xFFFC && h.element == 0xFFFC)) {
    action = ElementAction::Remove;  // group lengths and padding
  } else if (depth == 0 && OwnedByWriter(key)) {
    action = ElementAction::Remove;  // replaced by this writer's own
  } else {
    const ConfidentialityRow* row = FindConfidentialityRow(h.group, h.element);
    action = DecideAction(row, h.sequence, options_);
    // Inside a sequence that takes dummy contents, free text the table does
    // not name gets a dummy too (code values and meanings of a person's or
    // an institution's codes); coded enumerations, numbers and UIDs stay, so
    // that the items stay valid.
    if (row == nullptr && dummySequences_ > 0 && IsFreeTextVr(h.vr)) action = ElementAction::Dummy;
  }
  if (!write) action = ElementAction::Remove;

  if (h.sequence) {
    const bool keepItems = action == ElementAction::Keep || action == ElementAction::NewUid ||
                           action == ElementAction::ShiftDate || action == ElementAction::Dummy;
    if (write) {
      if (isPrivate) ++report_.privateRemoved;
      else if (action == ElementAction::Remove) ++report_.removed;
      else if (action == ElementAction::Empty) ++report_.emptied;
      if (keepItems) {
        EmitHeader(h.group, h.element, vr::SQ, kUndefined);
      } else if (action == ElementAction::Empty) {
        EmitHeader(h.group, h.element, vr::SQ, 0);
      }
    }
    const bool dummyItems = write && action == ElementAction::Dummy;
    dummySequences_ += dummyItems ? 1 : 0;
    const int64_t end = Sequence(h, write && keepItems, depth);
    dummySequences_ -= dummyItems ? 1 : 0;
    if (end < 0) return -1;
    if (write && keepItems) EmitItemTag(kSequenceDelimiter, 0);
    return end;
  }
  if (h.encapsulated) {
    const int64_t end = FragmentsEnd(h);
    if (end < 0) return -1;
    if (write) {
      EmitHeader(h.group, h.element, form.explicitVr ? h.vr : vr::OB, kUndefined);
      EmitSource(h.valueStart, end);
    }
    return end;
  }
  const int64_t end = h.valueStart + h.length;
  if (end > size_) return -1;
  if (write) {
    if (isPrivate) {
      ++report_.privateRemoved;
    } else {
      WriteValue(h, action);
    }
  }
  return end;
}

void Rewriter::InsertMarksBefore(uint32_t key) {
  while (nextMark_ < std::size(kWriterMarks) && kWriterMarks[nextMark_] <= key) WriteMarks(kWriterMarks[nextMark_++]);
}

void Rewriter::WriteMarks(uint32_t key) {
  const uint16_t group = static_cast<uint16_t>(key >> 16), element = static_cast<uint16_t>(key);
  switch (key) {
    case 0x00120062:  // Patient Identity Removed
      EmitValue(group, element, vr::CS, "YES");
      break;
    case 0x00120063:  // De-identification Method
      EmitValue(group, element, vr::LO, JoinValues(DeidentificationMethodTexts(options_)));
      break;
    case 0x00120064: {  // De-identification Method Code Sequence (CID 7050)
      struct Code {
        int32_t option;  // -1: always
        const char* value;
        const char* meaning;
      };
      static const Code kCodes[] = {
          {-1, "113100", "Basic Application Confidentiality Profile"},
          {OptionCleanDescriptors, "113105", "Clean Descriptors Option"},
          {OptionRetainDates, "113106", "Retain Longitudinal Temporal Information Full Dates Option"},
          {OptionShiftDates, "113107", "Retain Longitudinal Temporal Information Modified Dates Option"},
          {OptionRetainPatientChars, "113108", "Retain Patient Characteristics Option"},
          {OptionRetainDevice, "113109", "Retain Device Identity Option"},
          {OptionRetainUids, "113110", "Retain UIDs Option"},
          {OptionRetainSafePrivate, "113111", "Retain Safe Private Option"},
          {OptionRetainInstitution, "113112", "Retain Institution Identity Option"},
      };
      EmitHeader(group, element, vr::SQ, kUndefined);
      for (const Code& code : kCodes) {
        if (code.option >= 0 && !options_.option[code.option]) continue;
        EmitItemTag(kItem, kUndefined);
        EmitValue(0x0008, 0x0100, vr::SH, code.value);
        EmitValue(0x0008, 0x0102, vr::SH, "DCM");
        EmitValue(0x0008, 0x0104, vr::LO, code.meaning);
        EmitItemTag(kItemDelimiter, 0);
      }
      EmitItemTag(kSequenceDelimiter, 0);
      break;
    }
    case 0x00280303:  // Longitudinal Temporal Information Modified
      EmitValue(group, element, vr::CS,
                options_.option[OptionRetainDates]   ? "UNMODIFIED"
                : options_.option[OptionShiftDates] ? "MODIFIED"
                                                    : "REMOVED");
      break;
  }
}

void Rewriter::BuildMeta() {
  // Only what a reader needs stays: version, SOP class and instance, the
  // transfer syntax, and this program as the writer. The AE titles and the
  // private information of the meta group name places and vendors.
  const Form saved = outForm_;
  outForm_ = Form{true, false};  // the meta group is explicit VR little endian

  std::string version = TopLevelValue(file_, 0x0002, 0x0001);
  if (version.size() != 2) version = std::string{'\0', '\1'};
  std::string sopClass = TrimValue(TopLevelValue(file_, 0x0002, 0x0002));
  if (sopClass.empty()) sopClass = TrimValue(TopLevelValue(file_, 0x0008, 0x0016));
  std::string instance = TrimValue(TopLevelValue(file_, 0x0008, 0x0018));
  if (instance.empty()) instance = TrimValue(TopLevelValue(file_, 0x0002, 0x0003));
  if (!instance.empty() && !options_.option[OptionRetainUids]) instance = uids_.Map(instance);
  std::string syntax = TrimValue(TopLevelValue(file_, 0x0002, 0x0010));
  if (syntax.empty()) syntax = kImplicitLittleSyntax;

  EmitHeader(0x0002, 0x0000, vr::UL, 4);
  const int32_t lengthAt = out_.length;
  Emit(std::string(4, '\0'));
  const int32_t bodyStart = out_.length;
  EmitHeader(0x0002, 0x0001, vr::OB, 2);
  Emit(version);
  // A data set without SOP class or instance gets no empty stand-ins.
  if (!sopClass.empty()) EmitValue(0x0002, 0x0002, vr::UI, sopClass);
  if (!instance.empty()) EmitValue(0x0002, 0x0003, vr::UI, instance);
  EmitValue(0x0002, 0x0010, vr::UI, syntax);
  EmitValue(0x0002, 0x0012, vr::UI, kImplementationUid);
  EmitValue(0x0002, 0x0013, vr::SH, kImplementationVersion);
  if (!memoryOut_) {
    const uint32_t length = static_cast<uint32_t>(out_.length - bodyStart);
    for (int i = 0; i < 4; ++i) out_.data[lengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
  }
  outForm_ = saved;
}

AnonymizeFailure Rewriter::Run(plat::SourceRange* tail, bool* hasTail) {
  if (hasTail != nullptr) *hasTail = false;
  out_.length = 0;
  if (TrimValue(TopLevelValue(file_, 0x0002, 0x0010)) == kDeflatedSyntax) return AnonymizeFailure::Unsupported;
  // A bare explicit data set has no meta group to say its encoding, which a
  // copy behind "DICM" would need: refused like a deflated one, for now.
  if (file_.BareExplicit()) return AnonymizeFailure::Unsupported;
  outForm_ = Form{file_.explicitVr == 1, file_.littleEndian == 0};
  patientId_ = TrimValue(TopLevelValue(file_, 0x0010, 0x0020));
  if (options_.option[OptionShiftDates]) shiftDays_ = uids_.DateShiftDays(patientId_);

  if (!out_.Reserve(file_.fileBytes.length + 4096)) return AnonymizeFailure::OutputTooLarge;
  static const uint8_t kZeroPreamble[128] = {};
  Emit(kZeroPreamble, sizeof kZeroPreamble);
  Emit("DICM", 4);
  BuildMeta();

  // The data set begins with the first top-level element outside group 0002.
  int64_t start = size_;
  for (const DicomElement& e : file_.elements) {
    if (e.depth == 0 && e.group != 0x0002) {
      start = e.offset;
      break;
    }
  }
  const int64_t end = Elements(start, size_, false, outForm_, true, 0);
  if (failure_ != AnonymizeFailure::None) return failure_;
  if (end != size_) return AnonymizeFailure::Unsupported;
  InsertMarksBefore(0xFFFFFFFF);
  if (deferLast_ > deferFirst_ && tail != nullptr && hasTail != nullptr &&
      file_.SourceRangeOf(deferFirst_, deferLast_ - deferFirst_, *tail)) {
    *hasTail = true;
    deferFirst_ = deferLast_ = 0;
  }
  FlushDeferred();
  if (memoryOut_) return AnonymizeFailure::OutputTooLarge;
  return AnonymizeFailure::None;
}

}  // namespace

std::vector<std::string> DeidentificationMethodTexts(const BasicOptions& options) {
  static const struct {
    int32_t option;
    const char* text;
  } kTexts[] = {
      {OptionRetainSafePrivate, "Retain Safe Private Option (none kept)"},
      {OptionRetainUids, "Retain UIDs Option"},
      {OptionRetainDevice, "Retain Device Identity Option"},
      {OptionRetainInstitution, "Retain Institution Identity Option"},
      {OptionRetainPatientChars, "Retain Patient Characteristics Option"},
      {OptionRetainDates, "Retain Longitudinal Full Dates Option"},
      {OptionShiftDates, "Retain Longitudinal Modified Dates Option"},
      {OptionCleanDescriptors, "Clean Descriptors Option"},
  };
  std::vector<std::string> texts{"DICOM PS3.15 Basic Application Confidentiality Profile"};
  for (const auto& t : kTexts)
    if (options.option[t.option]) texts.push_back(t.text);
  return texts;
}

AnonymizeFailure BuildBasicCopy(const DicomFile& file, const BasicOptions& options, UidMapper& uids,
                                ByteBuffer<uint8_t>& output, BasicFileReport& report, plat::SourceRange* tail,
                                bool* hasTail) {
  Rewriter rewriter(file, options, uids, output, report);
  return rewriter.Run(tail, hasTail);
}
