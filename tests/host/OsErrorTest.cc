#include <cerrno>

#include <gtest/gtest.h>

#include "cairn/host/OsError.h"

namespace cairn::host {
namespace {

TEST(OsErrorTest, ErrnoToWindowsError) {
  struct Case {
    int errnoValue;
    bool lockOrShare;
    int windowsError;
  };
  const Case cases[] = {
      {ENOENT, false, 2},
      {ENOTDIR, false, 3},
      {EMFILE, false, 4},
      {ENFILE, false, 4},
      {EACCES, false, 5},
      {EPERM, false, 5},
      {EROFS, false, 5},
      {EWOULDBLOCK, true, 32},
      {EAGAIN, true, 32},
      {EACCES, true, 32},
      {EEXIST, false, 183},
      {EBADF, false, 6},
      {EBADF, true, 6},
      {ENOMEM, false, 8},
      {ENODEV, false, 15},
      {ENXIO, false, 15},
      {EXDEV, false, 17},
      {ENOSPC, false, kErrorUnknown},
      {EIO, false, kErrorUnknown},
      {EDQUOT, false, kErrorUnknown},
      {EAGAIN, false, kErrorUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "errno " << c.errnoValue << " lock " << c.lockOrShare);
    int windows = WindowsErrorFromErrno(c.errnoValue, c.lockOrShare);
    EXPECT_EQ(windows, c.windowsError);
  }
}

}  // namespace
}  // namespace cairn::host
