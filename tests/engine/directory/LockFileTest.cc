#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/FileRegistry.h"
#include "tests/engine/directory/DirectoryTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::LockFileBytes;
using test::ReadDiskFile;
using test::WriteDiskFile;

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

  test::TTempDir FDir;
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
  auto withSize = [](std::string bytes, int32_t size) {
    EncodeInt32(bytes.data() + 4, size);
    return bytes;
  };
  const std::string valid = LockFileBytes(3, {"A.dat", "B.dat"});
  const std::string damaged[] = {
      "",                                                   // empty
      std::string("\x01\x00\x00", 3),                       // not even an update count
      std::string("\x01\x00\x00\x00", 4),                   // no list size
      withSize(valid, 3),                                   // list size below its own 4 bytes
      withSize(valid, -1),                                  // negative list size
      withSize(valid, static_cast<int32_t>(valid.size())),  // list size beyond the file
      withSize(valid, INT32_MAX),                           // absurd list size
      LockFileBytes(3, {"A.dat"}).substr(0, 10),            // entry cut short
      withSize(LockFileBytes(1, {}) + "\x05"
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
