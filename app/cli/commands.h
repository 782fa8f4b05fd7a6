// The command-line commands beside the window. Each takes the arguments that
// follow its own word ("tesmer dump a.dcm" passes {"a.dcm"}) and returns the
// process exit status: 0 success, 1 failures reported, 2 bad arguments.
#pragma once

int RunDumpCommand(int argc, char** argv);
int RunDemoCommand(int argc, char** argv);
int RunAnonymizeCommand(int argc, char** argv);
int RunTreeCommand(int argc, char** argv);
