// Running a check as an ordinary user.
//
// Permission bits do not bind root, and tests may run as root (in CI containers). A check that
// needs them enforced runs in a forked child that first gives up root: no supplementary groups,
// group and user 65534. Run as an ordinary user, the child keeps its identity.
#pragma once

#include <functional>
#include <string>

namespace cairn::test {

bool RunningAsRoot();

// Runs body in such a child and returns its exit status (body's result; 100 when body threw, 101
// when root could not be given up, -1 when the child did not exit normally).
int RunUnprivileged(const std::function<int()>& body);

// Lets every user traverse and read the directory (adds r-x for group and others), so that an
// unprivileged child can reach the files inside.
void MakeTraversable(const std::string& directory);

}  // namespace cairn::test
