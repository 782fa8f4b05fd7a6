#include "analysis/tag_dictionary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr TagKey Tag(uint16_t group, uint16_t element) { return MakeTagKey(group, element); }

std::string TagText(TagKey key) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", GroupOfKey(key), ElementOfKey(key));
  return text;
}

std::string VrText(VrCode code) {
  if (code == kNoVr) return "none";
  return std::string{static_cast<char>(code & 0xFF), static_cast<char>((code >> 8) & 0xFF)};
}

std::string Utf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; *p; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Orders tags the way the registry does: by group, then by element.
uint32_t RegistryOrder(TagKey key) { return (uint32_t{GroupOfKey(key)} << 16) | ElementOfKey(key); }

// The reference lookup: the first row from row 0 whose key matches, or -1.
int32_t ScanForKey(TagKey key) {
  for (int32_t row = 0; row < TagDictionaryRowCount(); ++row) {
    if (TagDictionaryRowAt(row)->key == key) return row;
  }
  return -1;
}

struct LookupCase {
  TagKey key;
  const char* name;
  VrCode vr;
};

void ExpectLookups(const std::vector<LookupCase>& cases) {
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(TagText(c.key));
    EXPECT_EQ(NameOfKeyUtf8(c.key), std::string(c.name));
    EXPECT_EQ(Utf8(NameOfKey(c.key)), std::string(c.name));
    EXPECT_EQ(VrText(VrOfKey(c.key)), VrText(c.vr));
  }
}

TEST(TagDictionary, RowsOfTheRegistry) {
  ExpectLookups({
      {Tag(0x0002, 0x0000), "File Meta Information Group Length", vr::UL},
      {Tag(0x0002, 0x0010), "Transfer Syntax UID", vr::UI},
      {Tag(0x0008, 0x0000), "Group Length", vr::UL},
      {Tag(0x0008, 0x0081), "Institution Address", vr::ST},
      {Tag(0x0008, 0x103E), "Series Description", vr::LO},
      {Tag(0x0010, 0x0010), "Patient's Name", vr::PN},
      {Tag(0x0010, 0x0020), "Patient ID", vr::LO},
      {Tag(0x0020, 0x000E), "Series Instance UID", vr::UI},
      {Tag(0x0028, 0x0010), "Rows", vr::US},
      {Tag(0x0028, 0x0106), "Smallest Image Pixel Value", vr::US},  // "US or SS"
      {Tag(0x0028, 0x1201), "Red Palette Color Lookup Table Data", vr::OW},
      {Tag(0x0028, 0x3006), "LUT Data", vr::US},  // "US or OW"
      {Tag(0x0072, 0x006D), "Selector UN Value", vr::UN},
      {Tag(0x0072, 0x0075), "Selector OL Value", vr::OL},
      {Tag(0x0400, 0x0315), "FL", vr::FL},  // no name in the registry
      {Tag(0x7FE0, 0x0001), "Extended Offset Table", vr::OV},
      {Tag(0x7FE0, 0x0002), "Extended Offset Table Lengths", vr::OV},
      {Tag(0x7FE0, 0x0010), "Pixel Data", vr::OB},  // "OB or OW"
      {Tag(0xFFFE, 0xE000), "Item", vr::OB},
      {Tag(0xFFFE, 0xE00D), "Item Delimitation Item", vr::OB},
      {Tag(0xFFFE, 0xE0DD), "Sequence Delimitation Item", vr::OB},
  });
}

TEST(TagDictionary, RepeatingEntriesStandOnceWithTheirDigitsAsZero) {
  ExpectLookups({
      // The first rows of (0028,0400) to (0028,0403) win over the 04x0 entries.
      {Tag(0x0028, 0x0400), "Transform Label", vr::LO},
      {Tag(0x0028, 0x0401), "Transform Version Number", vr::LO},
      {Tag(0x0028, 0x0402), "Number of Transform Steps", vr::US},
      {Tag(0x0028, 0x0403), "Sequence of Compressed Data", vr::LO},
      {Tag(0x0028, 0x0800), "Code Label", vr::CS},
      {Tag(0x0028, 0x0808), "Image Data Location", vr::AT},
      {Tag(0x0020, 0x3100), "Source Image IDs", vr::CS},
      {Tag(0x1000, 0x0000), "Escape Triplet", vr::US},
      {Tag(0x1000, 0x0005), "Shift Table Triplet", vr::US},
      {Tag(0x1010, 0x0000), "Zonal Map", vr::US},
      {Tag(0x5000, 0x0005), "Curve Dimensions", vr::US},
      {Tag(0x5000, 0x3000), "Curve Data", vr::OB},
      {Tag(0x6000, 0x0010), "Overlay Rows", vr::US},
      {Tag(0x6000, 0x3000), "Overlay Data", vr::OB},
      {Tag(0x7F00, 0x0010), "Variable Pixel Data", vr::OB},
  });
}

