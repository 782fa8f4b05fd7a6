#include "controls/gdi_cache.h"

#include <gtest/gtest.h>

using plat::GetGdiObjectCounts;
using plat::GetObjectType;
using plat::RGB;

namespace {

// A cache claimed for the duration of one test, as a work panel claims its
// own storage.
class ClaimedCache : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ClaimGdiCache(&storage_)); }
  void TearDown() override {
    ReleaseGdiCache(&storage_);
    storage_.ReleaseStorage();
  }
  GdiCache storage_;
};

TEST(GdiCacheWithoutOwner, EveryRequestGetsNone) {
  ASSERT_EQ(ActiveGdiCache(), nullptr);
  plat::GdiObjectCounts before = GetGdiObjectCounts();
  EXPECT_EQ(CachedPen(plat::PS_SOLID, 1, RGB(128, 128, 128)), nullptr);
  EXPECT_EQ(CachedFont(u"宋体", 12, 400), nullptr);
  EXPECT_EQ(CachedBrush(RGB(34, 37, 43)), nullptr);
  EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST_F(ClaimedCache, SameKeyIsOneObjectAndStyleIsPartOfTheKey) {
  plat::GdiObjectCounts before = GetGdiObjectCounts();
  plat::HPEN solid = CachedPen(plat::PS_SOLID, 1, RGB(128, 128, 128));
  ASSERT_NE(solid, nullptr);
  EXPECT_EQ(GetObjectType(solid), plat::OBJ_PEN);
  EXPECT_EQ(CachedPen(plat::PS_SOLID, 1, RGB(128, 128, 128)), solid);
  plat::HPEN dotted = CachedPen(plat::PS_DOT, 1, RGB(128, 128, 128));
  EXPECT_NE(dotted, nullptr);
  EXPECT_NE(dotted, solid);
  EXPECT_NE(CachedPen(plat::PS_SOLID, 1, RGB(128, 128, 129)), solid);
  EXPECT_EQ(GetGdiObjectCounts().pens, before.pens + 3);
  EXPECT_EQ(storage_.count, 3);
}

TEST_F(ClaimedCache, KindsNeverMatchEachOther) {
  // A brush, a pen and a font whose numbers coincide (colour 12, font height
  // 12) stay three objects of their own kinds.
  plat::HBRUSH brush = CachedBrush(12);
  plat::HPEN pen = CachedPen(plat::PS_SOLID, 1, 12);
  plat::HFONT font = CachedFont(u"宋体", 12, 400);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(pen, nullptr);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(brush), plat::OBJ_BRUSH);
  EXPECT_EQ(GetObjectType(pen), plat::OBJ_PEN);
  EXPECT_EQ(GetObjectType(font), plat::OBJ_FONT);
  EXPECT_EQ(CachedFont(u"宋体", 12, 400), font);
  EXPECT_EQ(CachedBrush(12), brush);
  EXPECT_EQ(storage_.count, 3);
}

TEST_F(ClaimedCache, FontKeyIsFaceHeightAndWeightExactly) {
  plat::HFONT font = CachedFont(u"宋体", 12, 400);
  ASSERT_NE(font, nullptr);
  plat::LOGFONTW description;
  ASSERT_TRUE(plat::GetFontDescription(font, description));
  EXPECT_EQ(description.lfHeight, 12);
  EXPECT_EQ(description.lfWeight, 400);
  EXPECT_EQ(std::u16string_view(description.lfFaceName), u"宋体");
  EXPECT_EQ(description.lfItalic, 0);
  EXPECT_NE(CachedFont(u"宋体", 13, 400), font);
  EXPECT_NE(CachedFont(u"宋体", 12, 700), font);
  EXPECT_NE(CachedFont(u"MS Shell Dlg", 12, 400), font);
  EXPECT_EQ(storage_.count, 4);
}

TEST_F(ClaimedCache, NewKeysStopAtTheEntryLimitWhileCachedKeysAreStillServed) {
  for (plat::COLORREF c = 0; c <= static_cast<plat::COLORREF>(kGdiCacheLimit); ++c) {
    ASSERT_NE(CachedBrush(c), nullptr) << "entry " << c;
  }
  ASSERT_EQ(storage_.count, kGdiCacheLimit + 1);
  plat::GdiObjectCounts before = GetGdiObjectCounts();
  EXPECT_EQ(CachedBrush(0x00FFFFFF), nullptr);
  EXPECT_EQ(CachedPen(plat::PS_SOLID, 1, 0), nullptr);
  EXPECT_EQ(storage_.count, kGdiCacheLimit + 1);
  EXPECT_EQ(GetGdiObjectCounts(), before);
  plat::HBRUSH cached = CachedBrush(4321);
  EXPECT_NE(cached, nullptr);
  EXPECT_EQ(GetObjectType(cached), plat::OBJ_BRUSH);
}

TEST_F(ClaimedCache, ArrayGrowsInStepsOfSixteenAheadOfItsCount) {
  struct Case {
    int32_t entries;
    int32_t capacity;
  } cases[] = {{1, 16}, {2, 32}, {16, 32}, {17, 32}, {18, 48}, {33, 48}, {34, 64}};
  int32_t made = 0;
  for (const Case& c : cases) {
    while (made < c.entries) ASSERT_NE(CachedBrush(static_cast<plat::COLORREF>(made++)), nullptr);
    EXPECT_EQ(storage_.count, c.entries);
    EXPECT_EQ(storage_.capacity, c.capacity) << c.entries << " entries";
    EXPECT_EQ(storage_.capacity % 16, 0);
  }
}

TEST_F(ClaimedCache, ClearDeletesEveryObjectAndKeepsTheSlots) {
  plat::GdiObjectCounts before = GetGdiObjectCounts();
  CachedPen(plat::PS_SOLID, 1, RGB(75, 222, 253));
  CachedBrush(RGB(34, 37, 43));
  CachedFont(u"宋体", 12, 400);
  EXPECT_EQ(GetGdiObjectCounts().Total(), before.Total() + 3);
  ClearGdiCache();
  EXPECT_EQ(GetGdiObjectCounts(), before);
  EXPECT_EQ(storage_.count, 3);
  for (int32_t i = 0; i < storage_.count; ++i) EXPECT_EQ(storage_.entries[i], nullptr);
  // The cache keeps serving: a request after clearing makes a new object.
  plat::HBRUSH again = CachedBrush(RGB(34, 37, 43));
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(storage_.count, 4);
}

TEST(GdiCacheOwnership, FirstClaimWinsAndReleaseEmptiesTheReference) {
  plat::GdiObjectCounts before = GetGdiObjectCounts();
  GdiCache first;
  GdiCache second;
  EXPECT_TRUE(ClaimGdiCache(&first));
  EXPECT_FALSE(ClaimGdiCache(&second));
  EXPECT_EQ(ActiveGdiCache(), &first);
  ASSERT_NE(CachedBrush(1), nullptr);
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(second.count, 0);
  // Releasing a storage that is not the active one changes nothing.
  ReleaseGdiCache(&second);
  EXPECT_EQ(ActiveGdiCache(), &first);
  ReleaseGdiCache(&first);
  EXPECT_EQ(ActiveGdiCache(), nullptr);
  EXPECT_EQ(GetGdiObjectCounts(), before);
  EXPECT_EQ(CachedBrush(1), nullptr);
  // With the reference empty, the next claim takes it.
  EXPECT_TRUE(ClaimGdiCache(&second));
  ReleaseGdiCache(&second);
}

}  // namespace
