// A temporary directory for a test, removed with everything in it afterwards: when it
// goes out of scope, or when the process ends through exit() first (a death test's child).
// A process killed before either leaves them for the next test process to remove.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes `contents` to a file in the directory and returns its path.
  std::string write(std::string_view name, std::string_view contents) const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace testing_support
