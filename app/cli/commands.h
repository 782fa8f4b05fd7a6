// The command-line commands beside the window. Each takes the arguments that
// follow its own word ("tesmer dump a.dcm" passes {"a.dcm"}) and returns the
// process exit status: 0 success, 1 failures reported, 2 bad arguments.
#pragma once

int RunDumpCommand(int argc, char** argv);
int RunDemoCommand(int argc, char** argv);
int RunAnonymizeCommand(int argc, char** argv);
int RunAuditCommand(int argc, char** argv);
int RunTreeCommand(int argc, char** argv);
// Only when the window layer is built (TESMER_GUI).
int RunScreenshotCommand(int argc, char** argv);
// Only when the window layer is built (TESMER_GUI): the window layer's demo dialog.
int RunPlatformDemo(int argc, char** argv);
