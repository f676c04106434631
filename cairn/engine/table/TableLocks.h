// A table's entry in its directory's lock file, as the table uses it.
//
// The directory's lock file implements it (TDataTableLocks); the table takes and releases its
// read and write locks through it while it is open shared.
#pragma once

#include <cstdint>

namespace cairn {

enum TLockState : uint8_t { lsReadLocked = 1, lsWriteLocked = 2, lsTransLocked = 4 };
using TLockStates = uint8_t;

class TTableLocks {
 public:
  virtual ~TTableLocks() = default;

  // The entry's position in the directory's table list.
  virtual int32_t TableID() const = 0;
  // What this process's entry holds.
  virtual TLockStates LockStates() const = 0;
  bool HasState(TLockState state) const { return (LockStates() & state) != 0; }

  // Takes a read slot; false, doing nothing, when any lock state is already set.
  virtual bool ReadLock() = 0;
  virtual void ReadUnlock() = 0;
  // Takes the write range (and the transaction byte when takeTransByte); whether it took the
  // transaction byte.
  virtual bool WriteLock(bool takeTransByte) = 0;
  virtual void WriteUnlock(bool releaseTransByte) = 0;
};

}  // namespace cairn
