#include <cerrno>

#include <gtest/gtest.h>

#include "cairn/host/OsError.h"

namespace cairn::host {
namespace {

TEST(OsErrorTest, ErrnoToWindowsToEngineCode) {
  struct Case {
    int errnoValue;
    bool lockOrShare;
    int windowsError;
    uint16_t engineCode;
  };
  const Case cases[] = {
      {ENOENT, false, 2, 11010},
      {ENOTDIR, false, 3, 11010},
      {EMFILE, false, 4, 11012},
      {ENFILE, false, 4, 11012},
      {EACCES, false, 5, 11013},
      {EPERM, false, 5, 11013},
      {EROFS, false, 5, 11013},
      {EWOULDBLOCK, true, 32, 11013},
      {EAGAIN, true, 32, 11013},
      {EACCES, true, 32, 11013},
      {EEXIST, false, 183, 11013},
      {EBADF, false, 6, 11014},
      {EBADF, true, 6, 11014},
      {ENOMEM, false, 8, 11016},
      {ENODEV, false, 15, 11023},
      {ENXIO, false, 15, 11023},
      {EXDEV, false, 17, 11025},
      {ENOSPC, false, kErrorUnknown, 11047},
      {EIO, false, kErrorUnknown, 11047},
      {EDQUOT, false, kErrorUnknown, 11047},
      {EAGAIN, false, kErrorUnknown, 11047},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "errno " << c.errnoValue << " lock " << c.lockOrShare);
    int windows = WindowsErrorFromErrno(c.errnoValue, c.lockOrShare);
    EXPECT_EQ(windows, c.windowsError);
    EXPECT_EQ(EngineCodeFromWindowsError(windows), c.engineCode);
  }
}

TEST(OsErrorTest, WindowsErrorsWithoutErrno) {
  struct Case {
    int windowsError;
    uint16_t engineCode;
  };
  const Case cases[] = {{14, 11016},  {33, 11013}, {65, 11013},
                        {112, 11047}, {0, 11047},  {87, 11047}};
  for (const Case& c : cases) {
    EXPECT_EQ(EngineCodeFromWindowsError(c.windowsError), c.engineCode) << c.windowsError;
  }
}

}  // namespace
}  // namespace cairn::host
