#include "cairn/engine/io/LockGeometry.h"

namespace cairn {

TLockGeometry::TLockGeometry(int64_t fileLockByte, int32_t maximumNumRecords)
    : FFileLockByte(fileLockByte),
      FRecordLockByte(fileLockByte),
      FFileLockRange(65535),
      FTransLockRange(4096),
      FReadLockRange(65535),
      FWriteLockRange(65535),
      FTransWriteLockRange(4096 * FWriteLockRange),
      FRecordLockRange(maximumNumRecords),
      FTransLockByte(FFileLockByte - FFileLockRange),
      // Read slots lie inside the write range of the same table: that makes the byte-range locks
      // reader/writer locks.
      FReadLockByte(FTransLockByte - FTransLockRange),
      FWriteLockByte(FReadLockByte),
      FTransWriteLockByte(FReadLockByte),
      FSemaphoreLockByte(FRecordLockByte - FRecordLockRange),
      FSemaphoreLockRange(1024) {}

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
