// Test and benchmark support for code that reads and writes files: the whole of a file as
// bytes, and a scratch folder removed with its contents. Header only, so a test in any folder
// includes it without a link dependency. One thread per object.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quvi_test {

// Every byte of the file; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder in the system's temporary folder, named after prefix; throws
// std::runtime_error when none can be made.
class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix = "quvi_test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

}  // namespace quvi_test
