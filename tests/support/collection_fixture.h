// Filling a collection in tests without the disk: files made by the DICOM
// builder are analysed from memory as if they lay at a given path.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"

namespace fixture {

// Analyses a built file from memory as if it lay at `path`, and adds it.
inline DicomFile* AddBuiltFile(StudyCollection& c, const std::string& path, const SimpleFile& recipe) {
  auto* file = new DicomFile;
  std::vector<uint8_t> bytes = BuildSimpleFile(recipe);
  file->AnalyseBytes(plat::Utf8ToUtf16(path), bytes.data(), bytes.size());
  EXPECT_GE(file->status, 1) << path;
  EXPECT_TRUE(c.AddAnalysedFile(file));
  return file;
}

// A simple file of the patient with this name and ID.
inline SimpleFile PatientFile(const std::string& name, const std::string& id) {
  SimpleFile f;
  f.patientName = name;
  f.patientId = id;
  return f;
}

}  // namespace fixture
