#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "cairn/host/HostFiles.h"
#include "cairn/host/OsError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

namespace cairn::host {
namespace {

using test::ReadDiskFile;
using test::TChannel;
using test::TChildProcess;
using test::WriteDiskFile;

class PosixFilesTest : public ::testing::Test {
 protected:
  THostFiles& files = PosixFiles();
  test::TTempDir dir;
};

// The child opens the file, reports 'r' (or 'e' with its error), and holds it until told 'q'.
int HoldOpen(TChannel& channel, const std::string& path, bool readOnly, bool exclusive) {
  int fd = PosixFiles().Open(path, readOnly, exclusive);
  channel.Send(fd >= 0 ? 'r' : 'e');
  channel.Receive();
  return fd >= 0 ? 0 : 1;
}

TEST_F(PosixFilesTest, SharingBetweenProcesses) {
  struct Case {
    bool childExclusive;
    bool parentExclusive;
    bool parentReadOnly;
    int expected;  // 0: the open succeeds
  };
  const Case cases[] = {
      {false, false, false, 0},
      {false, false, true, 0},
      {false, true, false, -kErrorSharingViolation},
      {true, false, false, -kErrorSharingViolation},
      {true, false, true, -kErrorSharingViolation},
      {true, true, false, -kErrorSharingViolation},
  };
  std::string path = dir.File("shared.dat");
  WriteDiskFile(path, "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "child exclusive " << c.childExclusive << ", parent exclusive "
                 << c.parentExclusive << ", read-only " << c.parentReadOnly);
    TChildProcess child(
        [&](TChannel& channel) { return HoldOpen(channel, path, false, c.childExclusive); });
    ASSERT_EQ(child.Receive(), 'r');
    int fd = files.Open(path, c.parentReadOnly, c.parentExclusive);
    if (c.expected == 0) {
      EXPECT_GE(fd, 0);
    } else {
      EXPECT_EQ(fd, c.expected);
    }
    if (fd >= 0) files.Close(fd);
    child.Send('q');
    EXPECT_EQ(child.Wait(), 0);
    // Once the child is gone the file can be held exclusively.
    int after = files.Open(path, false, true);
    EXPECT_GE(after, 0);
    if (after >= 0) files.Close(after);
  }
}

TEST_F(PosixFilesTest, ExclusiveOpenExcludesOtherOpensOfThisProcess) {
  std::string path = dir.File("t.dat");
  WriteDiskFile(path, "x");
  int first = files.Open(path, false, true);
  ASSERT_GE(first, 0);
  EXPECT_EQ(files.Open(path, true, false), -kErrorSharingViolation);
  EXPECT_EQ(files.Create(path), -kErrorSharingViolation);
  files.Close(first);
}

TEST_F(PosixFilesTest, CreateNeverTruncatesAFileAnotherProcessHolds) {
  std::string path = dir.File("held.dat");
  WriteDiskFile(path, "precious bytes");
  TChildProcess child([&](TChannel& channel) { return HoldOpen(channel, path, true, false); });
  ASSERT_EQ(child.Receive(), 'r');
  EXPECT_EQ(files.Create(path), -kErrorSharingViolation);
  EXPECT_EQ(ReadDiskFile(path), "precious bytes");
  child.Send('q');
  ASSERT_EQ(child.Wait(), 0);

  int fd = files.Create(path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(files.Size(fd), 0);
  // The created file is held exclusively.
  TChildProcess other([&](TChannel& channel) { return HoldOpen(channel, path, true, false); });
  EXPECT_EQ(other.Receive(), 'e');
  other.Send('q');
  files.Close(fd);
}

TEST_F(PosixFilesTest, ByteRangeLocksBetweenProcesses) {
  constexpr int64_t kFar = 0x7FFFFFFFFFFFFF00;  // locks lie far beyond the end of the file
  std::string path = dir.File("locks.dat");
  WriteDiskFile(path, "x");
  // The child locks [100, 110) and [kFar, kFar + 16) and keeps them until told 'u'.
  TChildProcess child([&](TChannel& channel) {
    int fd = PosixFiles().Open(path, false, false);
    bool ok = fd >= 0 && PosixFiles().Lock(fd, 100, 10, false) == 0 &&
              PosixFiles().Lock(fd, kFar, 16, false) == 0;
    channel.Send(ok ? 'r' : 'e');
    if (channel.Receive() != 'u') return 2;
    ok = PosixFiles().Unlock(fd, 100, 10) == 0;
    channel.Send(ok ? 'r' : 'e');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'r');
  int fd = files.Open(path, false, false);
  ASSERT_GE(fd, 0);
  int readOnlyFd = -1;

  struct Case {
    int64_t offset;
    int64_t length;
    int expected;
  };
  const Case cases[] = {
      {105, 10, -kErrorSharingViolation},  // overlaps the end
      {95, 6, -kErrorSharingViolation},    // overlaps the start
      {0, 1000, -kErrorSharingViolation},  // covers it
      {110, 5, 0},                         // touches it from above
      {90, 10, 0},                         // touches it from below
      {kFar + 8, 1, -kErrorSharingViolation},
      {kFar - 16, 16, 0},
      {0, 0, -kErrorInvalidParameter},
      {-1, 5, -kErrorInvalidParameter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "lock " << c.offset << " + " << c.length);
    EXPECT_EQ(files.Lock(fd, c.offset, c.length, false), c.expected);
  }
  // A read-only descriptor takes a read lock: it is refused as well.
  readOnlyFd = files.Open(path, true, false);
  ASSERT_GE(readOnlyFd, 0);
  EXPECT_EQ(files.Lock(readOnlyFd, 100, 1, true), -kErrorSharingViolation);

  child.Send('u');
  ASSERT_EQ(child.Receive(), 'r');
  EXPECT_EQ(files.Lock(fd, 100, 10, false), 0);
  EXPECT_EQ(files.Lock(fd, kFar, 1, false), -kErrorSharingViolation);
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  // The child's locks went with it.
  EXPECT_EQ(files.Lock(fd, kFar, 16, false), 0);
  files.Close(readOnlyFd);
  files.Close(fd);
}

TEST_F(PosixFilesTest, ReadLocksOfReadOnlyDescriptorsExcludeOnlyWriters) {
  std::string path = dir.File("ro.dat");
  WriteDiskFile(path, "x");
  TChildProcess child([&](TChannel& channel) {
    int fd = PosixFiles().Open(path, true, false);
    channel.Send(fd >= 0 && PosixFiles().Lock(fd, 50, 1, true) == 0 ? 'r' : 'e');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'r');
  int readOnlyFd = files.Open(path, true, false);
  int writeFd = files.Open(path, false, false);
  ASSERT_GE(readOnlyFd, 0);
  ASSERT_GE(writeFd, 0);
  EXPECT_EQ(files.Lock(readOnlyFd, 50, 1, true), 0);
  EXPECT_EQ(files.Lock(writeFd, 50, 1, false), -kErrorSharingViolation);
  child.Send('q');
  files.Close(writeFd);
  files.Close(readOnlyFd);
}

TEST_F(PosixFilesTest, PositionedTransfers) {
  int fd = files.Create(dir.File("io.dat"));
  ASSERT_GE(fd, 0);
  EXPECT_EQ(files.Write(fd, "abcdef", 6, 0), 6);
  EXPECT_EQ(files.Write(fd, "XY", 2, 10), 2);  // leaves a hole of zero bytes
  EXPECT_EQ(files.Size(fd), 12);

  char buffer[16] = {};
  EXPECT_EQ(files.Read(fd, buffer, 16, 4), 8);  // short read at the end of the file
  EXPECT_EQ(std::string(buffer, 8), std::string("ef\0\0\0\0XY", 8));
  EXPECT_EQ(files.Read(fd, buffer, 4, 100), 0);
  EXPECT_EQ(files.Read(fd, buffer, -1, 0), -kErrorInvalidParameter);
  EXPECT_EQ(files.Write(fd, "x", 1, -5), -kErrorInvalidParameter);

  EXPECT_EQ(files.Truncate(fd, 3), 0);
  EXPECT_EQ(files.Size(fd), 3);
  EXPECT_EQ(files.Flush(fd), 0);
  EXPECT_EQ(files.Close(fd), 0);
  EXPECT_EQ(ReadDiskFile(dir.File("io.dat")), "abc");

  int readOnly = files.Open(dir.File("io.dat"), true, false);
  ASSERT_GE(readOnly, 0);
  EXPECT_EQ(files.Write(readOnly, "z", 1, 0), -kErrorInvalidHandle);
  files.Close(readOnly);
  EXPECT_EQ(files.Read(readOnly, buffer, 1, 0), -kErrorInvalidHandle);
}

TEST_F(PosixFilesTest, OpenAndCreateErrors) {
  WriteDiskFile(dir.File("plain"), "x");
  mkdir(dir.File("folder").c_str(), 0777);
  struct Case {
    std::string path;
    int openError;
    int createError;
  };
  const Case cases[] = {
      {dir.File("missing.dat"), -kErrorFileNotFound, 0},
      {dir.File("nofolder/t.dat"), -kErrorFileNotFound, -kErrorFileNotFound},
      {dir.File("plain/t.dat"), -kErrorPathNotFound, -kErrorPathNotFound},
      {dir.File("folder"), -kErrorAccessDenied, -kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(files.Open(c.path, false, false), c.openError);
    EXPECT_EQ(files.Open(c.path, true, true), c.openError);
    int fd = files.Create(c.path);
    if (c.createError == 0) {
      EXPECT_GE(fd, 0);
      files.Close(fd);
    } else {
      EXPECT_EQ(fd, c.createError);
    }
  }
}

TEST_F(PosixFilesTest, ReadOnlyFilesForAnUnprivilegedUser) {
  std::string locked = dir.File("locked.dat");
  std::string open = dir.File("open.dat");
  WriteDiskFile(locked, "x");
  WriteDiskFile(open, "x");
  chmod(locked.c_str(), 0444);
  chmod(open.c_str(), 0666);
  test::MakeTraversable(dir.Path());
  // As an ordinary user: the superuser may write any file.
  int status = test::RunUnprivileged([&] {
    THostFiles& f = PosixFiles();
    if (!f.Attributes(locked).ReadOnly || f.Attributes(open).ReadOnly) return 11;
    // A read-write open reports access denied; the caller retries read-only.
    if (f.Open(locked, false, false) != -kErrorAccessDenied) return 12;
    if (f.Open(locked, true, false) < 0) return 13;
    if (f.Create(locked) != -kErrorAccessDenied) return 14;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadDiskFile(locked), "x");
}

TEST_F(PosixFilesTest, Attributes) {
  WriteDiskFile(dir.File("a.dat"), "x");
  TFileAttributes file = files.Attributes(dir.File("a.dat"));
  EXPECT_TRUE(file.Exists);
  EXPECT_FALSE(file.IsDirectory);
  TFileAttributes folder = files.Attributes(dir.Path());
  EXPECT_TRUE(folder.Exists);
  EXPECT_TRUE(folder.IsDirectory);
  EXPECT_FALSE(files.Attributes(dir.File("b.dat")).Exists);
}

TEST_F(PosixFilesTest, RenameNeverReplaces) {
  WriteDiskFile(dir.File("One.dat"), "one");
  WriteDiskFile(dir.File("two.dat"), "two");
  EXPECT_EQ(files.Rename(dir.File("One.dat"), dir.File("two.dat")), -kErrorAlreadyExists);
  EXPECT_EQ(files.Rename(dir.File("One.dat"), dir.File("TWO.dat")), -kErrorAlreadyExists);
  EXPECT_EQ(files.Rename(dir.File("none.dat"), dir.File("three.dat")), -kErrorFileNotFound);
  EXPECT_EQ(ReadDiskFile(dir.File("two.dat")), "two");

  EXPECT_EQ(files.Rename(dir.File("one.dat"), dir.File("three.dat")), 0);
  EXPECT_EQ(ReadDiskFile(dir.File("three.dat")), "one");
  EXPECT_FALSE(files.Attributes(dir.File("One.dat")).Exists);
  // A change of letter case only.
  EXPECT_EQ(files.Rename(dir.File("three.dat"), dir.File("Three.DAT")), 0);
  EXPECT_EQ(files.ListDirectory(dir.Path()), (std::vector<std::string>{"Three.DAT", "two.dat"}));
}

TEST_F(PosixFilesTest, NamesResolveWithoutRegardToCase) {
  WriteDiskFile(dir.File("Events.dat"), "events");
  WriteDiskFile(dir.File("\xC3\x84rger.dat"), "a-umlaut");  // on disk in UTF-8
  std::string events = dir.File("Events.dat");
  EXPECT_EQ(files.Resolve(events), events);
  EXPECT_EQ(files.Resolve(dir.File("EVENTS.dat")), events);
  EXPECT_EQ(files.Resolve(dir.File("missing.dat")), dir.File("missing.dat"));
  // Engine names are Windows-1252: 0xE4 is a-umlaut, upper case 0xC4.
  EXPECT_EQ(files.Resolve(dir.File("\xE4rger.dat")), dir.File("\xC4rger.dat"));
  EXPECT_EQ(files.ListDirectory(dir.Path()),
            (std::vector<std::string>{"Events.dat", "\xC4rger.dat"}));

  int fd = files.Open(dir.File("events.DAT"), true, false);
  ASSERT_GE(fd, 0);
  char buffer[6];
  EXPECT_EQ(files.Read(fd, buffer, 6, 0), 6);
  files.Close(fd);
  EXPECT_TRUE(files.Attributes(dir.File("eVeNtS.dat")).Exists);

  // Creating a case variant replaces the existing file instead of adding a second one.
  fd = files.Create(dir.File("EVENTS.DAT"));
  ASSERT_GE(fd, 0);
  files.Close(fd);
  EXPECT_EQ(files.ListDirectory(dir.Path()),
            (std::vector<std::string>{"Events.dat", "\xC4rger.dat"}));
  EXPECT_EQ(ReadDiskFile(events), "");
  EXPECT_EQ(files.Delete(dir.File("events.dat")), 0);
  EXPECT_EQ(files.Delete(dir.File("events.dat")), -kErrorFileNotFound);
}

TEST_F(PosixFilesTest, ListDirectoryNamesRegularFilesOnly) {
  WriteDiskFile(dir.File("b.dat"), "");
  WriteDiskFile(dir.File("a.idx"), "");
  mkdir(dir.File("sub.dat").c_str(), 0777);
  EXPECT_EQ(files.ListDirectory(dir.Path()), (std::vector<std::string>{"a.idx", "b.dat"}));
  EXPECT_EQ(files.Delete(dir.File("sub.dat")), -kErrorAccessDenied);
  EXPECT_TRUE(files.ListDirectory(dir.File("none")).empty());
}

}  // namespace
}  // namespace cairn::host
