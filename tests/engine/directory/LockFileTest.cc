#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/table/TableValidator.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/OsError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DirectoryTestSupport.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TableTestSupport.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;
using test::EngineErrorCode;
using test::LockFileBytes;
using test::ReadDiskFile;
using test::WriteDiskFile;

// A lock file's bytes with another list size in the header.
std::string WithListSize(std::string bytes, int32_t size) {
  EncodeInt32(bytes.data() + 4, size);
  return bytes;
}

// Host files of a child process that is killed while it writes a lock file. With a stall, the
// first write to the lock file puts only its first `stallAfter` bytes on disk, tells the parent
// ('w') and waits to be killed. Without one, every lock-file write waits a millisecond first, so
// that a kill at a random moment often lands between creating the file and filling it.
class TInterruptedLockFileWrite : public test::TFaultInjectingFiles {
 public:
  static constexpr int64_t kNoStall = -1;
  TInterruptedLockFileWrite(test::TChannel& channel, int64_t stallAfter)
      : FChannel(channel), FStallAfter(stallAfter) {}

  int Create(const std::string& path, bool mustBeNew = false) override {
    const int fd = TFaultInjectingFiles::Create(path, mustBeNew);
    if (path.ends_with("/cairn.lck")) FLockFd = fd;
    return fd;
  }
  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override {
    if (fd != FLockFd) return TFaultInjectingFiles::Write(fd, buffer, count, offset);
    if (FStallAfter == kNoStall) {
      usleep(1000);
      return TFaultInjectingFiles::Write(fd, buffer, count, offset);
    }
    if (FStallAfter > 0)
      TFaultInjectingFiles::Write(fd, buffer, std::min(count, FStallAfter), offset);
    FChannel.Send('w');
    for (;;) pause();
  }

 private:
  test::TChannel& FChannel;
  int64_t FStallAfter;
  int FLockFd = -1;
};

class LockFileTest : public ::testing::Test {
 protected:
  LockFileTest() {
    FEngine.Initialize();
    test::UseQuickRetries(FEngine, FSession);
  }

  TDataDirectory& Open(TDataSession& session) {
    return session.OpenDataDirectory("db", FDir.Path(), false, false, false);
  }
  TDataDirectory& Open() { return Open(FSession); }
  TDataDirectoryLocks& Locks(TDataDirectory& directory) { return *directory.Locks(); }
  std::string LockPath() const { return FDir.File("cairn.lck"); }

  // The directory at path can be written: a table is created in it and, opened shared, gets
  // its entry in the lock file. Closes the directory.
  void ExpectWritable(const std::string& path) {
    TDataDirectory& directory = FSession.OpenDataDirectory("db", path, false, false, false);
    EXPECT_FALSE(directory.ReadOnly()) << path;
    if (!directory.ReadOnly()) {
      TTableCreateParams params = test::EventsParams();
      ValidateTableCreateParams(directory.Engine(), params, directory.ProperDataDirectoryName(),
                                "Events.dat");
      directory.CloseDataTable(directory.CreateDataTable("Events.dat", "", params, true, false));
      directory.CloseDataTable(directory.OpenDataTable("Events.dat", "", false, false));
      EXPECT_GE(Locks(directory).FindDataTable("Events.dat"), 0);
    }
    FSession.CloseDataDirectory(directory, false);
  }

  test::TTempDir FDir;
  test::TFaultInjectingFiles FFiles;  // outlives the engine, which closes files through it
  TDataEngine FEngine;
  TDataSession& FSession = FEngine.StartDataSession();
};

