// Loading command-line paths as a drop onto the window would, for the
// commands that work on a whole collection.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class StudyCollection;

// One input that did not join the collection, and why.
struct NotLoaded {
  std::u16string path;
  const char* reason;
};

// A path as the desktop would drop it: absolute, with links left as named.
std::u16string DropPathOf(const char* argument);

// Reads the PATH… arguments of `tesmer <command>` as drop paths: "--" ends
// the options; until then "-r" (or "--recursive") sets `*recursive` when the
// command takes it, and any other argument starting with '-' is an unknown
// option, reported on stderr. False for an unknown option, an empty argument
// or no path at all: the caller prints its usage.
bool ReadDropPaths(const char* command, int argc, char** argv, std::vector<std::u16string>& paths,
                   bool* recursive = nullptr);

// What a drop left out besides the inputs that did not load.
struct DropLeftOut {
  int32_t subfoldersWithFiles = 0;  // folders loaded without their subfolders
  int32_t notDicom = 0;             // files below recursive folders skipped by their content
};

// Drops the paths onto the collection: files are loaded at once, folders on
// the loader thread (with every folder below them when the collection's
// includeSubfolders is set), whose end messages arrive through the message
// queue as they do in the window; then the loaded files are moved into the
// shown lists. Returns every input that did not load: paths that name
// nothing, dropped files and folder candidates that are no readable DICOM
// files. `leftOut`, when given, counts what was left out on purpose.
std::vector<NotLoaded> LoadPathsAsDrop(StudyCollection& collection, const std::vector<std::u16string>& paths,
                                       DropLeftOut* leftOut = nullptr);

// Writes bytes as they are, except control characters (which could rewrite
// the terminal or break a one-item-per-line layout), shown as \xNN. Quoted,
// the bytes stand between double quotes, with quotes and backslashes inside
// escaped by a backslash.
void PutEscaped(std::FILE* out, const std::string& bytes, bool quoted = false);
// A path as the file system's own bytes, escaped as above.
void PutPath(std::FILE* out, const std::u16string& path);
