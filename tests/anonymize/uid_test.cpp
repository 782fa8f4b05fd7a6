// Generated UIDs: their form, their uniqueness, and the copies cached per
// study and series.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <unordered_set>

#include "anonymize/anonymize.h"
#include "collection/collection.h"
#include "platform/core/text.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Narrow(const std::u16string& s) { return plat::Utf16ToUtf8(s); }

// The time part and the last number of a generated UID.
struct UidParts {
  unsigned long long millis = 0;
  long long last = 0;
};

// Valid UID syntax: components of digits separated by dots, none empty and
// none with a leading zero (a regular expression per UID would make the
// loops below crawl under the sanitizers).
bool IsUidSyntax(const std::string& uid) {
  size_t start = 0;
  for (;;) {
    size_t end = uid.find('.', start);
    if (end == std::string::npos) end = uid.size();
    if (end == start || (uid[start] == '0' && end - start > 1)) return false;
    for (size_t i = start; i < end; ++i)
      if (uid[i] < '0' || uid[i] > '9') return false;
    if (end == uid.size()) return true;
    start = end + 1;
  }
}

bool SplitUid(const std::string& uid, const char* kind, UidParts& parts) {
  // The root, the kind, a 13-digit time and a number of at most 10 digits.
  const std::string prefix = std::string(kUidRoot) + "." + kind + ".";
  if (!IsUidSyntax(uid) || uid.size() > 64 || uid.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t dot = uid.find('.', prefix.size());
  if (dot != prefix.size() + 13 || uid.find('.', dot + 1) != std::string::npos || uid.size() - dot - 1 > 10) return false;
  parts.millis = std::stoull(uid.substr(prefix.size(), 13));
  parts.last = std::stoll(uid.substr(dot + 1));
  return true;
}

TEST(NewUid, HasTheRootTheKindTheTimeAndANumberOfThisProcess) {
  EXPECT_EQ(std::string(kUidRoot).size(), 21u);
  EXPECT_TRUE(std::regex_match(kUidRoot, std::regex("[1-9][0-9]*(\\.(0|[1-9][0-9]*))+")));
  for (const char* kind : {"1", "2", "3", "4", "5"}) {
    const uint64_t before = UnixTimeMillis();
    std::string uid = Narrow(NewUid(kind));
    const uint64_t after = UnixTimeMillis();
    UidParts parts;
    ASSERT_TRUE(SplitUid(uid, kind, parts)) << uid;
    // The time part is the clock's, never ahead of it.
    EXPECT_GE(parts.millis, before);
    EXPECT_LE(parts.millis, after);
    EXPECT_LE(parts.last, 2147483647);  // a signed 32-bit number, as its format says
    EXPECT_EQ(parts.last % (1 << 22), ::getpid() % (1 << 22));
    EXPECT_LE(uid.size(), 64u);
  }
}

TEST(NewUid, NeverRepeatsAndNeverRunsAheadOfTheClock) {
  std::unordered_set<std::u16string> seen;
  UidParts previous;
  for (int i = 0; i < 100000; ++i) {
    std::u16string uid = NewUid("3");
    ASSERT_TRUE(seen.insert(uid).second) << "repeated: " << Narrow(uid);
    UidParts parts;
    ASSERT_TRUE(SplitUid(Narrow(uid), "3", parts)) << Narrow(uid);
    ASSERT_LE(parts.millis, UnixTimeMillis());
    // Within a millisecond the numbers count up; a new millisecond starts again.
    ASSERT_TRUE(parts.millis > previous.millis || parts.last > previous.last) << Narrow(uid);
    previous = parts;
  }
}

// Runs `processes` child processes, each writing `count` UIDs of kind "3" to
// a file of its own; all at once (released together) or one after another.
// Returns every UID written, in the order read.
std::vector<std::string> UidsOfProcesses(int processes, int count, bool atOnce) {
  fixture::TempDir dir;
  int release[2];
  if (::pipe(release) != 0) return {};
  std::vector<pid_t> children;
  for (int i = 0; i < processes; ++i) {
    const std::string path = dir.Join("uids-" + std::to_string(i));
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(release[1]);
      char go = 0;
      if (atOnce && ::read(release[0], &go, 1) < 0) ::_exit(3);
      std::FILE* out = std::fopen(path.c_str(), "w");
      if (out == nullptr) ::_exit(2);
      for (int k = 0; k < count; ++k) std::fprintf(out, "%s\n", Narrow(NewUid("3")).c_str());
      ::_exit(std::fclose(out) == 0 ? 0 : 2);
    }
    children.push_back(pid);
    if (!atOnce) ::waitpid(pid, nullptr, 0);
  }
  ::close(release[0]);
  ::close(release[1]);  // end of file for every waiting child: they start together
  for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
  std::vector<std::string> uids;
  for (int i = 0; i < processes; ++i) {
    std::ifstream in(dir.Join("uids-" + std::to_string(i)));
    for (std::string line; std::getline(in, line);) uids.push_back(line);
  }
  return uids;
}

TEST(NewUid, NeverRepeatsBetweenProcessesRunningAtOnceOrOneAfterAnother) {
  for (bool atOnce : {true, false}) {
    SCOPED_TRACE(atOnce ? "at once" : "one after another");
    const int processes = atOnce ? 16 : 12, count = 2000;
    const std::vector<std::string> uids = UidsOfProcesses(processes, count, atOnce);
    ASSERT_EQ(uids.size(), static_cast<size_t>(processes * count));
    std::unordered_set<std::string> seen;
    for (const std::string& uid : uids) {
      UidParts parts;
      EXPECT_TRUE(SplitUid(uid, "3", parts)) << uid;
      EXPECT_TRUE(seen.insert(uid).second) << "repeated: " << uid;
    }
  }
}

TEST(UnixTimeMillis, AgreesWithTheCalendarClock) {
  const uint64_t seconds = static_cast<uint64_t>(std::time(nullptr));
  const uint64_t millis = UnixTimeMillis();
  EXPECT_LE(millis / 1000 - seconds + 1, 3u);  // within a second either way
}

TEST(CachedUids, AreSharedPerStudyAndSeriesAndKeptOnceMade) {
  StudyEntry study;
  SeriesEntry one, two;
  one.parent = &study;
  two.parent = &study;
  EXPECT_TRUE(study.newStudyUid.empty());
  const std::u16string studyUid = StudyUid(study);
  EXPECT_EQ(StudyUid(study), studyUid);
  EXPECT_EQ(study.newStudyUid, studyUid);
  EXPECT_EQ(Narrow(studyUid).substr(21, 3), ".1.");
  EXPECT_EQ(Narrow(InstanceCreatorUid(study)).substr(21, 3), ".4.");
  EXPECT_EQ(Narrow(Kind5Uid(study)).substr(21, 3), ".5.");
  EXPECT_EQ(InstanceCreatorUid(study), study.newInstanceCreatorUid);
  EXPECT_EQ(Kind5Uid(study), study.newKind5Uid);

  EXPECT_TRUE(one.newSeriesUid.empty());
  const std::u16string first = SeriesUid(one);
  EXPECT_EQ(SeriesUid(one), first);
  EXPECT_NE(SeriesUid(two), first);
  EXPECT_EQ(Narrow(first).substr(21, 3), ".2.");
  // A value already cached, whatever its form, is used as it stands.
  one.newSeriesUid = u"1.2.3";
  EXPECT_EQ(SeriesUid(one), u"1.2.3");
}

}  // namespace
