// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Copies `from` to `to` (writable), byte for byte.
void CopyFile(const std::string& from, const std::string& to);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace testing_support
