// The fixed profile: its actions in order, the factory, and the rule that the
// first matching action decides.
#include <gtest/gtest.h>

#include "analysis/dicom_file.h"
#include "anonymize/anonymize.h"
#include "tests/anonymize/anonymize_fixtures.h"

namespace {

using namespace anonymize_fixture;

TEST(AnonyProfile, BuildsTheBasicProfileInOrder) {
  struct Row {
    uint16_t group, element;
    int32_t kind;
  } expected[] = {
      {0x0010, 0x0010, AnonyKindReplace}, {0x0010, 0x0020, AnonyKindReplace}, {0x0010, 0x0030, AnonyKindClean},
      {0x0010, 0x0040, AnonyKindClean},   {0x0010, 0x1010, AnonyKindClean},   {0x0010, 0x1030, AnonyKindClean},
      {0x0010, 0x2160, AnonyKindClean},   {0x0010, 0x21A0, AnonyKindClean},   {0x0010, 0x4000, AnonyKindClean},
      {0x0008, 0x0050, AnonyKindClean},   {0x0008, 0x0080, AnonyKindClean},   {0x0008, 0x0081, AnonyKindClean},
      {0x0008, 0x1040, AnonyKindClean},   {0x0008, 0x1048, AnonyKindClean},   {0x0008, 0x1050, AnonyKindClean},
      {0x0008, 0x1060, AnonyKindClean},   {0x0010, 0x21B0, AnonyKindClean},   {0x0008, 0x0020, AnonyKindClean},
      {0x0008, 0x0021, AnonyKindClean},   {0x0008, 0x0022, AnonyKindClean},   {0x0008, 0x0023, AnonyKindClean},
      {0x0008, 0x0030, AnonyKindClean},   {0x0008, 0x0031, AnonyKindClean},   {0x0008, 0x0032, AnonyKindClean},
      {0x0008, 0x0033, AnonyKindClean},   {0x0000, 0x0000, AnonyKindDel},     {0x0020, 0x000D, AnonyKindNew},
      {0x0020, 0x000E, AnonyKindNew},     {0x0008, 0x0018, AnonyKindNew},     {0x0008, 0x0014, AnonyKindNew},
      {0x0040, 0x0245, AnonyKindClean},  // a TM: emptied, never given a UID
  };
  AnonyProfile profile;
  ASSERT_TRUE(profile.BuildBasicProfile());
  ASSERT_EQ(profile.actions.length, 31);
  for (int i = 0; i < 31; ++i) {
    SCOPED_TRACE(i + 1);
    auto* action = dynamic_cast<AnonyTagBase*>(profile.actions[i]);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->kind, expected[i].kind);
    EXPECT_EQ(action->owner, &profile);
    if (expected[i].kind != AnonyKindDel) {
      EXPECT_EQ(action->group, expected[i].group);
      EXPECT_EQ(action->element, expected[i].element);
    }
  }
  EXPECT_EQ(dynamic_cast<AnonyTagReplace*>(profile.actions[0])->replaceChar, '*');
  EXPECT_EQ(dynamic_cast<AnonyTagReplace*>(profile.actions[1])->replaceChar, '0');
  EXPECT_EQ(dynamic_cast<AnonyTagDel*>(profile.actions[25])->matchMode, MatchOddGroup);
  // The profile is in its documented state before the writer sets it.
  EXPECT_EQ(profile.insertMarks, 0);
}

TEST(AnonyProfile, CreatesOnlyTheFourKinds) {
  AnonyProfile profile;
  for (int32_t kind : {AnonyKindClean, AnonyKindReplace, AnonyKindDel, AnonyKindNew}) {
    AnonyTagInterface* action = profile.CreateAction(kind);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(profile.actions[profile.actions.length - 1], action);
    EXPECT_EQ(dynamic_cast<AnonyTagBase*>(action)->kind, kind);
  }
  for (int32_t kind : {4, -1, 1000}) {
    EXPECT_EQ(profile.CreateAction(kind), nullptr);
    EXPECT_EQ(profile.actions.length, 4);
  }
}

TEST(AnonyProfile, TheFirstMatchingActionDecides) {
  DicomFile file;
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.7", "1.2.3");
  b.Text(0x0010, 0x0010, "PN", "DOE^JOHN").Text(0x0010, 0x0020, "LO", "PID001").Text(0x0011, 0x0010, "LO", "ACME");
  file.AnalyseBytes(u"/d/a.dcm", b.Bytes().data(), b.Size());
  const DicomElement* name = FindTop(file, 0x0010, 0x0010);
  const DicomElement* id = FindTop(file, 0x0010, 0x0020);
  const DicomElement* creator = FindTop(file, 0x0011, 0x0010);
  ASSERT_TRUE(name && id && creator);

  // A clean before a replace of the same tag wins; a group-wide delete
  // placed later only gets what the earlier actions left.
  AnonyProfile profile;
  AnonyTagInterface* clean = profile.CreateAction(AnonyKindClean);
  clean->SetTag(0x0010, 0x0010);
  AnonyTagInterface* replace = profile.CreateAction(AnonyKindReplace);
  replace->SetTag(0x0010, 0x0010);
  AnonyTagInterface* del = profile.CreateAction(AnonyKindDel);
  del->SetTag(0x0010, 0x0000);
  del->SetMatchMode(MatchGroup);
  EXPECT_EQ(profile.ActionFor(*name), clean);
  EXPECT_EQ(profile.ActionFor(*id), del);
  EXPECT_EQ(profile.ActionFor(*creator), nullptr);

  // In the basic profile nothing claims a tag it does not list, and the VR
  // or value of an element never matters.
  AnonyProfile basic;
  ASSERT_TRUE(basic.BuildBasicProfile());
  EXPECT_EQ(basic.ActionFor(*name), basic.actions[0]);
  EXPECT_EQ(basic.ActionFor(*creator), basic.actions[25]);
  DicomElement groupLength{0x0010, 0x0000, vr::UL, 4, 0, 12, 0};
  EXPECT_EQ(basic.ActionFor(groupLength), nullptr);
  DicomElement oddVr{0x0008, 0x0020, vr::UN, 8, 0, 20, 0};
  EXPECT_EQ(basic.ActionFor(oddVr), basic.actions[17]);
}

}  // namespace