TEST_F(LockFileTest, NewLockFileListsTheDataFilesOfTheDirectory) {
  struct Case {
    std::vector<std::string> files;
    std::vector<std::string> listed;  // in listing (byte) order, without extension
  } cases[] = {
      {{}, {}},
      {{"Zeta.dat", "alpha.DAT", "Beta.dat", "Gamma.idx", "Delta.blb", "notes.txt"},
       {"Beta", "Zeta", "alpha"}},
  };
  for (const Case& c : cases) {
    test::TTempDir dir;
    for (const std::string& file : c.files) WriteDiskFile(dir.File(file), "x");
    TDataDirectory& directory = FSession.OpenDataDirectory("db", dir.Path(), false, false, false);
    EXPECT_FALSE(directory.ReadOnly());
    // 8 + sum of (1 + name length) bytes; an empty directory gives 8 bytes holding 1 and 4.
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), LockFileBytes(1, c.listed));
    TDataDirectoryLocks& locks = Locks(directory);
    ASSERT_EQ(locks.Count(), c.listed.size());
    for (size_t i = 0; i < c.listed.size(); ++i) {
      EXPECT_EQ(locks.Item(i).TableName(), c.listed[i]);
      EXPECT_EQ(locks.Item(i).TableID(), static_cast<int32_t>(i + 1));
    }
    EXPECT_EQ(locks.UpdateCount(), 1);
    FSession.CloseDataDirectory(directory, false);
  }
}

TEST_F(LockFileTest, RegisteringATableAppendsItAndRaisesTheUpdateCount) {
  WriteDiskFile(FDir.File("Old.dat"), "x");
  TDataDirectoryLocks& locks = Locks(Open());

  TDataTableLocks& events = locks.AddDataTable("Events.dat");
  EXPECT_EQ(events.TableID(), 2);
  EXPECT_EQ(ReadDiskFile(LockPath()), LockFileBytes(2, {"Old", "Events.dat"}));

  // Found again without regard to case: nothing is written.
  EXPECT_EQ(&locks.AddDataTable("EVENTS.DAT"), &events);
  EXPECT_EQ(locks.FindDataTable("events.dat"), 1);
  EXPECT_EQ(ReadDiskFile(LockPath()), LockFileBytes(2, {"Old", "Events.dat"}));

  // A seeded name lacks the extension and never matches a registration.
  EXPECT_EQ(locks.AddDataTable("Old.dat").TableID(), 3);
  EXPECT_EQ(ReadDiskFile(LockPath()), LockFileBytes(3, {"Old", "Events.dat", "Old.dat"}));
}

TEST_F(LockFileTest, AnotherProcessRegisteringTheSameTableGetsTheSameID) {
  TDataDirectoryLocks& locks = Locks(Open());
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectoryLocks& own = Locks(Open(session));
    if (own.AddDataTable("Events.dat").TableID() != 1) return 1;
    channel.Send('a');
    if (channel.Receive() != 'b') return 2;
    // Registered by the parent in the meantime.
    if (own.AddDataTable("notes.DAT").TableID() != 2) return 3;
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'a');
  EXPECT_EQ(locks.AddDataTable("Notes.dat").TableID(), 2);
  EXPECT_EQ(locks.AddDataTable("events.dat").TableID(), 1);
  child.Send('b');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(ReadDiskFile(LockPath()), LockFileBytes(3, {"Events.dat", "Notes.dat"}));
}

TEST_F(LockFileTest, AFullListRefusesAnotherTableAndStaysUnchanged) {
  for (const size_t listed : {kMaxDataTables - 1, kMaxDataTables}) {
    test::TTempDir dir;
    std::vector<std::string> names;
    for (size_t i = 1; i <= listed; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "T%04zu.dat", i);
      names.push_back(name);
    }
    const std::string path = dir.File("cairn.lck");
    WriteDiskFile(path, LockFileBytes(7, names));
    TDataDirectory& directory = FSession.OpenDataDirectory("db", dir.Path(), false, false, false);
    TDataDirectoryLocks& locks = Locks(directory);
    ASSERT_FALSE(directory.ReadOnly());
    ASSERT_EQ(locks.Count(), listed);
    if (listed < kMaxDataTables) {
      EXPECT_EQ(locks.AddDataTable("One.dat").TableID(), 4096);
    } else {
      EXPECT_EQ(EngineErrorCode([&] { locks.AddDataTable("One.dat"); }), CAIRN_DATABASEFULL);
      EXPECT_EQ(locks.Count(), listed);
      EXPECT_EQ(ReadDiskFile(path), LockFileBytes(7, names));
      // A table already listed is still found.
      EXPECT_EQ(locks.AddDataTable("t0010.dat").TableID(), 10);
    }
    FSession.CloseDataDirectory(directory, false);
  }
}

