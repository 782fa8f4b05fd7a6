#include "analysis/tag_dictionary.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

const TagDictionaryRow kRows[] = {
#include "analysis/tag_dictionary_table.inc"
};
constexpr int32_t kRowCount = static_cast<int32_t>(sizeof(kRows) / sizeof(kRows[0]));

// One entry per distinct key, sorted by key, holding the first row with that
// key. A few keys stand twice in the table ((0028,0400) to (0028,0403)); the
// first row answers, exactly as a scan from row 0 would.
struct KeyIndexEntry {
  TagKey key;
  int32_t row;
};

std::vector<KeyIndexEntry> BuildKeyIndex() {
  std::vector<KeyIndexEntry> index;
  index.reserve(kRowCount);
  for (int32_t row = 0; row < kRowCount; ++row) index.push_back({kRows[row].key, row});
  std::stable_sort(index.begin(), index.end(),
                   [](const KeyIndexEntry& a, const KeyIndexEntry& b) { return a.key < b.key; });
  index.erase(std::unique(index.begin(), index.end(),
                          [](const KeyIndexEntry& a, const KeyIndexEntry& b) { return a.key == b.key; }),
              index.end());
  return index;
}

// Built on first use; the loader thread and the UI thread both look tags up,
// and a function-local static is initialised exactly once under the
// language's own guard.
const std::vector<KeyIndexEntry>& KeyIndex() {
  static const std::vector<KeyIndexEntry> index = BuildKeyIndex();
  return index;
}

const TagDictionaryRow* FirstRowOf(TagKey key) {
  const std::vector<KeyIndexEntry>& index = KeyIndex();
  auto it = std::lower_bound(index.begin(), index.end(), key,
                             [](const KeyIndexEntry& e, TagKey k) { return e.key < k; });
  if (it == index.end() || it->key != key) return nullptr;
  return &kRows[it->row];
}

// A name in both encodings the callers need.
struct Name {
  const char16_t* utf16;
  const char* utf8;
};

// Retired compression elements of group 0028 whose element has a repeating
// hex digit in its third place: 04x0 to 04x3, 08x0 to 08x8.
struct Group0028Rule {
  uint16_t pattern;  // the element with its "x" digit as 0
  VrCode vr;
  Name name;
};
constexpr Group0028Rule kGroup0028Rules[] = {
    {0x0400, vr::US, {u"Rows For Nth Order Coefficients", "Rows For Nth Order Coefficients"}},
    {0x0401, vr::US, {u"Columns For Nth Order Coefficients", "Columns For Nth Order Coefficients"}},
    {0x0402, vr::LO, {u"Coefficient Coding", "Coefficient Coding"}},
    {0x0403, vr::AT, {u"Coefficient Coding Pointers", "Coefficient Coding Pointers"}},
    {0x0800, vr::CS, {u"Code Label", "Code Label"}},
    {0x0802, vr::US, {u"Number of Tables", "Number of Tables"}},
    {0x0803, vr::AT, {u"Code Table Location", "Code Table Location"}},
    {0x0804, vr::US, {u"Bits For Code Word", "Bits For Code Word"}},
    {0x0808, vr::AT, {u"Image Data Location", "Image Data Location"}},
};

const Group0028Rule* FindGroup0028Rule(uint16_t element) {
  for (const Group0028Rule& rule : kGroup0028Rules) {
    if ((element & 0xFF0F) == rule.pattern) return &rule;
  }
  return nullptr;
}

// Group 1000 (retired code tables): names by the lowest hex digit of the
// element; every digit from 5 up is a zonal map.
constexpr Name kGroup1000Names[] = {
    {u"Escape Triplet", "Escape Triplet"},
    {u"Run Length Triplet", "Run Length Triplet"},
    {u"Huffman Table Size", "Huffman Table Size"},
    {u"Huffman Table Triplet", "Huffman Table Triplet"},
    {u"Shift Table Size", "Shift Table Size"},
};
constexpr Name kZonalMap = {u"Zonal Map", "Zonal Map"};

