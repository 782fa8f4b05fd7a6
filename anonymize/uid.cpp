// Replacement UIDs and the copies of them cached in the collection.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <unistd.h>

#include "anonymize/anonymize.h"
#include "collection/collection.h"

// A root under the arc 2.25, whose sub-arcs need no registration.
const char kUidRoot[] = "2.25.3071589214466520";
static_assert(sizeof(kUidRoot) - 1 == 21, "the UID root has 21 characters");

namespace {

// The last UID handed out in this process: its time part and its number
// within that millisecond.
struct UidState {
  std::mutex lock;
  uint64_t lastMillis = 0;
  uint32_t sequence = 0;
};

UidState& State() {
  static UidState state;
  return state;
}

// The last part of a UID is the process id in its low 22 bits (Linux never
// hands out a larger one) and the UID's number within its millisecond above
// them, so it stays a signed 32-bit number: two processes alive at the same
// time never share it, and one process never repeats a pair of time and
// number. The time part follows the clock instead of running ahead of it,
// so a run that starts after another can never reuse the other's times.
constexpr uint32_t kProcessBits = 22;
constexpr uint32_t kSequencesPerMillisecond = 1u << (31 - kProcessBits);  // 512

uint32_t ProcessPart() { return static_cast<uint32_t>(::getpid()) & ((1u << kProcessBits) - 1); }

}  // namespace

uint64_t UnixTimeMillis() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return millis > 0 ? static_cast<uint64_t>(millis) : 0;
}

std::u16string NewUid(const char* kind) {
  uint64_t millis = 0;
  uint32_t sequence = 0;
  {
    UidState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    millis = UnixTimeMillis();
    if (millis > state.lastMillis) {
      state.lastMillis = millis;
      state.sequence = 0;
    } else if (state.sequence + 1 < kSequencesPerMillisecond) {
      ++state.sequence;  // the same millisecond, or a clock set back: the next number
    } else if (millis + 1000 < state.lastMillis) {
      // The clock was set back by more than a second: rather than wait for
      // it, run ahead of it.
      ++state.lastMillis;
      state.sequence = 0;
    } else {
      // Every number of this millisecond is taken: wait for the next one.
      while ((millis = UnixTimeMillis()) <= state.lastMillis) std::this_thread::yield();
      state.lastMillis = millis;
      state.sequence = 0;
    }
    millis = state.lastMillis;
    sequence = state.sequence;
  }
  const uint32_t last = (sequence << kProcessBits) | ProcessPart();
  char text[96];
  int n = std::snprintf(text, sizeof text, "%s.%s.%llu.%d", kUidRoot, kind != nullptr ? kind : "",
                        static_cast<unsigned long long>(millis), static_cast<int>(last));
  if (n < 0) return std::u16string();
  if (n >= static_cast<int>(sizeof text)) n = static_cast<int>(sizeof text) - 1;
  // The text is ASCII digits and dots.
  return std::u16string(text, text + n);
}

namespace {

const std::u16string& Cached(std::u16string& field, const char* kind) {
  if (field.empty()) field = NewUid(kind);
  return field;
}

// A cached replacement shared by every entry of the collection with the same
// original UID: the map's value, made on first use.
const std::u16string& Shared(std::u16string& field, const char* kind, StudyCollection* collection,
                             std::unordered_map<std::u16string, std::u16string> StudyCollection::*map,
                             const std::u16string& original) {
  if (!field.empty()) return field;
  if (collection == nullptr || original.empty()) return Cached(field, kind);
  std::u16string& shared = (collection->*map)[original];
  if (shared.empty()) shared = NewUid(kind);
  field = shared;
  return field;
}

StudyCollection* CollectionOf(const StudyEntry& study) {
  return study.parent != nullptr ? study.parent->owner : nullptr;
}

}  // namespace

const std::u16string& StudyUid(StudyEntry& study) {
  return Shared(study.newStudyUid, "1", CollectionOf(study), &StudyCollection::newStudyUids, study.studyInstanceUid);
}
const std::u16string& InstanceCreatorUid(StudyEntry& study) { return Cached(study.newInstanceCreatorUid, "4"); }
const std::u16string& Kind5Uid(StudyEntry& study) { return Cached(study.newKind5Uid, "5"); }
const std::u16string& SeriesUid(SeriesEntry& series) {
  StudyCollection* collection = series.parent != nullptr ? CollectionOf(*series.parent) : nullptr;
  return Shared(series.newSeriesUid, "2", collection, &StudyCollection::newSeriesUids, series.seriesInstanceUid);
}
