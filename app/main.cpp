// Entry point: the command line beside the window.
#include <cstdio>

int main(int argc, char** argv) {
  std::fprintf(stderr, "usage: tesmer dump|demo ...\n");
  return 2;
}
