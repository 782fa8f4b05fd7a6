// The de-identification actions: small objects that recognise the elements
// they are responsible for and produce the replacement encoding of one.
#pragma once

#include <cstdint>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_element.h"

class AnonyProfile;
class DicomFile;

// Action kinds, as CreateAction takes them.
enum : int32_t {
  AnonyKindClean = 0,    // keep the element with an empty value
  AnonyKindReplace = 1,  // mask every value byte that is not a space
  AnonyKindDel = 2,      // leave the element out
  AnonyKindNew = 3,      // a generated UID value
};

// Match modes of AnonyTagDel.
enum : int32_t {
  MatchTag = 0,       // group and element both equal the action's
  MatchGroup = 1,     // the group equals the action's group
  MatchElement = 2,   // the element number equals the action's, in any group
  MatchOddGroup = 3,  // the element's group number is odd (private groups)
};

class AnonyTagInterface {
 public:
  virtual ~AnonyTagInterface() = default;
  virtual void SetTag(uint16_t group, uint16_t element) = 0;
  // Non-zero when the action is responsible for the element. Only the tag
  // decides (or, for the delete action, its match mode); never VR or value.
  virtual int32_t Matches(const DicomElement& e) const = 0;
  virtual void SetOwner(AnonyProfile* profile) = 0;
  // Empties `output`, then writes the element's new encoding into it and
  // returns its size in bytes. Without a file nothing is produced and 0 is
  // returned. Reads only bytes of the file that lie inside it.
  virtual int32_t Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) = 0;
  virtual void SetReplaceChar(char c) = 0;
  virtual void SetMatchMode(int32_t mode) = 0;
};

// The data and operations every action shares.
class AnonyTagBase : public AnonyTagInterface {
 public:
  uint16_t group = 0;
  uint16_t element = 0;
  int32_t kind = 0;
  AnonyProfile* owner = nullptr;

  explicit AnonyTagBase(int32_t actionKind) : kind(actionKind) {}

  void SetTag(uint16_t g, uint16_t e) override {
    group = g;
    element = e;
  }
  int32_t Matches(const DicomElement& e) const override { return e.group == group && e.element == element ? 1 : 0; }
  void SetOwner(AnonyProfile* profile) override { owner = profile; }
  void SetReplaceChar(char) override {}
  void SetMatchMode(int32_t) override {}
};

// Keeps the element in the file with length 0.
class AnonyTagClean : public AnonyTagBase {
 public:
  AnonyTagClean() : AnonyTagBase(AnonyKindClean) {}
  int32_t Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) override;
};

// Produces nothing, so the writer leaves the element out.
class AnonyTagDel : public AnonyTagBase {
 public:
  int32_t matchMode = MatchTag;

  AnonyTagDel() : AnonyTagBase(AnonyKindDel) {}
  int32_t Matches(const DicomElement& e) const override;
  int32_t Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) override;
  void SetMatchMode(int32_t mode) override { matchMode = mode; }
};

// Gives the element a generated UID value: shared per study or series, or
// fresh per file for the SOP Instance UID.
class AnonyTagNew : public AnonyTagBase {
 public:
  AnonyTagNew() : AnonyTagBase(AnonyKindNew) {}
  int32_t Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) override;
};

// Masks every value byte that is not a space with the replacement character,
// keeping the length, so that the shape of a name or ID survives.
class AnonyTagReplace : public AnonyTagBase {
 public:
  char replaceChar = '*';

  AnonyTagReplace() : AnonyTagBase(AnonyKindReplace) {}
  int32_t Apply(ByteBuffer<uint8_t>& output, const DicomElement& e, const DicomFile* file) override;
  void SetReplaceChar(char c) override { replaceChar = c; }
};
