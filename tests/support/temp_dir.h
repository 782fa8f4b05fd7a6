// A fresh temporary directory per test, removed with everything in it when
// the object goes out of scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's path, without a trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string Join(const std::string& name) const;
  // Writes a file (creating parent folders) and returns its full path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace fixture
