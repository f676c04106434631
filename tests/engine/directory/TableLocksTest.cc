#include <gtest/gtest.h>

#include <string>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/directory/DataTableLocks.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/LockGeometry.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DirectoryTestSupport.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

using test::EngineErrorCode;

// The four tables A ... D of a directory get the table IDs 1 ... 4.
const char* const kTables[] = {"A.dat", "B.dat", "C.dat", "D.dat"};

class TableLocksTest : public ::testing::Test {
 protected:
  TableLocksTest() {
    FEngine.Initialize();
    test::UseQuickRetries(FEngine, FSession);
    for (const char* table : kTables) Register(FLocks, table);
  }

  static TDataDirectoryLocks& OpenLocks(TDataSession& session, const std::string& path) {
    return *session.OpenDataDirectory("db", path, false, false, false).Locks();
  }
  static TDataTableLocks& Register(TDataDirectoryLocks& locks, const char* table) {
    return locks.AddDataTable(table);
  }
  // A lock of the parent's lock file, taken and given back at once: whether it was free.
  bool IsFree(const TLockRange& range) {
    TEngineFile& file = FLocks.LockFile();
    if (!file.LockRegion(range.Offset, range.Length, true)) return false;
    return file.LockRegion(range.Offset, range.Length, false);
  }

  test::TTempDir FDir;
  TDataEngine FEngine;
  TDataSession& FSession = FEngine.StartDataSession();
  TDataDirectoryLocks& FLocks = OpenLocks(FSession, FDir.Path());
};

TEST(LockGeometryTest, LocksLieWhereTheGeometrySays) {
  TDataEngine engine;
  engine.Initialize();
  const TLockGeometry& geometry = engine.LockGeometry();
  const int64_t listBase = 0xFFFF0000;   // FileLockByte - FileLockRange
  const int64_t tableBase = 0xFFFEF000;  // ReadLockByte = WriteLockByte
  struct Case {
    const char* lock;
    TLockRange range;
    int64_t offset, length;
  } cases[] = {
      {"list read, slot 1", geometry.ListReadLock(1), listBase, 1},
      {"list read, slot 65534", geometry.ListReadLock(65534), listBase + 65533, 1},
      {"list write", geometry.ListWriteLock(), listBase, 65535},
      {"table 3 read, slot 1", geometry.TableReadLock(3, 1), tableBase - 3 * 65535, 1},
      {"table 3 read, slot 65534", geometry.TableReadLock(3, 65534), tableBase - 2 * 65535 - 2, 1},
      {"table 3 write", geometry.TableWriteLock(3), tableBase - 3 * 65535, 65535},
      {"table 3 transaction", geometry.TableTransLock(3), listBase - 3, 1},
      {"table 4096 transaction", geometry.TableTransLock(4096), tableBase, 1},
      {"directory transaction", geometry.DirectoryTransLock(), tableBase, 4096},
      {"directory transaction write", geometry.DirectoryTransWriteLock(), 4026466304, 268431360},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.range.Offset, c.offset) << c.lock;
    EXPECT_EQ(c.range.Length, c.length) << c.lock;
  }
  // With large files the locks move to the top of the 63-bit offset space.
  engine.SetLargeFileSupport(true);
  engine.Initialize();
  const TLockRange list = engine.LockGeometry().ListWriteLock();
  EXPECT_EQ(list.Offset + list.Length, INT64_C(0x7FFFFFFFFFFFFFFF));
}

