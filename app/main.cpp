// Entry point: the window, and the command line beside it.
#include <cstdio>
#include <cstring>

#include "app/cli/commands.h"
#if TESMER_WINDOW
#include "app/tesmer_app.h"
#endif

namespace {

struct Command {
  const char* word;
  int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"dump", RunDumpCommand},
    {"tree", RunTreeCommand},
    {"anonymize", RunAnonymizeCommand},
    {"audit", RunAuditCommand},
    {"demo", RunDemoCommand},
#if TESMER_WINDOW
    {"screenshot", RunScreenshotCommand},
#endif
};

int Usage() {
  std::fputs(
      "usage:\n"
#if TESMER_WINDOW
      "  tesmer [--headless] [--screenshot FILE.png] [PATH...]\n"
      "                                         open the window with the paths loaded as if dropped\n"
#endif
      "  tesmer dump [--json] [--log] PATH...   analyse files and print their elements\n"
      "  tesmer tree PATH...                    load paths as a drop would and print the collection\n"
      "  tesmer anonymize [--profile basic] [OPTIONS] PATH...\n"
      "                                         write de-identified copies (into __Anony folders)\n"
      "  tesmer audit [--json] [--against SOURCE_PATH] PATH...\n"
      "                                         list what in copies may still identify a person\n"
#if TESMER_WINDOW
      "  tesmer screenshot --out FILE.png [options] PATH...\n"
      "                                         paint the work panel headless and save it as PNG\n"
#endif
      "  tesmer demo DIR                        write a small synthetic study\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    for (const Command& c : kCommands)
      if (std::strcmp(argv[1], c.word) == 0) return c.run(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return Usage();
#if TESMER_WINDOW
    if (std::strcmp(argv[1], "--platform-demo") == 0) return RunPlatformDemo(argc - 1, argv + 1);
#endif
  }
#if TESMER_WINDOW
  // No command word: the window, with any paths loaded as if dropped.
  return RunWindowProgram(argc - 1, argv + 1);
#else
  return Usage();
#endif
}