TEST_F(LockFileTest, UpdateCountWrapsFromTheLargestValueToOne) {
  WriteDiskFile(LockPath(), LockFileBytes(INT32_MAX, {"A.dat"}));
  Locks(Open()).AddDataTable("B.dat");
  EXPECT_EQ(ReadDiskFile(LockPath()), LockFileBytes(1, {"A.dat", "B.dat"}));
}

TEST_F(LockFileTest, DamagedLockFileOpensReadOnlyAndIsLeftAlone) {
  const std::string valid = LockFileBytes(3, {"A.dat", "B.dat"});
  // A file shorter than its header says is no damage (ShortLockFile... below).
  const std::string damaged[] = {
      WithListSize(valid, 3),          // list size below its own 4 bytes
      WithListSize(valid, -1),         // negative list size
      WithListSize(valid, INT32_MAX),  // absurd list size
      WithListSize(LockFileBytes(1, {}) + "\x05"
                                          "ab",
                   7),  // length byte runs past the list
      LockFileBytes(1, std::vector<std::string>(kMaxDataTables + 1, "")),  // too many entries
  };
  for (const std::string& bytes : damaged) {
    test::TTempDir dir;
    WriteDiskFile(dir.File("cairn.lck"), bytes);
    TDataDirectory* directory = nullptr;
    ASSERT_NO_THROW(directory = &FSession.OpenDataDirectory("db", dir.Path(), false, false, false));
    EXPECT_TRUE(directory->ReadOnly()) << testing::PrintToString(bytes);
    EXPECT_EQ(EngineErrorCode([&] { directory->CheckNotReadOnly("Events"); }), CAIRN_OSEACCES);
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), bytes);
    FSession.CloseDataDirectory(*directory, false);
  }
}

TEST_F(LockFileTest, ShortLockFileThatNoProcessHoldsIsWrittenAnew) {
  const std::string valid = LockFileBytes(3, {"A.dat", "B.dat"});
  const std::string shortFiles[] = {
      "",                                                       // created, nothing written
      std::string("\x01\x00\x00", 3),                           // cut inside the update count
      std::string("\x01\x00\x00\x00", 4),                       // no list size
      valid.substr(0, 8),                                       // header only
      valid.substr(0, 10),                                      // entry cut short
      WithListSize(valid, static_cast<int32_t>(valid.size())),  // one byte missing
  };
  for (const std::string& bytes : shortFiles) {
    test::TTempDir dir;
    WriteDiskFile(dir.File("Old.dat"), "x");
    WriteDiskFile(dir.File("cairn.lck"), bytes);
    TDataDirectory& directory = FSession.OpenDataDirectory("db", dir.Path(), false, false, false);
    EXPECT_FALSE(directory.ReadOnly()) << testing::PrintToString(bytes);
    // Seeded like a new lock file.
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), LockFileBytes(1, {"Old"}));
    EXPECT_EQ(Locks(directory).Count(), 1u);
    FSession.CloseDataDirectory(directory, false);
    ExpectWritable(dir.Path());
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), LockFileBytes(2, {"Old", "Events.dat"}));
  }
}

