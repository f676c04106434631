// Which bytes of a directory's lock file stand for which lock.
//
// All locks of the lock file lie far beyond its end and are counted downward from the engine's
// lock offsets (fixed by TDataEngine::Initialize). T is a table ID (1 ... 4096), s a slot
// (1 ... 65534):
//
//   list read lock              1 byte             at FileLockByte - FileLockRange + s - 1
//   list write lock             FileLockRange      at FileLockByte - FileLockRange
//   table read lock of T        1 byte             at ReadLockByte - T * ReadLockRange + s - 1
//   table write lock of T       WriteLockRange     at WriteLockByte - T * WriteLockRange
//   transaction byte of T       1 byte             at TransLockByte - T
//   directory transaction       TransLockRange     at TransLockByte - TransLockRange
//   directory transaction write TransWriteLockRange at WriteLockByte - TransWriteLockRange
//
// ReadLockByte equals WriteLockByte, so the read slots of a table lie inside its write range:
// a writer is refused while any reader holds a slot, and a reader while the writer holds the
// range. The list locks pair up the same way. The directory transaction range covers the
// transaction bytes of all table IDs, the directory transaction write range all write ranges.
#pragma once

#include <cstdint>

namespace cairn {

class TDataEngine;

struct TLockRange {
  int64_t Offset = 0;
  int64_t Length = 0;
};

class TLockGeometry {
 public:
  // Takes the engine's current lock offsets and ranges.
  explicit TLockGeometry(const TDataEngine& engine);

  TLockRange ListReadLock(uint16_t slot) const;
  TLockRange ListWriteLock() const;
  TLockRange TableReadLock(int32_t tableID, uint16_t slot) const;
  TLockRange TableWriteLock(int32_t tableID) const;
  TLockRange TableTransLock(int32_t tableID) const;
  TLockRange DirectoryTransLock() const;
  TLockRange DirectoryTransWriteLock() const;

 private:
  int64_t FFileLockByte;
  int64_t FFileLockRange;
  int64_t FReadLockByte;
  int64_t FReadLockRange;
  int64_t FWriteLockByte;
  int64_t FWriteLockRange;
  int64_t FTransLockByte;
  int64_t FTransLockRange;
  int64_t FTransWriteLockRange;
};

}  // namespace cairn