TEST(TagDictionary, FallBackRules) {
  ExpectLookups({
      // Group lengths, including odd groups and groups the table holds.
      {Tag(0x0011, 0x0000), "Group length", vr::UL},
      {Tag(0x7FE0, 0x0000), "Group length", vr::UL},
      {Tag(0x6000, 0x0000), "Group length", vr::UL},
      {Tag(0x0009, 0x0000), "Group length", vr::UL},
      // Source Image IDs have a name but no VR.
      {Tag(0x0020, 0x3105), "Source Image IDs", kNoVr},
      {Tag(0x0020, 0x31FF), "Source Image IDs", kNoVr},
      {Tag(0x0020, 0x3200), "Unknown tag", kNoVr},
      // Group 0028 compression entries with their repeating digit.
      {Tag(0x0028, 0x0410), "Rows For Nth Order Coefficients", vr::US},
      {Tag(0x0028, 0x04F1), "Columns For Nth Order Coefficients", vr::US},
      {Tag(0x0028, 0x0422), "Coefficient Coding", vr::LO},
      {Tag(0x0028, 0x0433), "Coefficient Coding Pointers", vr::AT},
      {Tag(0x0028, 0x0810), "Code Label", vr::CS},
      {Tag(0x0028, 0x0812), "Number of Tables", vr::US},
      {Tag(0x0028, 0x0843), "Code Table Location", vr::AT},
      {Tag(0x0028, 0x08F4), "Bits For Code Word", vr::US},
      {Tag(0x0028, 0x0818), "Image Data Location", vr::AT},
      {Tag(0x0028, 0x0418), "Unknown tag", kNoVr},
      {Tag(0x0028, 0x0815), "Unknown tag", kNoVr},
      // Group 1000 by the lowest digit; every digit from 5 up is "Zonal Map".
      {Tag(0x1000, 0x0010), "Escape Triplet", vr::US},
      {Tag(0x1000, 0x0021), "Run Length Triplet", vr::US},
      {Tag(0x1000, 0x0032), "Huffman Table Size", vr::US},
      {Tag(0x1000, 0x0043), "Huffman Table Triplet", vr::US},
      {Tag(0x1000, 0x0054), "Shift Table Size", vr::US},
      {Tag(0x1000, 0x0015), "Zonal Map", vr::US},
      {Tag(0x1000, 0xFFFF), "Zonal Map", vr::US},
      {Tag(0x1010, 0x0002), "Unknown tag", kNoVr},
      // Curve and overlay groups, odd ones included, answer with the group 5000/6000 row.
      {Tag(0x5004, 0x3000), "Curve Data", vr::OB},
      {Tag(0x5001, 0x0005), "Curve Dimensions", vr::US},
      {Tag(0x50FF, 0x2600), "Curve Referenced Overlay Sequence", vr::SQ},
      {Tag(0x5004, 0x0001), "Unknown tag", kNoVr},
      {Tag(0x5005, 0x0001), "Private tag", vr::UN},
      {Tag(0x6002, 0x0010), "Overlay Rows", vr::US},
      {Tag(0x6002, 0x3000), "Overlay Data", vr::OB},
      {Tag(0x6001, 0x4000), "Overlay Comments", vr::LT},
      {Tag(0x60FF, 0x0050), "Overlay Origin", vr::SS},
      {Tag(0x6100, 0x0010), "Unknown tag", kNoVr},
      // Variable pixel data groups; (7FE0,0011) is not a row of its own.
      {Tag(0x7F02, 0x0010), "Variable Pixel Data", vr::OB},
      {Tag(0x7F01, 0x0011), "Variable Next Data Group", vr::US},
      {Tag(0x7FE0, 0x0011), "Variable Next Data Group", vr::US},
      {Tag(0x7FFF, 0x0020), "Variable Coefficients SDVN", vr::OW},
      {Tag(0x7F10, 0x0030), "Variable Coefficients SDHN", vr::OW},
      {Tag(0x7FFE, 0x0040), "Variable Coefficients SDDN", vr::OW},
      {Tag(0x7F02, 0x0050), "Unknown tag", kNoVr},
      // Private and unknown tags.
      {Tag(0x0009, 0x0010), "Private tag", vr::UN},
      {Tag(0x7F03, 0x0050), "Private tag", vr::UN},
      {Tag(0xFFFF, 0xFFFF), "Private tag", vr::UN},
      {Tag(0x0008, 0xFFFF), "Unknown tag", kNoVr},
      {Tag(0xFFFE, 0xE001), "Unknown tag", kNoVr},
  });
}

