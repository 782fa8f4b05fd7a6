// Replacement UIDs and the copies of them cached in the collection.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>

#include <unistd.h>

#include "anonymize/anonymize.h"
#include "collection/collection.h"

// A root under the arc 2.25, whose sub-arcs need no registration.
const char kUidRoot[] = "2.25.3071589214466520";
static_assert(sizeof(kUidRoot) - 1 == 21, "the UID root has 21 characters");

namespace {

// The time part of the last UID handed out, and the random source, both for
// the whole process. The generator is seeded once: reseeding it from the
// clock on every call would repeat the same draw within one second.
struct UidState {
  std::mutex lock;
  uint64_t lastMillis = 0;
  std::mt19937 generator;
  bool seeded = false;
};

UidState& State() {
  static UidState state;
  return state;
}

void Seed(std::mt19937& generator) {
  std::seed_seq::result_type entropy[4] = {
      static_cast<std::seed_seq::result_type>(std::time(nullptr)),
      static_cast<std::seed_seq::result_type>(::getpid()),
      static_cast<std::seed_seq::result_type>(std::chrono::steady_clock::now().time_since_epoch().count()),
      0};
  try {
    std::random_device device;
    entropy[3] = device();
  } catch (...) {
    // Without a device the clock and the process id still differ per run.
  }
  std::seed_seq seq(std::begin(entropy), std::end(entropy));
  generator.seed(seq);
}

}  // namespace

uint64_t UnixTimeMillis() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return millis > 0 ? static_cast<uint64_t>(millis) : 0;
}

std::u16string NewUid(const char* kind) {
  uint64_t millis = 0;
  int draw = 0;
  {
    UidState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    if (!state.seeded) {
      Seed(state.generator);
      state.seeded = true;
    }
    // UIDs made within one millisecond take the following milliseconds, so
    // that no two are ever equal.
    millis = UnixTimeMillis();
    if (millis <= state.lastMillis) millis = state.lastMillis + 1;
    state.lastMillis = millis;
    draw = std::uniform_int_distribution<int>(1000, 9999)(state.generator);
  }
  char text[96];
  int n = std::snprintf(text, sizeof text, "%s.%s.%llu.%d", kUidRoot, kind != nullptr ? kind : "",
                        static_cast<unsigned long long>(millis), draw);
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
}  // namespace

const std::u16string& StudyUid(StudyEntry& study) { return Cached(study.newStudyUid, "1"); }
const std::u16string& InstanceCreatorUid(StudyEntry& study) { return Cached(study.newInstanceCreatorUid, "4"); }
const std::u16string& Kind5Uid(StudyEntry& study) { return Cached(study.newKind5Uid, "5"); }
const std::u16string& SeriesUid(SeriesEntry& series) { return Cached(series.newSeriesUid, "2"); }
