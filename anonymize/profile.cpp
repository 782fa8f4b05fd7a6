// The profile: its fixed table of actions and the factory that creates them.
#include "anonymize/anonymize.h"

namespace {

struct ProfileRow {
  uint16_t group;
  uint16_t element;
  int32_t kind;
  char replaceChar;   // Replace only
  int32_t matchMode;  // Del only
};

// The basic confidentiality profile, in the order the actions are asked.
const ProfileRow kBasicProfile[] = {
    {0x0010, 0x0010, AnonyKindReplace, '*', 0},  // Patient's Name
    {0x0010, 0x0020, AnonyKindReplace, '0', 0},  // Patient ID
    {0x0010, 0x0030, AnonyKindClean, 0, 0},      // Patient's Birth Date
    {0x0010, 0x0040, AnonyKindClean, 0, 0},      // Patient's Sex
    {0x0010, 0x1010, AnonyKindClean, 0, 0},      // Patient's Age
    {0x0010, 0x1030, AnonyKindClean, 0, 0},      // Patient's Weight
    {0x0010, 0x2160, AnonyKindClean, 0, 0},      // Ethnic Group
    {0x0010, 0x21A0, AnonyKindClean, 0, 0},      // Smoking Status
    {0x0010, 0x4000, AnonyKindClean, 0, 0},      // Patient Comments
    {0x0008, 0x0050, AnonyKindClean, 0, 0},      // Accession Number
    {0x0008, 0x0080, AnonyKindClean, 0, 0},      // Institution Name
    {0x0008, 0x0081, AnonyKindClean, 0, 0},      // Institution Address
    {0x0008, 0x1040, AnonyKindClean, 0, 0},      // Institutional Department Name
    {0x0008, 0x1048, AnonyKindClean, 0, 0},      // Physician(s) of Record
    {0x0008, 0x1050, AnonyKindClean, 0, 0},      // Performing Physician's Name
    {0x0008, 0x1060, AnonyKindClean, 0, 0},      // Name of Physician(s) Reading Study
    {0x0010, 0x21B0, AnonyKindClean, 0, 0},      // Additional Patient History
    {0x0008, 0x0020, AnonyKindClean, 0, 0},      // Study Date
    {0x0008, 0x0021, AnonyKindClean, 0, 0},      // Series Date
    {0x0008, 0x0022, AnonyKindClean, 0, 0},      // Acquisition Date
    {0x0008, 0x0023, AnonyKindClean, 0, 0},      // Content Date
    {0x0008, 0x0030, AnonyKindClean, 0, 0},      // Study Time
    {0x0008, 0x0031, AnonyKindClean, 0, 0},      // Series Time
    {0x0008, 0x0032, AnonyKindClean, 0, 0},      // Acquisition Time
    {0x0008, 0x0033, AnonyKindClean, 0, 0},      // Content Time
    {0x0000, 0x0000, AnonyKindDel, 0, MatchOddGroup},  // every private group, creators included
    {0x0020, 0x000D, AnonyKindNew, 0, 0},        // Study Instance UID
    {0x0020, 0x000E, AnonyKindNew, 0, 0},        // Series Instance UID
    {0x0008, 0x0018, AnonyKindNew, 0, 0},        // SOP Instance UID
    {0x0008, 0x0014, AnonyKindNew, 0, 0},        // Instance Creator UID
    // Performed Procedure Step Start Time is a TM: a generated UID would
    // make the copy invalid, so the time is removed by emptying it.
    {0x0040, 0x0245, AnonyKindClean, 0, 0},
};
static_assert(sizeof kBasicProfile / sizeof kBasicProfile[0] == 31);

}  // namespace

AnonyProfile::~AnonyProfile() {
  for (AnonyTagInterface* action : actions) delete action;
}

AnonyTagInterface* AnonyProfile::CreateAction(int32_t kind) {
  AnonyTagInterface* action = nullptr;
  switch (kind) {
    case AnonyKindClean: action = new AnonyTagClean(); break;
    case AnonyKindReplace: action = new AnonyTagReplace(); break;
    case AnonyKindDel: action = new AnonyTagDel(); break;
    case AnonyKindNew: action = new AnonyTagNew(); break;
    default: return nullptr;
  }
  action->SetOwner(this);
  if (!actions.Append(action)) {
    delete action;
    return nullptr;
  }
  return action;
}

bool AnonyProfile::BuildBasicProfile() {
  for (const ProfileRow& row : kBasicProfile) {
    AnonyTagInterface* action = CreateAction(row.kind);
    if (action == nullptr) return false;
    action->SetTag(row.group, row.element);
    if (row.kind == AnonyKindReplace) action->SetReplaceChar(row.replaceChar);
    if (row.kind == AnonyKindDel) action->SetMatchMode(row.matchMode);
  }
  return true;
}

AnonyTagInterface* AnonyProfile::ActionFor(const DicomElement& e) const {
  for (AnonyTagInterface* action : actions) {
    if (action->Matches(e) != 0) return action;
  }
  return nullptr;
}
