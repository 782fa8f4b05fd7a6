// Loading command-line paths as a drop onto the window would, for the
// commands that work on a whole collection.
#pragma once

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
// the options, and until then any other argument starting with '-' is an
// unknown option, reported on stderr. False for an unknown option, an empty
// argument or no path at all: the caller prints its usage.
bool ReadDropPaths(const char* command, int argc, char** argv, std::vector<std::u16string>& paths);

// Drops the paths onto the collection: files are loaded at once, folders on
// the loader thread, whose end messages arrive through the message queue as
// they do in the window; then the loaded files are moved into the shown
// lists. Returns every input that did not load: paths that name nothing,
// dropped files and folder candidates that are no readable DICOM files.
std::vector<NotLoaded> LoadPathsAsDrop(StudyCollection& collection, const std::vector<std::u16string>& paths);

// Writes bytes as they are, except control characters (which could rewrite
// the terminal or break a one-item-per-line layout), shown as \xNN. Quoted,
// the bytes stand between double quotes, with quotes and backslashes inside
// escaped by a backslash.
void PutEscaped(std::FILE* out, const std::string& bytes, bool quoted = false);
// A path as the file system's own bytes, escaped as above.
void PutPath(std::FILE* out, const std::u16string& path);
