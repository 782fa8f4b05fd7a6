// The writer's output stream: the zero preamble, "DICM", the source elements
// with the profile applied, and the de-identification marks.
#include <cstring>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "anonymize/internal/encoding.h"

using anonymize_internal::FormOf;
using anonymize_internal::HeaderForm;
using anonymize_internal::SourceSpan;

namespace {

constexpr uint8_t kZeroPreamble[128] = {};
constexpr uint8_t kPrefix[4] = {'D', 'I', 'C', 'M'};

// The value of (0012,0063): 39 characters padded with a space to an even
// 40 (LO pads with spaces; a zero byte is not a character it may hold).
constexpr char kMethodText[] = "Basic Confidentiality Profile Anonymize ";
static_assert(sizeof kMethodText - 1 == 40);
// The value of (0012,0062) in every copy.
constexpr char kIdentityRemoved[] = "YES ";

constexpr TagKey kPatientIdentityRemoved = MakeTagKey(0x0012, 0x0062);
constexpr TagKey kDeidentificationMethod = MakeTagKey(0x0012, 0x0063);

// Whether the source's own (0012,0062) already says "YES" (padded as CS
// values are), so that it may stay as read.
bool SaysYes(const DicomFile& file, const DicomElement& e) {
  const uint8_t* first;
  int32_t count;
  file.ValueSpan(e, first, count);
  if (first == nullptr || count != e.length) return false;
  while (count > 0 && (first[count - 1] == ' ' || first[count - 1] == 0)) --count;
  return count == 3 && std::memcmp(first, "YES", 3) == 0;
}

// (0012,0062) "YES " under the element's own header form.
bool AppendIdentityRemoved(ByteBuffer<uint8_t>& out, const DicomFile& file, const DicomElement& e) {
  HeaderForm form = FormOf(file, e);
  form.longForm = false;  // CS has the short explicit header
  return anonymize_internal::AppendHeader(out, 0x0012, 0x0062, vr::CS, 4, form) &&
         out.Append(reinterpret_cast<const uint8_t*>(kIdentityRemoved), 4);
}

}  // namespace

void AnonyProfile::InsertMarks(const DicomFile& file) {
  // The marks belong to group 0012 of the data set, so they take its VR
  // form and byte order.
  const bool explicitVr = file.explicitVr == 1;
  const bool big = file.littleEndian == 0;
  uint8_t marks[60];
  int n = 0;
  auto put16 = [&](uint16_t v) {
    marks[n + (big ? 1 : 0)] = static_cast<uint8_t>(v);
    marks[n + (big ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    n += 2;
  };
  auto header = [&](uint16_t element, char vr0, char vr1, uint16_t length) {
    put16(0x0012);
    put16(element);
    if (explicitVr) {
      marks[n++] = static_cast<uint8_t>(vr0);
      marks[n++] = static_cast<uint8_t>(vr1);
      put16(length);
    } else if (big) {
      put16(0);
      put16(length);
    } else {
      put16(length);
      put16(0);
    }
  };
  header(0x0062, 'C', 'S', 4);  // Patient Identity Removed
  std::memcpy(marks + n, kIdentityRemoved, 4);
  n += 4;
  header(0x0063, 'L', 'O', 40);  // De-identification Method
  std::memcpy(marks + n, kMethodText, 40);
  n += 40;
  // BuildAnonymized sees a failed append in the stream's length.
  (void)output.Append(marks, n);
}

bool AnonyProfile::BuildAnonymized(const DicomFile& file) {
  marksDone = 0;
  marksInserted = 0;
  output.length = 0;
  hasTail = false;
  // One allocation for the whole stream in the usual case: the copy is at
  // most the source plus the preamble and the marks, give or take a few
  // generated values.
  const int64_t sourceSize = file.fileBytes.length;
  if (!output.Reserve(sourceSize + 128 + 4 + 60 + 1024)) return false;
  bool ok = output.Append(kZeroPreamble, sizeof kZeroPreamble) && output.Append(kPrefix, sizeof kPrefix);

  // Unchanged source bytes not yet in `output`: consecutive copies of
  // adjoining elements gather here, so that a run that ends the stream can
  // stay out of it (deferTail).
  int64_t runFirst = 0, runLast = 0;
  auto flushRun = [&] {
    if (runLast > runFirst) ok = ok && output.Append(file.fileBytes.data + runFirst, runLast - runFirst);
    runFirst = runLast = 0;
  };

  int32_t lastEnd = 0;
  for (const DicomElement& e : file.elements) {
    if (!ok) break;
    // Elements inside a sequence already written (or dropped) as a whole.
    if (e.depth > 0 && e.end <= lastEnd) continue;

    if (insertMarks == 1 && marksDone == 0) {
      if (e.Key() == kPatientIdentityRemoved || e.Key() == kDeidentificationMethod) {
        marksDone = marksInserted = 1;  // the file keeps its own method
        // A copy always says that the identity was removed: a source's own
        // other value would make it lie, and a source that names a method
        // without saying so gets the statement in front of it.
        if (e.Key() == kDeidentificationMethod && e.depth == 0) {
          flushRun();
          ok = ok && AppendIdentityRemoved(output, file, e);
        }
      } else if (e.group > 0x0012 || (e.group == 0x0012 && e.element > 0x0063)) {
        flushRun();
        const int32_t before = output.length;
        InsertMarks(file);
        ok = ok && output.length == before + 60;
        marksDone = marksInserted = 1;
      }
    }
    if (e.Key() == kPatientIdentityRemoved && e.depth == 0 && !SaysYes(file, e)) {
      flushRun();
      ok = ok && AppendIdentityRemoved(output, file, e);
      lastEnd = e.end;
      continue;
    }

    if (AnonyTagInterface* action = ActionFor(e)) {
      flushRun();
      scratch_.length = 0;
      action->Apply(scratch_, e, &file);
      if (scratch_.length > 0) ok = ok && output.Append(scratch_.data, scratch_.length);
    } else {
      int64_t first = 0, last = 0;
      SourceSpan(file, e, first, last);
      if (last > first) {
        if (runLast != first) {  // not adjoining the run: the run goes out first
          flushRun();
          runFirst = first;
        }
        runLast = last;
      }
    }
    lastEnd = e.end;
  }
  if (ok && deferTail && runLast - runFirst >= kTailMinimum &&
      file.SourceRangeOf(runFirst, runLast - runFirst, tail)) {
    hasTail = true;
  } else {
    flushRun();
  }
  return ok;
}
