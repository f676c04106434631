#include "tests/support/Unprivileged.h"

#include <grp.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/ChildProcess.h"

namespace cairn::test {

namespace {
constexpr uid_t kNobody = 65534;
constexpr int kCannotDropRoot = 101;
}  // namespace

bool RunningAsRoot() {
  return geteuid() == 0;
}

int RunUnprivileged(const std::function<int()>& body) {
  TChildProcess child([&body](TChannel&) {
    if (RunningAsRoot() &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      return kCannotDropRoot;
    }
    return body();
  });
  return child.Wait();
}

void MakeTraversable(const std::string& directory) {
  namespace fs = std::filesystem;
  fs::permissions(directory,
                  fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                      fs::perms::others_exec,
                  fs::perm_options::add);
}

}  // namespace cairn::test
