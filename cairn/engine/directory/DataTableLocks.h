// One entry of a directory's table list and the locks of that table.
//
// The entry's position in the lock file's list is the table ID, which places the table's read
// slots, write range and transaction byte in the lock file (LockGeometry.h). An entry is stored
// as one length byte (the name length, at most 255) followed by the name's characters.
//
// The lock states say what this process's entry holds, so that each opener releases only what it
// took. In a read-only directory no lock is taken and every lock reports success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cairn/engine/table/TableLocks.h"

namespace cairn {

class TDataDirectoryLocks;

class TDataTableLocks : public TTableLocks {
 public:
  TDataTableLocks(TDataDirectoryLocks& owner, int32_t tableID, std::string tableName = {});
  TDataTableLocks(const TDataTableLocks&) = delete;
  TDataTableLocks& operator=(const TDataTableLocks&) = delete;

  // Takes the entry's name from the front of buffer and advances buffer past it; false when the
  // stored length runs past the end of buffer (a damaged list), leaving the name unchanged.
  bool Read(std::string_view& buffer);
  // Appends the stored form of the entry to buffer.
  void Write(std::string& buffer) const;
  // The number of bytes Write produces.
  size_t StoredSize() const;

  // Takes a read slot; false, doing nothing, when any lock state is already set. CAIRN_READLOCK
  // when no slot could be had within the engine's read-lock retries.
  bool ReadLock() override;
  // Releases the read slot, when held (CAIRN_READUNLOCK when the release fails).
  void ReadUnlock() override;
  // Takes the write range, and first the transaction byte when takeTransByte and it is not held
  // yet; whether it took the transaction byte. False at once when the write range is held
  // already. CAIRN_WRITELOCK on failure, which also gives back a transaction byte taken here.
  bool WriteLock(bool takeTransByte) override;
  // Releases the write range, when held, and then the transaction byte when releaseTransByte
  // (CAIRN_WRITEUNLOCK when a release fails).
  void WriteUnlock(bool releaseTransByte) override;
  // Takes the transaction byte; false when it is held already. CAIRN_TRANSLOCK on failure.
  bool TransLock();
  // Releases the transaction byte, when held (CAIRN_TRANSUNLOCK when the release fails).
  void TransUnlock();

  TDataDirectoryLocks& DataDirectoryLocks() const { return FDataDirectoryLocks; }
  int32_t TableID() const override { return FTableID; }
  const std::string& TableName() const { return FTableName; }
  TLockStates LockStates() const override { return FLockStates; }
  uint16_t ReadLockSlot() const { return FReadLockSlot; }

 private:
  friend class TDataDirectoryLocks;  // sets the states of every entry for directory-wide locks
  void SetState(TLockState state, bool on);
  [[noreturn]] void RaiseError(uint16_t errorCode) const;

  TDataDirectoryLocks& FDataDirectoryLocks;
  int32_t FTableID;
  std::string FTableName;
  TLockStates FLockStates = 0;
  uint16_t FReadLockSlot = 0;
};

}  // namespace cairn
