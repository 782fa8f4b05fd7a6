#include "collection/collection.h"

#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "platform/core/ascii_text.h"

namespace {

// Dictionary rows of the keys the tree is built from, looked up by tag once.
struct KeyRows {
  int32_t patientName = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0010));
  int32_t patientId = TagDictionaryRowOf(MakeTagKey(0x0010, 0x0020));
  int32_t studyDate = TagDictionaryRowOf(MakeTagKey(0x0008, 0x0020));
  int32_t studyDescription = TagDictionaryRowOf(MakeTagKey(0x0008, 0x1030));
  int32_t seriesDescription = TagDictionaryRowOf(MakeTagKey(0x0008, 0x103E));
  int32_t studyInstanceUid = TagDictionaryRowOf(MakeTagKey(0x0020, 0x000D));
  int32_t seriesInstanceUid = TagDictionaryRowOf(MakeTagKey(0x0020, 0x000E));
  int32_t studyId = TagDictionaryRowOf(MakeTagKey(0x0020, 0x0010));
};

const KeyRows& Rows() {
  static const KeyRows rows;
  return rows;
}

// The text of the file's element for a dictionary row; empty when absent.
std::u16string ValueOfRow(const DicomFile& file, int32_t row) {
  std::u16string text;
  const TagDictionaryRow* r = TagDictionaryRowAt(row);
  if (r != nullptr) file.ValueByKey(r->key, text);
  return text;
}

// A key text in the form the index compares: ASCII letters folded, and no
// trailing spaces, which are padding (DicomFile::MatchesRow ignores them too).
std::u16string Folded(std::u16string text) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
  for (char16_t& c : text) c = plat::AsciiLower(c);
  return text;
}

// The name and ID key of the index: both folded texts, apart.
std::u16string NameAndIdKey(const std::u16string& name, const std::u16string& id) {
  std::u16string key = Folded(name);
  key.push_back(u'\0');  // no value read from a file holds it
  key += Folded(id);
  return key;
}

// Appends, or reports a failed allocation by destroying what could not be
// linked in; entries only enter arrays whole.
template <typename T>
T* AppendOwned(PointerArray<T>& array, T* entry) {
  if (array.Append(entry)) return entry;
  delete entry;
  return nullptr;
}

}  // namespace

// --- SeriesEntry ---------------------------------------------------------

SeriesEntry::~SeriesEntry() {
  for (DicomFile* file : shownFiles) delete file;
  shownFiles.Release();
  for (DicomFile* file : pendingFiles) delete file;
  pendingFiles.Release();
}

int32_t SeriesEntry::TakePendingFiles() {
  std::unique_lock<std::mutex> hold(lock, std::try_to_lock);
  if (!hold.owns_lock()) return 0;
  if (pendingFiles.length > 0) {
    // The pending storage is kept for the next files; if the shown list
    // cannot grow the files simply stay pending.
    if (shownFiles.Reserve(static_cast<int64_t>(shownFiles.length) + pendingFiles.length) &&
        shownFiles.Append(pendingFiles.data, pendingFiles.length))
      pendingFiles.length = 0;
  }
  return 1;
}

// --- StudyEntry ----------------------------------------------------------

StudyEntry::~StudyEntry() {
  for (SeriesEntry* s : series) delete s;
  series.Release();
}

int32_t StudyEntry::MatchesStudy(const DicomFile* file) const {
  if (file == nullptr) return -2;
  if (!plat::EqualsIgnoringAsciiCase(FolderOfPath(file->path), folder)) return 0;
  const KeyRows& rows = Rows();
  const struct {
    const std::u16string& stored;
    int32_t row;
  } keys[] = {
      {studyInstanceUid, rows.studyInstanceUid},
      {studyId, rows.studyId},
      {studyDate, rows.studyDate},
      {studyDescription, rows.studyDescription},
  };
  for (const auto& k : keys) {
    if (k.stored.empty()) continue;
    if (file->MatchesRow(k.stored, k.row) == 0) return 0;
  }
  return 1;
}

SeriesEntry* StudyEntry::FindOrAddSeries(DicomFile* file) {
  const KeyRows& rows = Rows();
  SeriesEntry* found = nullptr;
  for (SeriesEntry* s : series) {
    if (file->MatchesRow(s->seriesInstanceUid, rows.seriesInstanceUid) == 1 &&
        file->MatchesRow(s->seriesDescription, rows.seriesDescription) == 1)
      found = s;  // the last match wins
  }
  if (found != nullptr) return found;
  auto* created = new SeriesEntry;
  created->seriesInstanceUid = ValueOfRow(*file, rows.seriesInstanceUid);
  created->seriesDescription = ValueOfRow(*file, rows.seriesDescription);
  created->parent = this;
  return AppendOwned(series, created);
}