TEST_F(TableLocksTest, StatesSayWhatAnEntryHolds) {
  TDataTableLocks& c = FLocks.Item(2);
  const TLockGeometry& geometry = FLocks.Geometry();
  ASSERT_EQ(c.TableID(), 3);

  EXPECT_TRUE(c.ReadLock());
  EXPECT_EQ(c.LockStates(), lsReadLocked);
  EXPECT_FALSE(c.ReadLock());  // held already: nothing more is taken
  EXPECT_FALSE(IsFree(geometry.TableReadLock(3, c.ReadLockSlot())));
  c.ReadUnlock();
  EXPECT_EQ(c.LockStates(), 0);
  EXPECT_TRUE(IsFree(geometry.TableWriteLock(3)));

  EXPECT_TRUE(c.WriteLock(true));  // took the transaction byte
  EXPECT_EQ(c.LockStates(), lsWriteLocked | lsTransLocked);
  EXPECT_FALSE(c.WriteLock(true));
  EXPECT_FALSE(c.ReadLock());
  EXPECT_FALSE(c.TransLock());
  c.WriteUnlock(false);  // keeps the transaction byte
  EXPECT_EQ(c.LockStates(), lsTransLocked);
  EXPECT_FALSE(IsFree(geometry.TableTransLock(3)));
  EXPECT_FALSE(c.WriteLock(true));  // the transaction byte was held before: not taken now
  c.WriteUnlock(true);
  EXPECT_EQ(c.LockStates(), 0);
  EXPECT_TRUE(IsFree(geometry.TableTransLock(3)));
  EXPECT_TRUE(IsFree(geometry.TableWriteLock(3)));

  EXPECT_TRUE(c.TransLock());
  EXPECT_EQ(c.LockStates(), lsTransLocked);
  c.TransUnlock();
  EXPECT_EQ(c.LockStates(), 0);
  EXPECT_TRUE(IsFree(geometry.TableTransLock(3)));
}

TEST_F(TableLocksTest, ReaderBlocksAnotherProcessWriterOfItsTableOnly) {
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataTableLocks& c = Register(OpenLocks(session, FDir.Path()), "C.dat");
    if (c.TableID() != 3 || !c.ReadLock()) return 1;
    channel.Send('r');
    if (channel.Receive() != 't') return 2;
    // The parent's failed write lock left no transaction byte behind.
    if (!c.TransLock()) return 3;
    channel.Send('t');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'r');
  TDataTableLocks& c = FLocks.Item(2);
  TDataTableLocks& d = FLocks.Item(3);
  EXPECT_EQ(EngineErrorCode([&] { c.WriteLock(true); }), CAIRN_WRITELOCK);
  EXPECT_EQ(c.LockStates(), 0);
  EXPECT_TRUE(d.WriteLock(true));  // table 4 is not affected
  d.WriteUnlock(true);
  EXPECT_TRUE(c.ReadLock());  // readers coexist
  c.ReadUnlock();
  child.Send('t');
  ASSERT_EQ(child.Receive(), 't');
  EXPECT_EQ(EngineErrorCode([&] { c.TransLock(); }), CAIRN_TRANSLOCK);
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(TableLocksTest, WriterBlocksAnotherProcessReadersUntilItUnlocks) {
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataTableLocks& c = Register(OpenLocks(session, FDir.Path()), "C.dat");
    if (!c.WriteLock(true)) return 1;
    channel.Send('w');
    if (channel.Receive() != 'u') return 2;
    c.WriteUnlock(true);
    channel.Send('u');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'w');
  TDataTableLocks& c = FLocks.Item(2);
  try {
    c.ReadLock();
    ADD_FAILURE() << "read lock granted under another process's write lock";
  } catch (const ECairnEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), CAIRN_READLOCK);
    EXPECT_EQ(error.ErrorTableName(), "C.dat");
    EXPECT_EQ(error.ErrorDatabaseName(), FDir.Path());
  }
  EXPECT_EQ(EngineErrorCode([&] { c.WriteLock(false); }), CAIRN_WRITELOCK);
  EXPECT_EQ(EngineErrorCode([&] { c.TransLock(); }), CAIRN_TRANSLOCK);
  EXPECT_EQ(c.LockStates(), 0);
  child.Send('u');
  ASSERT_EQ(child.Receive(), 'u');
  EXPECT_TRUE(c.ReadLock());
  c.ReadUnlock();
  EXPECT_TRUE(c.WriteLock(true));
  c.WriteUnlock(true);
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(TableLocksTest, SessionsOfOneProcessExcludeEachOther) {
  TDataSession& other = FEngine.StartDataSession();
  TDataTableLocks& mine = FLocks.Item(2);
  TDataTableLocks& theirs = Register(OpenLocks(other, FDir.Path()), "c.DAT");
  ASSERT_EQ(theirs.TableID(), 3);
  ASSERT_TRUE(mine.ReadLock());
  EXPECT_EQ(EngineErrorCode([&] { theirs.WriteLock(true); }), CAIRN_WRITELOCK);
  EXPECT_EQ(theirs.LockStates(), 0);
  EXPECT_TRUE(mine.TransLock());  // the failed write lock gave its transaction byte back
  mine.TransUnlock();
  mine.ReadUnlock();
  EXPECT_TRUE(theirs.WriteLock(true));
  theirs.WriteUnlock(true);
}

