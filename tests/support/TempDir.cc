#include "tests/support/TempDir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "cairn/host/System.h"

namespace cairn::test {

TTempDir::TTempDir() {
  std::string pattern = host::TempDirectory() + "cairn-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  FPath = name.data();
}

TTempDir::~TTempDir() {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, error);
  // A test may leave folders without write permission behind; open them up so they can go.
  for (auto it = fs::recursive_directory_iterator(FPath, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(FPath, error);
}

}  // namespace cairn::test
