// Entry point: the window, and the command line beside it.
#include <cstdio>
#include <cstring>

#include "app/cli/commands.h"

namespace {

struct Command {
  const char* word;
  int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"dump", RunDumpCommand},
    {"tree", RunTreeCommand},
    {"anonymize", RunAnonymizeCommand},
    {"demo", RunDemoCommand},
};

int Usage() {
  std::fputs(
      "usage:\n"
      "  tesmer dump [--json] [--log] PATH...   analyse files and print their elements\n"
      "  tesmer tree PATH...                    load paths as a drop would and print the collection\n"
      "  tesmer anonymize PATH...               write de-identified copies into __Anony folders\n"
      "  tesmer demo DIR                        write a small synthetic study\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.word) == 0) return c.run(argc - 2, argv + 2);
  return Usage();
}
