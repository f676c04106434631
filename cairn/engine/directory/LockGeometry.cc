#include "cairn/engine/directory/LockGeometry.h"

#include "cairn/engine/DataEngine.h"

namespace cairn {

TLockGeometry::TLockGeometry(const TDataEngine& engine)
    : FFileLockByte(engine.FileLockByte()),
      FFileLockRange(engine.FileLockRange()),
      FReadLockByte(engine.ReadLockByte()),
      FReadLockRange(engine.ReadLockRange()),
      FWriteLockByte(engine.WriteLockByte()),
      FWriteLockRange(engine.WriteLockRange()),
      FTransLockByte(engine.TransLockByte()),
      FTransLockRange(engine.TransLockRange()),
      FTransWriteLockRange(engine.TransWriteLockRange()) {}

TLockRange TLockGeometry::ListReadLock(uint16_t slot) const {
  return {FFileLockByte - FFileLockRange + slot - 1, 1};
}

TLockRange TLockGeometry::ListWriteLock() const {
  return {FFileLockByte - FFileLockRange, FFileLockRange};
}

TLockRange TLockGeometry::TableReadLock(int32_t tableID, uint16_t slot) const {
  return {FReadLockByte - tableID * FReadLockRange + slot - 1, 1};
}

TLockRange TLockGeometry::TableWriteLock(int32_t tableID) const {
  return {FWriteLockByte - tableID * FWriteLockRange, FWriteLockRange};
}

TLockRange TLockGeometry::TableTransLock(int32_t tableID) const {
  return {FTransLockByte - tableID, 1};
}

TLockRange TLockGeometry::DirectoryTransLock() const {
  return {FTransLockByte - FTransLockRange, FTransLockRange};
}

TLockRange TLockGeometry::DirectoryTransWriteLock() const {
  return {FWriteLockByte - FTransWriteLockRange, FTransWriteLockRange};
}

}  // namespace cairn
