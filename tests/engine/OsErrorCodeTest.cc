#include <cerrno>

#include <gtest/gtest.h>

#include "cairn/engine/OsErrorCode.h"
#include "cairn/host/OsError.h"

namespace cairn {
namespace {

TEST(OsErrorCodeTest, ErrnoThroughWindowsErrorToEngineCode) {
  struct Case {
    int errnoValue;
    bool lockOrShare;
    uint16_t engineCode;
  };
  const Case cases[] = {
      {ENOENT, false, 11010},
      {ENOTDIR, false, 11010},
      {EMFILE, false, 11012},
      {ENFILE, false, 11012},
      {EACCES, false, 11013},
      {EPERM, false, 11013},
      {EROFS, false, 11013},
      {EWOULDBLOCK, true, 11013},
      {EAGAIN, true, 11013},
      {EACCES, true, 11013},
      {EEXIST, false, 11013},
      {EBADF, false, 11014},
      {EBADF, true, 11014},
      {ENOMEM, false, 11016},
      {ENODEV, false, 11023},
      {ENXIO, false, 11023},
      {EXDEV, false, 11025},
      {ENOSPC, false, 11047},
      {EIO, false, 11047},
      {EDQUOT, false, 11047},
      {EAGAIN, false, 11047},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "errno " << c.errnoValue << " lock " << c.lockOrShare);
    EXPECT_EQ(EngineCodeFromWindowsError(host::WindowsErrorFromErrno(c.errnoValue, c.lockOrShare)),
              c.engineCode);
  }
}

TEST(OsErrorCodeTest, WindowsErrorsWithoutErrno) {
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
}  // namespace cairn