TEST(TagDictionary, RowsHoldTheirPositionANameAndAVr) {
  ASSERT_GT(TagDictionaryRowCount(), 4000);
  EXPECT_EQ(TagDictionaryRowAt(-1), nullptr);
  EXPECT_EQ(TagDictionaryRowAt(TagDictionaryRowCount()), nullptr);
  for (int32_t i = 0; i < TagDictionaryRowCount(); ++i) {
    const TagDictionaryRow* row = TagDictionaryRowAt(i);
    ASSERT_NE(row, nullptr);
    SCOPED_TRACE(TagText(row->key));
    EXPECT_EQ(row->row, static_cast<uint32_t>(i));
    ASSERT_NE(row->name, nullptr);
    ASSERT_NE(row->nameUtf8, nullptr);
    EXPECT_NE(row->name[0], u'\0');
    EXPECT_EQ(Utf8(row->name), std::string(row->nameUtf8));
    const char first = static_cast<char>(row->vr & 0xFF), second = static_cast<char>((row->vr >> 8) & 0xFF);
    EXPECT_TRUE(first >= 'A' && first <= 'Z' && second >= 'A' && second <= 'Z' && (row->vr >> 16) == 0)
        << row->vr;
  }
}

TEST(TagDictionary, RowsFollowTheRegistryOrder) {
  const int32_t count = TagDictionaryRowCount();
  EXPECT_EQ(TagDictionaryRowAt(0)->key, Tag(0x0002, 0x0000));

  // Group 0002 first, group FFFE last, each in one block.
  int32_t metaRows = 0;
  while (metaRows < count && GroupOfKey(TagDictionaryRowAt(metaRows)->key) == 0x0002) ++metaRows;
  int32_t itemRows = 0;
  while (itemRows < count && GroupOfKey(TagDictionaryRowAt(count - 1 - itemRows)->key) == 0xFFFE) ++itemRows;
  EXPECT_GE(metaRows, 10);
  EXPECT_EQ(itemRows, 3);
  for (int32_t i = metaRows; i < count - itemRows; ++i) {
    const uint16_t group = GroupOfKey(TagDictionaryRowAt(i)->key);
    EXPECT_TRUE(group != 0x0002 && group != 0xFFFE) << TagText(TagDictionaryRowAt(i)->key);
  }

  // Ascending, except where a repeating-group entry follows the plain entries
  // its range covers.
  std::set<TagKey> stepsBack;
  for (int32_t i = 1; i < count; ++i) {
    if (RegistryOrder(TagDictionaryRowAt(i)->key) <= RegistryOrder(TagDictionaryRowAt(i - 1)->key)) {
      stepsBack.insert(TagDictionaryRowAt(i)->key);
    }
  }
  EXPECT_EQ(stepsBack, (std::set<TagKey>{Tag(0x0028, 0x0400), Tag(0x7F00, 0x0010)}));

  // The 04x0 entries follow (0028,0404); the 7Fxx entries follow group 7FE0.
  const int32_t details = TagDictionaryRowOf(Tag(0x0028, 0x0404));
  ASSERT_GE(details, 0);
  const char* const coefficientNames[] = {"Rows For Nth Order Coefficients", "Columns For Nth Order Coefficients",
                                          "Coefficient Coding", "Coefficient Coding Pointers"};
  for (uint16_t k = 0; k < 4; ++k) {
    const TagDictionaryRow* row = TagDictionaryRowAt(details + 1 + k);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->key, Tag(0x0028, 0x0400 + k));
    EXPECT_STREQ(row->nameUtf8, coefficientNames[k]);
  }
  const int32_t variablePixels = TagDictionaryRowOf(Tag(0x7F00, 0x0010));
  for (int32_t i = 0; i < count; ++i) {
    if (GroupOfKey(TagDictionaryRowAt(i)->key) == 0x7FE0) {
      EXPECT_LT(i, variablePixels);
    }
  }
}

TEST(TagDictionary, OnlyTheTransformEntriesStandTwice) {
  std::set<TagKey> seen, twice;
  for (int32_t i = 0; i < TagDictionaryRowCount(); ++i) {
    if (!seen.insert(TagDictionaryRowAt(i)->key).second) twice.insert(TagDictionaryRowAt(i)->key);
  }
  EXPECT_EQ(twice, (std::set<TagKey>{Tag(0x0028, 0x0400), Tag(0x0028, 0x0401), Tag(0x0028, 0x0402),
                                     Tag(0x0028, 0x0403)}));
}