// The variable pixel data groups 7F00 to 7FFF.
struct VariablePixelRule {
  uint16_t element;
  VrCode vr;
  Name name;
};
constexpr VariablePixelRule kVariablePixelRules[] = {
    {0x0010, vr::OB, {u"Variable Pixel Data", "Variable Pixel Data"}},
    {0x0011, vr::US, {u"Variable Next Data Group", "Variable Next Data Group"}},
    {0x0020, vr::OW, {u"Variable Coefficients SDVN", "Variable Coefficients SDVN"}},
    {0x0030, vr::OW, {u"Variable Coefficients SDHN", "Variable Coefficients SDHN"}},
    {0x0040, vr::OW, {u"Variable Coefficients SDDN", "Variable Coefficients SDDN"}},
};

const VariablePixelRule* FindVariablePixelRule(uint16_t element) {
  for (const VariablePixelRule& rule : kVariablePixelRules) {
    if (rule.element == element) return &rule;
  }
  return nullptr;
}

constexpr Name kGroupLength = {u"Group length", "Group length"};
constexpr Name kSourceImageIds = {u"Source Image IDs", "Source Image IDs"};
constexpr Name kPrivateTag = {u"Private tag", "Private tag"};
constexpr Name kUnknownTag = {u"Unknown tag", "Unknown tag"};

bool InRange(uint16_t group, uint16_t first, uint16_t last) { return group >= first && group <= last; }

// The repeating curve (50xx) and overlay (60xx) groups answer with the row
// the table holds for the element in group 5000 or 6000; odd groups of these
// ranges included.
const TagDictionaryRow* RepeatingGroupRow(uint16_t group, uint16_t element) {
  if (InRange(group, 0x5000, 0x50FF)) return FirstRowOf(MakeTagKey(0x5000, element));
  if (InRange(group, 0x6000, 0x60FF)) return FirstRowOf(MakeTagKey(0x6000, element));
  return nullptr;
}

VrCode FallbackVr(TagKey key) {
  const uint16_t group = GroupOfKey(key);
  const uint16_t element = ElementOfKey(key);
  if (element == 0x0000) return vr::UL;
  if (group == 0x0028) {
    if (const Group0028Rule* rule = FindGroup0028Rule(element)) return rule->vr;
  }
  if (group == 0x1000) return vr::US;
  if (const TagDictionaryRow* row = RepeatingGroupRow(group, element)) return row->vr;
  if (InRange(group, 0x7F00, 0x7FFF)) {
    if (const VariablePixelRule* rule = FindVariablePixelRule(element)) return rule->vr;
  }
  if (group & 1) return vr::UN;
  return kNoVr;
}

Name FallbackName(TagKey key) {
  const uint16_t group = GroupOfKey(key);
  const uint16_t element = ElementOfKey(key);
  if (element == 0x0000) return kGroupLength;
  if (group == 0x0020 && InRange(element, 0x3100, 0x31FF)) return kSourceImageIds;
  if (group == 0x0028) {
    if (const Group0028Rule* rule = FindGroup0028Rule(element)) return rule->name;
  }
  if (group == 0x1000) {
    const uint16_t digit = element & 0xF;
    return digit < std::size(kGroup1000Names) ? kGroup1000Names[digit] : kZonalMap;
  }
  if (const TagDictionaryRow* row = RepeatingGroupRow(group, element)) return {row->name, row->nameUtf8};
  if (InRange(group, 0x7F00, 0x7FFF)) {
    if (const VariablePixelRule* rule = FindVariablePixelRule(element)) return rule->name;
  }
  if (group & 1) return kPrivateTag;
  return kUnknownTag;
}

}  // namespace

int32_t TagDictionaryRowCount() { return kRowCount; }

const TagDictionaryRow* TagDictionaryRowAt(int32_t row) {
  if (row < 0 || row >= kRowCount) return nullptr;
  return &kRows[row];
}

int32_t TagDictionaryRowOf(TagKey key) {
  const TagDictionaryRow* row = FirstRowOf(key);
  return row ? static_cast<int32_t>(row - kRows) : -1;
}

VrCode VrOfKey(TagKey key) {
  if (const TagDictionaryRow* row = FirstRowOf(key)) return row->vr;
  return FallbackVr(key);
}

const char16_t* NameOfKey(TagKey key) {
  if (const TagDictionaryRow* row = FirstRowOf(key)) return row->name;
  return FallbackName(key).utf16;
}

const char* NameOfKeyUtf8(TagKey key) {
  if (const TagDictionaryRow* row = FirstRowOf(key)) return row->nameUtf8;
  return FallbackName(key).utf8;
}
