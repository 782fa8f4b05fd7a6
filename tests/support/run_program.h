// Running a program as a user runs it from a terminal: started directly (no
// shell) with this process's environment, its standard output and standard
// error captured whole, its exit status read.
#pragma once

#include <string>
#include <vector>

namespace fixture {

struct ProgramRun {
  int exit = -1;  // -1 when the program could not be started or did not exit normally
  std::string out, err;
};

// Runs the program at the path args[0] with the arguments args and waits for
// it; in `workingFolder` when one is given, else in this process's folder.
// The output is captured in files of a folder of its own, so the program
// never sees them among the files it is given.
ProgramRun RunProgram(std::vector<std::string> args, const std::string& workingFolder = "");

}  // namespace fixture
