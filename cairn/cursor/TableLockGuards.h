// Scope guards for the table locks a cursor operation holds: released when the scope ends, also
// on the way out of an error (a failed release is swallowed there: the error in flight matters).
#pragma once

#include <cstdint>

#include "cairn/engine/table/DataTable.h"

namespace cairn {

// The table's read lock, with change detection when taken; nothing for an exclusive table.
class TTableReadLock {
 public:
  explicit TTableReadLock(TDataTable& table) : FTable(table) { table.ReadLockTable(); }
  ~TTableReadLock() {
    try {
      FTable.ReadUnlockTable();
    } catch (...) {
    }
  }
  TTableReadLock(const TTableReadLock&) = delete;
  TTableReadLock& operator=(const TTableReadLock&) = delete;

 private:
  TDataTable& FTable;
};

// The table's write lock, with change detection when taken; nothing for an exclusive table.
class TTableWriteLock {
 public:
  explicit TTableWriteLock(TDataTable& table) : FTable(table) { table.WriteLockTable(); }
  ~TTableWriteLock() {
    try {
      FTable.WriteUnlockTable();
    } catch (...) {
    }
  }
  TTableWriteLock(const TTableWriteLock&) = delete;
  TTableWriteLock& operator=(const TTableWriteLock&) = delete;

 private:
  TDataTable& FTable;
};

// The lock of one record; nothing for an exclusive table.
class TRecordLock {
 public:
  TRecordLock(TDataTable& table, int32_t number) : FTable(table), FNumber(number) {
    FHeld = !table.Exclusive() && table.LockRecord(number);
  }
  ~TRecordLock() {
    if (!FHeld) return;
    try {
      FTable.UnlockRecord(FNumber);
    } catch (...) {
    }
  }
  TRecordLock(const TRecordLock&) = delete;
  TRecordLock& operator=(const TRecordLock&) = delete;

 private:
  TDataTable& FTable;
  int32_t FNumber;
  bool FHeld = false;
};

}  // namespace cairn