int32_t StudyEntry::AddFile(DicomFile* file) {
  SeriesEntry* target = FindOrAddSeries(file);
  if (target == nullptr) return -1;
  std::lock_guard<std::mutex> hold(target->lock);
  if (!target->pendingFiles.Append(file)) return -1;
  file->series = target;
  return 0;
}

// --- PatientEntry --------------------------------------------------------

PatientEntry::~PatientEntry() {
  for (StudyEntry* s : studies) delete s;
  studies.Release();
}

StudyEntry* PatientEntry::FindOrAddStudy(DicomFile* file) {
  for (StudyEntry* s : studies)
    if (s->MatchesStudy(file) > 0) return s;
  const KeyRows& rows = Rows();
  auto* created = new StudyEntry;
  created->folder = FolderOfPath(file->path);
  created->studyDate = ValueOfRow(*file, rows.studyDate);
  created->studyInstanceUid = ValueOfRow(*file, rows.studyInstanceUid);
  created->studyId = ValueOfRow(*file, rows.studyId);
  created->studyDescription = ValueOfRow(*file, rows.studyDescription);
  created->parent = this;
  return AppendOwned(studies, created);
}

// --- StudyCollection -----------------------------------------------------

StudyCollection::~StudyCollection() { Clear(); }

bool StudyCollection::LoadFile(const std::u16string& path) {
  auto* file = new DicomFile;
  file->Analyse(path);  // outside every lock: this is the long part
  return AddAnalysedFile(file);
}

bool StudyCollection::AddAnalysedFile(DicomFile* file) {
  if (file == nullptr) return false;
  if (file->status < 1) {
    delete file;
    return false;
  }
  std::lock_guard<std::recursive_mutex> hold(shapeLock);
  PatientEntry* patient = FindOrAddPatient(file);
  StudyEntry* study = patient != nullptr ? patient->FindOrAddStudy(file) : nullptr;
  if (study == nullptr || study->AddFile(file) != 0) {
    delete file;  // out of memory: the file never became part of the tree
    return false;
  }
  return true;
}

PatientEntry* StudyCollection::FindOrAddPatient(DicomFile* file) {
  const KeyRows& rows = Rows();
  // What the file holds for the two keys, read as MatchesRow reads it: a
  // key without a usable value matches every stored value.
  std::u16string name, id;
  const TagDictionaryRow* nameRow = TagDictionaryRowAt(rows.patientName);
  const TagDictionaryRow* idRow = TagDictionaryRowAt(rows.patientId);
  const bool hasName = nameRow != nullptr && file->ValueByKey(nameRow->key, name) >= 1;
  const bool hasId = idRow != nullptr && file->ValueByKey(idRow->key, id) >= 1;
  // The first patient whose stored values agree, found through the index.
  int32_t first = -1;
  const auto lookUp = [&](const std::unordered_map<std::u16string, int32_t>& map, const std::u16string& key) {
    auto found = map.find(key);
    if (found != map.end()) first = found->second;
  };
  if (hasName && hasId) {
    lookUp(patientKeys_.byNameAndId, NameAndIdKey(name, id));
  } else if (hasName) {
    lookUp(patientKeys_.byName, Folded(name));
  } else if (hasId) {
    lookUp(patientKeys_.byId, Folded(id));
  } else if (patients.length > 0) {
    first = 0;
  }
  if (first >= 0 && first < patients.length) return patients[first];

  auto* created = new PatientEntry;
  created->patientName = ValueOfRow(*file, rows.patientName);
  created->patientId = ValueOfRow(*file, rows.patientId);
  created->label = ClipText(created->patientName, u"...");
  created->owner = this;
  PatientEntry* appended = AppendOwned(patients, created);
  if (appended != nullptr) IndexPatient(*appended, patients.length - 1);
  return appended;
}

void StudyCollection::IndexPatient(const PatientEntry& patient, int32_t index) {
  // Only the first patient of each key is ever found; later ones keep theirs.
  patientKeys_.byNameAndId.emplace(NameAndIdKey(patient.patientName, patient.patientId), index);
  patientKeys_.byName.emplace(Folded(patient.patientName), index);
  patientKeys_.byId.emplace(Folded(patient.patientId), index);
}

void StudyCollection::StopLoader() {
  // The deleter that came with the loader cancels it and waits for its
  // thread, which finishes the file in progress first.
  loader.reset();
}

void StudyCollection::Clear() {
  StopLoader();
  std::lock_guard<std::recursive_mutex> hold(shapeLock);
  for (PatientEntry* p : patients) delete p;
  patients.Release();
  patientKeys_ = PatientKeys();
  newStudyUids.clear();
  newSeriesUids.clear();
}

int32_t StudyCollection::TakeAllPendingFiles() {
  int32_t busy = 0;
  ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) {
    if (series.TakePendingFiles() == 0) ++busy;
  });
  return busy;
}

int32_t StudyCollection::ShownFileCount() const {
  int32_t count = 0;
  ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& series) { count += series.shownFiles.length; });
  return count;
}
