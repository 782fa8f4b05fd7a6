// The basic profile on files from elsewhere, judged by other programs: the
// test files and character-set files that Debian's python3-pydicom ships
// (copied into a temporary folder for the run, never into the project).
// Every copy must read without error in DCMTK's dcmdump and in pydicom,
// dicom3tools' dciodvfy must report no error the source did not already
// have, and `tesmer audit --against` must find nothing in them but the
// burned-in notices the profile gives on purpose (pixels are not cleaned).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const char* const kPydicomData = "/usr/lib/python3/dist-packages/pydicom/data";
const char* const kUnordered = "Error - Tags out of order";

std::string TesmerPath() {
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tesmer").string();
}

// The error lines of dciodvfy for a file, without the values and UIDs they
// quote (which de-identification changes).
std::string WithoutUids(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size();) {
    size_t j = i;
    while (j < line.size() && (std::isdigit(static_cast<unsigned char>(line[j])) || line[j] == '.')) ++j;
    if (j > i) {
      out += '#';
      i = j;
    } else {
      out += line[i++];
    }
  }
  return out;
}

std::set<std::string> IodErrors(const std::string& path) {
  const fixture::ProgramRun run = fixture::RunProgram({"/usr/bin/dciodvfy", path});
  std::set<std::string> errors;
  std::istringstream lines(run.out + run.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Error", 0) != 0) continue;
    const size_t value = line.find(" = ");
    if (value != std::string::npos) line.resize(value);
    errors.insert(WithoutUids(line));
  }
  return errors;
}

class BasicProfileOnPydicomFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(BasicProfileOnPydicomFiles, CopiesPassEveryChecker) {
  const fs::path sourceFolder = fs::path(kPydicomData) / GetParam();
  if (!fs::is_directory(sourceFolder) || !fs::exists("/usr/bin/dcmdump") || !fs::exists("/usr/bin/dciodvfy"))
    GTEST_SKIP() << "needs python3-pydicom, dcmtk and dicom3tools";
  fixture::TempDir dir;
  fs::create_directories(dir.Join("src"));
  for (const fs::directory_entry& e : fs::directory_iterator(sourceFolder))
    if (e.is_regular_file() && e.path().extension() == ".dcm")
      fs::copy_file(e.path(), fs::path(dir.Join("src")) / e.path().filename());

  const fixture::ProgramRun run =
      fixture::RunProgram({TesmerPath(), "anonymize", "--profile", "basic", "--out", "out", "src"}, dir.path());
  // Some of the files are broken on purpose (truncated, deflated): they
  // fail with a reason; everything else is written.
  ASSERT_TRUE(run.exit == 0 || run.exit == 1) << run.out << run.err;
  std::vector<std::string> copies;
  for (const fs::directory_entry& e : fs::directory_iterator(dir.Join("out"))) copies.push_back(e.path().string());
  std::sort(copies.begin(), copies.end());
  ASSERT_GE(copies.size(), 15u) << run.out;

  std::string pydicomScript =
      "import sys, pydicom\n"
      "bad = 0\n"
      "for p in sys.argv[1:]:\n"
      "    try:\n"
      "        ds = pydicom.dcmread(p)\n"
      "        for _ in ds.iterall(): pass\n"
      "    except Exception as e:\n"
      "        bad += 1; print(p, e)\n"
      "sys.exit(1 if bad else 0)\n";
  std::vector<std::string> pydicom{"/usr/bin/python3", "-W", "ignore", "-c", pydicomScript};
  for (const std::string& copy : copies) {
    const fixture::ProgramRun dump = fixture::RunProgram({"/usr/bin/dcmdump", "-q", copy});
    EXPECT_EQ(dump.exit, 0) << copy << "\n" << dump.err;
    pydicom.push_back(copy);
    const std::string source = dir.Join("src/" + fs::path(copy).filename().string());
    const std::set<std::string> before = IodErrors(source), after = IodErrors(copy);
    // A source whose tags are out of order stops dciodvfy at once: then only
    // the copy's order can be held against it.
    const bool sourceUnchecked = std::any_of(before.begin(), before.end(), [](const std::string& e) {
      return e.rfind(kUnordered, 0) == 0;
    });
    for (const std::string& error : after) {
      if (sourceUnchecked) {
        EXPECT_NE(error.rfind(kUnordered, 0), 0u) << copy;
      } else {
        EXPECT_EQ(before.count(error), 1u) << copy << ": " << error;
      }
    }
  }
  const fixture::ProgramRun read = fixture::RunProgram(pydicom);
  EXPECT_EQ(read.exit, 0) << read.out << read.err;

  const fixture::ProgramRun audit =
      fixture::RunProgram({TesmerPath(), "audit", "--json", "--against", "src", "out"}, dir.path());
  std::istringstream lines(audit.out);
  for (std::string line; std::getline(lines, line);) {
    std::string rest = line;
    for (size_t at; (at = rest.find("{\"place\":\"\",\"kind\":\"burned-in\"")) != std::string::npos;)
      rest.erase(at, rest.find('}', at) + 1 - at);
    EXPECT_EQ(rest.find("\"kind\""), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(PydicomData, BasicProfileOnPydicomFiles, ::testing::Values("test_files", "charset_files"));

}  // namespace
