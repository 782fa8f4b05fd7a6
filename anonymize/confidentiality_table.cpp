// The table of the confidentiality profile and the rule that settles its
// choices into one action per element.
#include <algorithm>
#include <iterator>

#include "anonymize/confidentiality.h"

namespace {
#include "anonymize/confidentiality_table.inc"

bool Before(const ConfidentialityRow& row, uint32_t key) {
  return ((uint32_t{row.group} << 16) | row.element) < key;
}

}  // namespace

int32_t ConfidentialityRowCount() { return static_cast<int32_t>(std::size(kConfidentialityRows)); }

const ConfidentialityRow& ConfidentialityRowAt(int32_t index) { return kConfidentialityRows[index]; }

const ConfidentialityRow* FindConfidentialityRow(uint16_t group, uint16_t element) {
  const uint32_t key = (uint32_t{group} << 16) | element;
  const ConfidentialityRow* first = std::begin(kConfidentialityRows);
  const ConfidentialityRow* last = std::end(kConfidentialityRows);
  const ConfidentialityRow* found = std::lower_bound(first, last, key, Before);
  if (found != last && found->group == group && found->element == element) return found;
  for (const ConfidentialityMaskRow& masked : kConfidentialityMaskRows)
    if ((group & masked.groupMask) == masked.row.group && (element & masked.elementMask) == masked.row.element)
      return &masked.row;
  return nullptr;
}

ElementAction DecideAction(const ConfidentialityRow* row, bool isSequence, const BasicOptions& options) {
  if (row == nullptr) return ElementAction::Keep;
  // The options first: a clean entry of any option in use wins over a keep
  // entry of another (cleaning is removing here), the modified-dates column
  // shifts.
  bool keep = false, clean = false, shift = false;
  for (int32_t i = 0; i < kConfidentialityOptionCount; ++i) {
    if (!options.option[i]) continue;
    const char entry = row->options[i];
    if (entry == 'K') keep = true;
    if (entry == 'C') (i == OptionShiftDates ? shift : clean) = true;
  }
  if (clean) return ElementAction::Remove;
  if (shift) return isSequence ? ElementAction::Keep : ElementAction::ShiftDate;
  if (keep) return ElementAction::Keep;

  // Every choice is settled towards keeping the attribute (empty, a dummy or
  // a new UID) rather than removing it: each of these rows is of some
  // standard IOD, where it may be of type 1 or 2. A sequence that is to take
  // a dummy (D, X/D) keeps its items with dummy contents; where emptying is
  // allowed (Z/D, X/Z/D) it is emptied.
  const ElementAction dummy = ElementAction::Dummy;
  const ElementAction dummyOrEmpty = isSequence ? ElementAction::Empty : ElementAction::Dummy;
  switch (row->basic) {
    case BasicAction::X: return ElementAction::Remove;
    case BasicAction::Z: return ElementAction::Empty;
    case BasicAction::XZ: return ElementAction::Empty;
    case BasicAction::D:
    case BasicAction::XD:
      return dummy;
    case BasicAction::ZD:
    case BasicAction::XZD:
      return dummyOrEmpty;
    case BasicAction::U:
    case BasicAction::XZU:
      // A sequence keeps its items, whose UIDs their own rows map.
      return isSequence ? ElementAction::Keep : ElementAction::NewUid;
  }
  return ElementAction::Remove;
}