TEST_F(TableLocksTest, DirectoryTransactionLocksCoverEveryTable) {
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectoryLocks& locks = OpenLocks(session, FDir.Path());
    TDataTableLocks& b = Register(locks, "B.dat");
    channel.Send('o');
    if (channel.Receive() != 't') return 1;
    if (EngineErrorCode([&] { b.TransLock(); }) != CAIRN_TRANSLOCK) return 2;
    if (EngineErrorCode([&] { b.WriteLock(true); }) != CAIRN_WRITELOCK) return 3;
    if (!b.ReadLock()) return 4;  // readers pass a transaction lock
    b.ReadUnlock();
    channel.Send('t');
    if (channel.Receive() != 'w') return 5;
    if (EngineErrorCode([&] { b.ReadLock(); }) != CAIRN_READLOCK) return 6;
    channel.Send('w');
    if (channel.Receive() != 'f') return 7;
    if (!b.ReadLock() || !b.TransLock()) return 8;
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'o');
  FLocks.TransLockDataDirectory();
  for (size_t i = 0; i < FLocks.Count(); ++i) EXPECT_EQ(FLocks.Item(i).LockStates(), lsTransLocked);
  child.Send('t');
  ASSERT_EQ(child.Receive(), 't');
  FLocks.TransUnlockDataDirectory();
  FLocks.TransWriteLockDataDirectory();
  for (size_t i = 0; i < FLocks.Count(); ++i) EXPECT_EQ(FLocks.Item(i).LockStates(), lsWriteLocked);
  child.Send('w');
  ASSERT_EQ(child.Receive(), 'w');
  FLocks.TransWriteUnlockDataDirectory();
  for (size_t i = 0; i < FLocks.Count(); ++i) EXPECT_EQ(FLocks.Item(i).LockStates(), 0);
  child.Send('f');
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(TableLocksTest, ReadOnlyDirectoryTakesNoLockAndReportsSuccess) {
  TDataDirectory& directory =
      FSession.OpenDataDirectory("db", FDir.File("missing"), false, false, false);
  ASSERT_TRUE(directory.ReadOnly());
  TDataDirectoryLocks& locks = *directory.Locks();
  TDataTableLocks& a = locks.AddDataTable("A.dat");
  EXPECT_EQ(a.TableID(), 1);
  EXPECT_TRUE(a.ReadLock());
  EXPECT_TRUE(a.WriteLock(true));
  EXPECT_TRUE(a.TransLock());
  EXPECT_EQ(a.LockStates(), 0);
  EXPECT_NO_THROW(a.ReadUnlock());
  EXPECT_NO_THROW(a.WriteUnlock(true));
  EXPECT_NO_THROW(locks.TransLockDataDirectory());
  EXPECT_FALSE(locks.LockFile().IsOpen());
}

}  // namespace
}  // namespace cairn