TEST(TagDictionary, CurveAndOverlayGroupsHoldTheRepeatingElements) {
  const std::vector<uint16_t> curve = {0x0005, 0x0010, 0x0020, 0x0022, 0x0030, 0x0040, 0x0103, 0x0104, 0x0105,
                                       0x0106, 0x0110, 0x0112, 0x0114, 0x1001, 0x2000, 0x2002, 0x2004, 0x2006,
                                       0x2008, 0x200A, 0x200C, 0x200E, 0x2500, 0x2600, 0x2610, 0x3000};
  const std::vector<uint16_t> overlay = {0x0010, 0x0011, 0x0012, 0x0015, 0x0022, 0x0040, 0x0045, 0x0050,
                                         0x0051, 0x0052, 0x0060, 0x0061, 0x0062, 0x0063, 0x0066, 0x0068,
                                         0x0069, 0x0100, 0x0102, 0x0110, 0x0200, 0x0800, 0x0802, 0x0803,
                                         0x0804, 0x1001, 0x1100, 0x1101, 0x1102, 0x1103, 0x1200, 0x1201,
                                         0x1202, 0x1203, 0x1301, 0x1302, 0x1303, 0x1500, 0x3000, 0x4000};
  const std::pair<uint16_t, const std::vector<uint16_t>*> groups[] = {{0x5000, &curve}, {0x6000, &overlay}};
  for (const auto& [base, elements] : groups) {
    std::vector<uint16_t> found;
    for (int32_t i = 0; i < TagDictionaryRowCount(); ++i) {
      if (GroupOfKey(TagDictionaryRowAt(i)->key) == base) found.push_back(ElementOfKey(TagDictionaryRowAt(i)->key));
    }
    EXPECT_EQ(found, *elements) << std::hex << base;
    // Every group of the range answers as the base group does.
    for (uint16_t element : *elements) {
      const TagDictionaryRow* row = TagDictionaryRowAt(TagDictionaryRowOf(Tag(base, element)));
      ASSERT_NE(row, nullptr);
      for (uint16_t group : {uint16_t(base + 1), uint16_t(base + 0x22), uint16_t(base + 0xFF)}) {
        SCOPED_TRACE(TagText(Tag(group, element)));
        EXPECT_EQ(VrOfKey(Tag(group, element)), row->vr);
        EXPECT_EQ(NameOfKey(Tag(group, element)), row->name);
        EXPECT_EQ(NameOfKeyUtf8(Tag(group, element)), row->nameUtf8);
      }
    }
  }
}

TEST(TagDictionary, IndexAgreesWithAScanFromRowZero) {
  std::vector<TagKey> keys;
  for (int32_t i = 0; i < TagDictionaryRowCount(); ++i) {
    const TagKey key = TagDictionaryRowAt(i)->key;
    keys.push_back(key);
    // Neighbours of every row, most of them absent.
    keys.push_back(Tag(GroupOfKey(key), static_cast<uint16_t>(ElementOfKey(key) + 1)));
    keys.push_back(Tag(static_cast<uint16_t>(GroupOfKey(key) + 1), ElementOfKey(key)));
  }
  std::mt19937 random(20240601);
  for (int i = 0; i < 2000; ++i) keys.push_back(static_cast<TagKey>(random()));
  keys.insert(keys.end(), {Tag(0, 0), Tag(0xFFFF, 0xFFFF), Tag(0x0001, 0x0000), Tag(0xFFFE, 0xFFFF)});

  int32_t absent = 0;
  for (TagKey key : keys) {
    const int32_t expected = ScanForKey(key);
    ASSERT_EQ(TagDictionaryRowOf(key), expected) << TagText(key);
    if (expected < 0) {
      ++absent;
      ASSERT_NE(NameOfKey(key)[0], u'\0') << TagText(key);
      ASSERT_NE(NameOfKeyUtf8(key)[0], '\0') << TagText(key);
      continue;
    }
    const TagDictionaryRow* row = TagDictionaryRowAt(expected);
    ASSERT_EQ(VrOfKey(key), row->vr) << TagText(key);
    ASSERT_EQ(NameOfKey(key), row->name) << TagText(key);
    ASSERT_EQ(NameOfKeyUtf8(key), row->nameUtf8) << TagText(key);
  }
  EXPECT_GT(absent, 2000);
}

}  // namespace