TEST_F(LockFileTest, ShortLockFileHeldByAnotherProcessIsLeftAlone) {
  WriteDiskFile(LockPath(), "");
  test::TChildProcess child([&](test::TChannel& channel) {
    FEngine.Reset();  // the child's own descriptor
    TFileOpenArgs args;
    if (FEngine.FileRegistry().OpenFile(LockPath(), args) < 1) return 1;
    channel.Send('h');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'h');
  TDataDirectory& held = Open();
  EXPECT_TRUE(held.ReadOnly());
  EXPECT_EQ(ReadDiskFile(LockPath()), "");
  FSession.CloseDataDirectory(held, false);
  child.Send('q');
  ASSERT_EQ(child.Wait(), 0);
  ExpectWritable(FDir.Path());
}

TEST_F(LockFileTest, ProcessKilledWhileWritingTheNewLockFileLeavesItWritable) {
  // Killed after creating the file and after writing parts of its list.
  for (const int64_t written : {0, 3, 8, 10}) {
    test::TTempDir dir;
    WriteDiskFile(dir.File("Old.dat"), "x");
    {
      test::TChildProcess child([&](test::TChannel& channel) {
        TDataSession& session = test::FreshChildSession(FEngine);
        TInterruptedLockFileWrite files(channel, written);
        FEngine.SetHostFiles(&files);
        session.OpenDataDirectory("db", dir.Path(), false, false, false);
        return 1;  // not reached
      });
      ASSERT_EQ(child.Receive(), 'w');
    }  // SIGKILL
    ASSERT_EQ(ReadDiskFile(dir.File("cairn.lck")).size(), static_cast<size_t>(written));
    ExpectWritable(dir.Path());
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), LockFileBytes(2, {"Old", "Events.dat"}));
  }
}

TEST_F(LockFileTest, ProcessesKilledAtRandomWhileOpeningFreshDirectoriesLeaveThemWritable) {
  // Each child opens fresh directories one after another until it is killed at a random moment.
  std::mt19937 random(std::random_device{}());
  for (int run = 0; run < 10; ++run) {
    const std::string base = FDir.File("run" + std::to_string(run));
    fs::create_directory(base);
    {
      test::TChildProcess child([&](test::TChannel& channel) -> int {
        TDataSession& session = test::FreshChildSession(FEngine);
        TInterruptedLockFileWrite files(channel, TInterruptedLockFileWrite::kNoStall);
        FEngine.SetHostFiles(&files);
        channel.Send('s');
        for (int n = 0;; ++n) {
          const std::string path = base + "/" + std::to_string(n);
          fs::create_directory(path);
          WriteDiskFile(path + "/Old.dat", "x");
          session.CloseDataDirectory(session.OpenDataDirectory("db", path, false, false, false),
                                     false);
        }
      });
      ASSERT_EQ(child.Receive(), 's');
      usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    }  // SIGKILL
    for (const auto& entry : fs::directory_iterator(base)) {
      if (fs::exists(entry.path() / "cairn.lck")) ExpectWritable(entry.path().string());
    }
  }
}

TEST_F(LockFileTest, LockFileHalfCreatedUnderAFaultIsRemoved) {
  // The file exists when its list cannot be written or flushed: it goes again, and this open is
  // read-only. The next open creates it anew.
  for (const test::TFileOp op : {test::TFileOp::Write, test::TFileOp::Flush}) {
    test::TTempDir dir;
    WriteDiskFile(dir.File("Old.dat"), "x");
    FEngine.SetHostFiles(&FFiles);
    FFiles.ResetCounts();
    FFiles.ArmNext(op, host::kErrorAccessDenied);
    TDataDirectory& failed = FSession.OpenDataDirectory("db", dir.Path(), false, false, false);
    FFiles.Disarm();
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Create), 1);
    EXPECT_TRUE(failed.ReadOnly());
    EXPECT_FALSE(fs::exists(dir.File("cairn.lck")));
    FSession.CloseDataDirectory(failed, false);
    ExpectWritable(dir.Path());
    EXPECT_EQ(ReadDiskFile(dir.File("cairn.lck")), LockFileBytes(2, {"Old", "Events.dat"}));
  }
}

