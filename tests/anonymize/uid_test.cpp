// Generated UIDs: their form, their uniqueness, and the copies cached per
// study and series.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <unordered_set>

#include "anonymize/anonymize.h"
#include "collection/collection.h"
#include "platform/core/text.h"

namespace {

std::string Narrow(const std::u16string& s) { return plat::Utf16ToUtf8(s); }

TEST(NewUid, HasTheRootTheKindATimeAndFourDigits) {
  EXPECT_EQ(std::string(kUidRoot).size(), 21u);
  EXPECT_TRUE(std::regex_match(kUidRoot, std::regex("[1-9][0-9]*(\\.(0|[1-9][0-9]*))+")));
  for (const char* kind : {"1", "2", "3", "4", "5"}) {
    const uint64_t before = UnixTimeMillis();
    std::string uid = Narrow(NewUid(kind));
    std::smatch m;
    ASSERT_TRUE(std::regex_match(uid, m, std::regex("(.{21})\\.([1-5])\\.([0-9]{13})\\.([0-9]{4})"))) << uid;
    EXPECT_EQ(m[1], kUidRoot);
    EXPECT_EQ(m[2], kind);
    EXPECT_GE(std::stoull(m[3]), before);
    int random = std::stoi(m[4]);
    EXPECT_GE(random, 1000);
    EXPECT_LE(random, 9999);
    EXPECT_EQ(uid.size(), 42u);
  }
}

TEST(NewUid, NeverRepeatsAndItsTimePartAlwaysGrows) {
  std::unordered_set<std::u16string> seen;
  unsigned long long last = 0;
  for (int i = 0; i < 100000; ++i) {
    std::u16string uid = NewUid("3");
    ASSERT_TRUE(seen.insert(uid).second) << "repeated: " << Narrow(uid);
    unsigned long long t = std::stoull(Narrow(uid.substr(24, 13)));
    ASSERT_GT(t, last);
    last = t;
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
