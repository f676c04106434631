#include <string>

#include <gtest/gtest.h>

#include "cairn/host/OsError.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TempDir.h"

namespace cairn::test {
namespace {

TEST(FaultInjectingFilesTest, TheChosenCallFailsWithoutReachingTheDisk) {
  TTempDir dir;
  TFaultInjectingFiles files;
  int fd = files.Create(dir.File("f.dat"));
  ASSERT_GE(fd, 0);
  files.Arm(TFileOp::Write, 2, host::kErrorUnknown);
  EXPECT_EQ(files.Write(fd, "aa", 2, 0), 2);
  EXPECT_EQ(files.Write(fd, "bb", 2, 2), -host::kErrorUnknown);
  EXPECT_EQ(files.Write(fd, "cc", 2, 4), 2);
  EXPECT_EQ(files.Calls(TFileOp::Write), 3);
  EXPECT_EQ(files.Calls(TFileOp::Create), 1);
  EXPECT_EQ(files.Calls(TFileOp::Read), 0);
  EXPECT_EQ(ReadDiskFile(dir.File("f.dat")), std::string("aa\0\0cc", 6));

  // From a call on: every later call fails too, until disarmed.
  files.ArmNext(TFileOp::Flush, host::kErrorAccessDenied, true);
  EXPECT_EQ(files.Flush(fd), -host::kErrorAccessDenied);
  EXPECT_EQ(files.Flush(fd), -host::kErrorAccessDenied);
  files.Disarm();
  EXPECT_EQ(files.Flush(fd), 0);

  files.ArmNext(TFileOp::Attributes, host::kErrorUnknown);
  EXPECT_FALSE(files.Attributes(dir.File("f.dat")).Exists);
  EXPECT_TRUE(files.Attributes(dir.File("f.dat")).Exists);
  files.ResetCounts();
  EXPECT_EQ(files.Calls(TFileOp::Write), 0);
  EXPECT_EQ(files.Close(fd), 0);
}

}  // namespace
}  // namespace cairn::test