TEST_F(LockFileTest, ListDamagedWhileOpenIsAnEngineErrorAndReleasesTheListLock) {
  WriteDiskFile(LockPath(), LockFileBytes(1, {"A.dat"}));
  TDataDirectoryLocks& locks = Locks(Open());
  ASSERT_EQ(locks.Count(), 1u);
  // Someone rewrote the list with another table at ID 1: the IDs this process uses are void.
  WriteDiskFile(LockPath(), LockFileBytes(2, {"X.dat", "B.dat"}));
  try {
    locks.AddDataTable("B.dat");
    ADD_FAILURE() << "a changed list was accepted";
  } catch (const ECairnEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), CAIRN_HEADERCORRUPT);
    EXPECT_EQ(error.ErrorDatabaseName(), FDir.Path());
    EXPECT_EQ(error.ErrorTableName(), "cairn.lck");
  }
  EXPECT_EQ(locks.Count(), 1u);
  // A sound list again: registering works, so the list write lock was given back.
  WriteDiskFile(LockPath(), LockFileBytes(3, {"A.dat", "B.dat"}));
  EXPECT_EQ(locks.AddDataTable("B.dat").TableID(), 2);
}

TEST_F(LockFileTest, LockFileHeldExclusivelyElsewhereOpensReadOnly) {
  WriteDiskFile(LockPath(), LockFileBytes(1, {}));
  test::TChildProcess child([&](test::TChannel& channel) {
    FEngine.Reset();  // the child's own descriptor
    TFileOpenArgs args;
    args.Exclusive = true;
    if (FEngine.FileRegistry().OpenFile(LockPath(), args) < 1) return 1;
    channel.Send('h');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'h');
  TDataDirectory& held = Open();
  EXPECT_TRUE(held.ReadOnly());
  EXPECT_FALSE(Locks(held).LockFile().IsOpen());
  child.Send('q');
  ASSERT_EQ(child.Wait(), 0);
  FSession.CloseDataDirectory(held, false);
  EXPECT_FALSE(Open().ReadOnly());
}

TEST_F(LockFileTest, ListWriteLockHeldElsewhereBlocksOpeningAndRegistering) {
  TDataDirectoryLocks& locks = Locks(Open());
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectoryLocks& own = Locks(Open(session));
    const TLockRange list = own.Geometry().ListWriteLock();
    if (!own.LockFile().LockRegion(list.Offset, list.Length, true)) return 1;
    channel.Send('l');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'l');
  EXPECT_EQ(EngineErrorCode([&] { locks.AddDataTable("Events.dat"); }), CAIRN_LOCKWRITELOCK);
  EXPECT_EQ(locks.Count(), 0u);
  // A second session cannot read the list: no error, but read-only.
  TDataSession& second = FEngine.StartDataSession();
  second.SetLockFileOpenAttempts(2);
  second.SetLockFileOpenWait(1);
  EXPECT_TRUE(Open(second).ReadOnly());
  child.Send('q');
  ASSERT_EQ(child.Wait(), 0);
  EXPECT_EQ(locks.AddDataTable("Events.dat").TableID(), 1);
}

TEST_F(LockFileTest, InMemoryDatabaseKeepsItsLockFileInMemory) {
  TEngineFile table(FEngine, "Events.dat");
  table.SetInMemory(true);
  table.CreateFile();
  table.CloseFile();

  TDataDirectory& directory = FSession.OpenDataDirectory("memory", "", false, false, false);
  EXPECT_TRUE(directory.InMemory());
  EXPECT_FALSE(directory.ReadOnly());
  TEngineFile lockFile(FEngine, "cairn.lck");
  lockFile.SetInMemory(true);
  lockFile.OpenFile();
  const std::string expected = LockFileBytes(1, {"Events"});
  std::string bytes(expected.size() + 1, '\0');
  EXPECT_EQ(lockFile.Read(bytes.data(), static_cast<int64_t>(bytes.size()), true),
            static_cast<int64_t>(expected.size()));
  bytes.resize(expected.size());
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);  // nothing on disk
}

}  // namespace
}  // namespace cairn
