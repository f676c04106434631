// A temporary directory for one test: made empty under the host's temporary directory, removed
// with everything in it when the object goes.
#pragma once

#include <string>

namespace cairn::test {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The directory, without a trailing "/".
  const std::string& Path() const { return FPath; }
  // The path of a name inside the directory.
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

}  // namespace cairn::test
