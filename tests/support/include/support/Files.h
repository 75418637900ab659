// Files for tests: a private scratch folder that goes away with the test,
// and a file's whole content.
#pragma once

#include <string>

namespace support {

// A new folder under the system's temporary directory, named prefix plus
// six random characters (mode 0700), removed with all it holds when the
// object goes. Throws std::runtime_error when it cannot be made.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The bytes of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace support
