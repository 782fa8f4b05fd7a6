// `tesmer dump` over many files analyses them on worker threads: its output
// must be exactly the outputs of the files dumped one at a time, in the order
// given (under ThreadSanitizer the child process also fails on any race).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

using Outcome = fixture::ProgramRun;

Outcome Dump(std::vector<std::string> args) {
  args.insert(args.begin(), {TESMER_BIN, "dump"});
  return fixture::RunProgram(std::move(args));
}

TEST(DumpThreads, ManyFilesGiveTheOutputsOfSingleRunsInOrder) {
  fixture::TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    fixture::SimpleFile recipe;
    recipe.encoding = i % 3 == 0 ? fixture::Encoding::ImplicitLittle
                    : i % 3 == 1 ? fixture::Encoding::ExplicitBig
                                 : fixture::Encoding::ExplicitLittle;
    recipe.patientName = "PATIENT^" + std::to_string(i);
    recipe.pixelBytes = static_cast<uint32_t>(16 + 4096 * (i % 5));
    paths.push_back(dir.Write("f" + std::to_string(i) + ".dcm", fixture::BuildSimpleFile(recipe)));
    if (i % 9 == 4) paths.push_back(dir.Join("missing" + std::to_string(i) + ".dcm"));
    if (i == 10 || i == 25) {
      // Files of many elements, whose output the writer streams from the
      // analysed file rather than taking it formatted from a worker.
      fixture::DicomBuilder b(fixture::Encoding::ImplicitLittle);
      b.Preamble().Meta(fixture::kImplicitLittle);
      for (int k = 0; k < 12000 + i; ++k) b.Text(0x0020, 0x4000, "LT", "x" + std::to_string(k));
      paths.push_back(dir.Write("many" + std::to_string(i) + ".dcm", b.Bytes()));
    }
    if (i == 17) {
      // Larger than the bytes the workers may hold ahead: it waits until it
      // is the only file in memory.
      fixture::SimpleFile large;
      large.pixelBytes = 40u << 20;
      paths.push_back(dir.Write("large.dcm", fixture::BuildSimpleFile(large)));
    }
  }
  for (const char* mode : {"--json", "--log", ""}) {
    SCOPED_TRACE(mode);
    std::string expectedOut, expectedErr;
    for (const std::string& p : paths) {
      std::vector<std::string> args;
      if (*mode) args.push_back(mode);
      args.push_back(p);
      Outcome single = Dump(args);
      ASSERT_EQ(single.exit, 0) << single.err;
      expectedOut += single.out;
      expectedErr += single.err;
    }
    std::vector<std::string> args;
    if (*mode) args.push_back(mode);
    args.insert(args.end(), paths.begin(), paths.end());
    Outcome all = Dump(args);
    ASSERT_EQ(all.exit, 0) << all.err;
    EXPECT_EQ(all.out, expectedOut);
    EXPECT_EQ(all.err, expectedErr);
  }
}

}  // namespace
