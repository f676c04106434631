// Which bytes of a lock file and of a data file stand for which lock.
//
// Every lock lies far beyond the end of its file and is counted downward from FileLockByte,
// which LargeFileSupport fixes at Initialize (2^32 - 1, or 2^63 - 1 with large files).
//
// Lock file of a directory. T is a table ID (1 ... 4096), s a slot (1 ... 65534):
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
//
// Data file of a table. n is a record number (1 ... RecordLockRange), m a semaphore
// (1 ... SemaphoreLockRange):
//
//   record lock of n            1 byte             at RecordLockByte - n
//   whole-table lock            RecordLockRange    at RecordLockByte - RecordLockRange
//   semaphore m                 1 byte             at SemaphoreLockByte - m
#pragma once

#include <cstdint>

namespace cairn {

struct TLockRange {
  int64_t Offset = 0;
  int64_t Length = 0;
};

class TLockGeometry {
 public:
  // The geometry below fileLockByte for tables of at most maximumNumRecords records.
  TLockGeometry(int64_t fileLockByte, int32_t maximumNumRecords);

  TLockRange ListReadLock(uint16_t slot) const;
  TLockRange ListWriteLock() const;
  TLockRange TableReadLock(int32_t tableID, uint16_t slot) const;
  TLockRange TableWriteLock(int32_t tableID) const;
  TLockRange TableTransLock(int32_t tableID) const;
  TLockRange DirectoryTransLock() const;
  TLockRange DirectoryTransWriteLock() const;

  int64_t FileLockByte() const { return FFileLockByte; }
  int64_t RecordLockByte() const { return FRecordLockByte; }
  int64_t FileLockRange() const { return FFileLockRange; }
  int64_t TransLockRange() const { return FTransLockRange; }
  int64_t ReadLockRange() const { return FReadLockRange; }
  int64_t WriteLockRange() const { return FWriteLockRange; }
  int64_t TransWriteLockRange() const { return FTransWriteLockRange; }
  int64_t RecordLockRange() const { return FRecordLockRange; }
  int64_t TransLockByte() const { return FTransLockByte; }
  int64_t ReadLockByte() const { return FReadLockByte; }
  int64_t WriteLockByte() const { return FWriteLockByte; }
  int64_t TransWriteLockByte() const { return FTransWriteLockByte; }
  int64_t SemaphoreLockByte() const { return FSemaphoreLockByte; }
  int64_t SemaphoreLockRange() const { return FSemaphoreLockRange; }

 private:
  int64_t FFileLockByte;
  int64_t FRecordLockByte;
  int64_t FFileLockRange;
  int64_t FTransLockRange;
  int64_t FReadLockRange;
  int64_t FWriteLockRange;
  int64_t FTransWriteLockRange;
  int64_t FRecordLockRange;
  int64_t FTransLockByte;
  int64_t FReadLockByte;
  int64_t FWriteLockByte;
  int64_t FTransWriteLockByte;
  int64_t FSemaphoreLockByte;
  int64_t FSemaphoreLockRange;
};

}  // namespace cairn
