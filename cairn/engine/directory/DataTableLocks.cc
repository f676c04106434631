#include "cairn/engine/directory/DataTableLocks.h"

#include <algorithm>

#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

namespace {

constexpr size_t kMaxStoredNameLength = 255;

}  // namespace

TDataTableLocks::TDataTableLocks(TDataDirectoryLocks& owner, int32_t tableID, std::string tableName)
    : FDataDirectoryLocks(owner), FTableID(tableID), FTableName(std::move(tableName)) {}

bool TDataTableLocks::Read(std::string_view& buffer) {
  if (buffer.empty()) return false;
  const size_t length = static_cast<unsigned char>(buffer.front());
  if (length + 1 > buffer.size()) return false;
  FTableName.assign(buffer.substr(1, length));
  buffer.remove_prefix(length + 1);
  return true;
}

void TDataTableLocks::Write(std::string& buffer) const {
  const size_t length = std::min(FTableName.size(), kMaxStoredNameLength);
  buffer.push_back(static_cast<char>(length));
  buffer.append(FTableName, 0, length);
}

size_t TDataTableLocks::StoredSize() const {
  return 1 + std::min(FTableName.size(), kMaxStoredNameLength);
}

void TDataTableLocks::SetState(TLockState state, bool on) {
  FLockStates = static_cast<TLockStates>(on ? (FLockStates | state) : (FLockStates & ~state));
}

void TDataTableLocks::RaiseError(uint16_t errorCode) const {
  FDataDirectoryLocks.RaiseError(errorCode, FTableName);
}

// ---- Read lock --------------------------------------------------------------------------------

bool TDataTableLocks::ReadLock() {
  // Nothing coordinates a read-only directory: report the lock as newly taken, so that the
  // caller checks the table for changes every time.
  if (FDataDirectoryLocks.ReadOnly()) return true;
  if (FLockStates != 0) return false;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  TEngineServices& engine = FDataDirectoryLocks.DataDirectory().Engine();
  const TEngineSettings& settings = engine.Settings();
  uint16_t slot = 0;
  // Two readers collide only on the same slot; the loser picks another one.
  auto slotted = [&] {
    slot = engine.RandomSlots().Next();
    return geometry.TableReadLock(FTableID, slot);
  };
  TLockRange taken;
  if (!FDataDirectoryLocks.LockWithRetries(slotted, settings.ReadLockRetries,
                                           settings.ReadLockWaitTime, taken))
    RaiseError(CAIRN_READLOCK);
  FReadLockSlot = slot;
  SetState(lsReadLocked, true);
  return true;
}

void TDataTableLocks::ReadUnlock() {
  if (FDataDirectoryLocks.ReadOnly() || !HasState(lsReadLocked)) return;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  if (!FDataDirectoryLocks.UnlockRange(geometry.TableReadLock(FTableID, FReadLockSlot)))
    RaiseError(CAIRN_READUNLOCK);
  FReadLockSlot = 0;
  SetState(lsReadLocked, false);
}

// ---- Write lock -------------------------------------------------------------------------------

bool TDataTableLocks::WriteLock(bool takeTransByte) {
  if (FDataDirectoryLocks.ReadOnly()) return true;
  if (HasState(lsWriteLocked)) return false;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  TEngineServices& engine = FDataDirectoryLocks.DataDirectory().Engine();
  const TEngineSettings& settings = engine.Settings();
  const uint16_t tries = settings.WriteLockRetries;
  const uint16_t wait = settings.WriteLockWaitTime;
  TLockRange taken;
  bool tookTransByte = false;
  if (takeTransByte && !HasState(lsTransLocked)) {
    auto transByte = [&] { return geometry.TableTransLock(FTableID); };
    if (!FDataDirectoryLocks.LockWithRetries(transByte, tries, wait, taken))
      RaiseError(CAIRN_WRITELOCK);
    SetState(lsTransLocked, true);
    tookTransByte = true;
  }
  auto writeRange = [&] { return geometry.TableWriteLock(FTableID); };
  if (!FDataDirectoryLocks.LockWithRetries(writeRange, tries, wait, taken)) {
    // A failed write lock holds nothing it did not hold before.
    if (tookTransByte && FDataDirectoryLocks.UnlockRange(geometry.TableTransLock(FTableID)))
      SetState(lsTransLocked, false);
    RaiseError(CAIRN_WRITELOCK);
  }
  SetState(lsWriteLocked, true);
  return tookTransByte;
}

void TDataTableLocks::WriteUnlock(bool releaseTransByte) {
  if (FDataDirectoryLocks.ReadOnly() || !HasState(lsWriteLocked)) return;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  if (!FDataDirectoryLocks.UnlockRange(geometry.TableWriteLock(FTableID)))
    RaiseError(CAIRN_WRITEUNLOCK);
  SetState(lsWriteLocked, false);
  if (releaseTransByte && HasState(lsTransLocked)) {
    if (!FDataDirectoryLocks.UnlockRange(geometry.TableTransLock(FTableID)))
      RaiseError(CAIRN_WRITEUNLOCK);
    SetState(lsTransLocked, false);
  }
}

// ---- Transaction lock -------------------------------------------------------------------------

bool TDataTableLocks::TransLock() {
  if (FDataDirectoryLocks.ReadOnly()) return true;
  if (HasState(lsTransLocked)) return false;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  TEngineServices& engine = FDataDirectoryLocks.DataDirectory().Engine();
  const TEngineSettings& settings = engine.Settings();
  auto transByte = [&] { return geometry.TableTransLock(FTableID); };
  TLockRange taken;
  if (!FDataDirectoryLocks.LockWithRetries(transByte, settings.TransLockRetries,
                                           settings.TransLockWaitTime, taken))
    RaiseError(CAIRN_TRANSLOCK);
  SetState(lsTransLocked, true);
  return true;
}

void TDataTableLocks::TransUnlock() {
  if (FDataDirectoryLocks.ReadOnly() || !HasState(lsTransLocked)) return;
  const TLockGeometry& geometry = FDataDirectoryLocks.Geometry();
  if (!FDataDirectoryLocks.UnlockRange(geometry.TableTransLock(FTableID)))
    RaiseError(CAIRN_TRANSUNLOCK);
  SetState(lsTransLocked, false);
}

}  // namespace cairn
