#include "cairn/engine/directory/DataDirectoryLocks.h"

#include <algorithm>

#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

namespace {

constexpr int64_t kListHeaderSize = 8;  // update count and list size
// The most entry bytes a list of kMaxDataTables entries can hold.
constexpr int64_t kMaxEntryBytes = static_cast<int64_t>(kMaxDataTables) * 256;

int32_t NextUpdateCount(int32_t count) {
  return count == INT32_MAX ? 1 : count + 1;
}

}  // namespace

TDataDirectoryLocks::TDataDirectoryLocks(TDataDirectory& directory)
    : FDataDirectory(directory), FGeometry(directory.Engine().LockGeometry()) {
  FLockFile = std::make_unique<TEngineFile>(
      Engine(), directory.Directory() + Engine().Settings().LockFileName);
  FLockFile->SetInMemory(directory.InMemory());
  FLockFile->SetHidden(true);
  FLockFile->SetDatabaseName(directory.ProperDataDirectoryName());
}

// The lock file's handle is given back by its own destructor; the file stays on disk.
TDataDirectoryLocks::~TDataDirectoryLocks() = default;

TEngineServices& TDataDirectoryLocks::Engine() const {
  return FDataDirectory.Engine();
}

void TDataDirectoryLocks::RaiseError(uint16_t errorCode, const std::string& tableName) const {
  TEngineErrorContext context;
  context.DatabaseName = FDataDirectory.ProperDataDirectoryName();
  context.TableName = tableName;
  Engine().RaiseError(errorCode, context);
}

// ---- Opening ----------------------------------------------------------------------------------

void TDataDirectoryLocks::Open() {
  if (!FLockFile->Exists() && !CreateLockFile()) FReadOnly = true;
  FLockFile->SetExclusive(false);
  const TDirectorySession& session = FDataDirectory.DataSession();
  const int attempts = std::max(1, session.LockFileOpenAttempts());
  // Another process may hold the file exclusively while it creates it: try again a while.
  for (int attempt = 0; attempt < attempts && FLockFile->Exists(); ++attempt) {
    if (attempt > 0) host::SleepMs(session.LockFileOpenWait());
    if (OpenShared()) break;
    if (RenewShortLockFile() && OpenShared()) break;
  }
  // A missing, unwritable or unreadable directory is simply read-only; writes into it fail
  // later with 11013.
  if (!FLockFile->IsOpen()) FReadOnly = true;
}

bool TDataDirectoryLocks::CreateLockFile() {
  try {
    WriteNewLockFile();
    return true;
  } catch (...) {
    // No error at open: a directory whose lock file cannot be made is read-only.
    return false;
  }
}

void TDataDirectoryLocks::WriteNewLockFile() {
  bool created = false;
  // Nothing half-made stays behind: neither entries that no file holds nor a file whose list
  // was never written (which would make every later open fail).
  TScopeGuard undo([&] {
    FDataTableLocksList.clear();
    FUpdateCount = 0;
    FListRead = false;
    FLockFile->CloseFile();
    if (created) FLockFile->DeleteFile();
  });
  FLockFile->SetExclusive(true);
  FLockFile->CreateFile();
  created = true;
  FUpdateCount = 0;
  SeedList();
  WriteList();
  FLockFile->CloseFile();
  undo.Dismiss();
}

bool TDataDirectoryLocks::RenewShortLockFile() {
  FLockFile->SetExclusive(true);
  TScopeGuard shared([&] { FLockFile->SetExclusive(false); });
  try {
    TScopeGuard close([&] { FLockFile->CloseFile(); });
    // Held exclusively, the file is open nowhere else: nobody relies on its table IDs.
    FLockFile->OpenFile();
    if (FLockFile->ReadOnly() || FLockFile->MarkedReadOnly() || !ListIsShort()) return false;
    TScopeGuard forget([&] {
      FDataTableLocksList.clear();
      FUpdateCount = 0;
      FListRead = false;
    });
    FReadOnly = false;
    FLockFile->Seek(0, kSeekBegin);
    FLockFile->Write(nullptr, 0);  // ends the file at 0
    FUpdateCount = 0;
    SeedList();
    WriteList();
    FLockFile->CloseFile();
    forget.Dismiss();
    return true;
  } catch (...) {
    // Still short: the next opener tries again; this one goes on as with any failed attempt.
    return false;
  }
}

bool TDataDirectoryLocks::ListIsShort() {
  TEngineFileLock section(*FLockFile);
  const int64_t size = FLockFile->GetSize();
  if (size < kListHeaderSize) return true;
  char header[kListHeaderSize];
  FLockFile->Seek(0, kSeekBegin);
  FLockFile->Read(header, kListHeaderSize);
  const int64_t listSize = DecodeInt32(header + 4);
  return listSize >= 4 && listSize - 4 <= kMaxEntryBytes && size < 4 + listSize;
}

void TDataDirectoryLocks::SeedList() {
  std::vector<std::string> names;
  FDataDirectory.ListTableNames(names);
  if (names.size() > kMaxDataTables) names.resize(kMaxDataTables);
  for (const std::string& name : names) AppendEntry(name);
}

bool TDataDirectoryLocks::OpenShared() {
  try {
    TScopeGuard close([&] { FLockFile->CloseFile(); });
    FLockFile->OpenFile();
    FReadOnly = FLockFile->ReadOnly() || FLockFile->MarkedReadOnly();
    if (!FListRead) {
      ReadLockList();
      TScopeGuard unlock([&] { ReadUnlockList(); });
      RefreshList();
      unlock.Dismiss();
      ReadUnlockList();
    }
    close.Dismiss();
    return true;
  } catch (...) {
    // A failed attempt is no error: Open tries again or leaves the directory read-only.
    return false;
  }
}

// ---- The table list ---------------------------------------------------------------------------

TDataTableLocks& TDataDirectoryLocks::AppendEntry(const std::string& tableName) {
  const auto tableID = static_cast<int32_t>(FDataTableLocksList.size() + 1);
  FDataTableLocksList.push_back(std::make_unique<TDataTableLocks>(*this, tableID, tableName));
  return *FDataTableLocksList.back();
}

void TDataDirectoryLocks::WriteList() {
  if (FReadOnly) return;
  std::string buffer(kListHeaderSize, '\0');
  for (const auto& entry : FDataTableLocksList) entry->Write(buffer);
  const int32_t count = NextUpdateCount(FUpdateCount);
  EncodeInt32(buffer.data(), count);
  EncodeInt32(buffer.data() + 4, static_cast<int32_t>(buffer.size() - 4));
  TEngineFileLock section(*FLockFile);
  FLockFile->Seek(0, kSeekBegin);
  FLockFile->Write(buffer.data(), static_cast<int64_t>(buffer.size()));
  FLockFile->Flush();
  FUpdateCount = count;
  FListRead = true;
}

void TDataDirectoryLocks::RefreshList() {
  if (FReadOnly) return;
  const std::string lockFileName = Engine().Settings().LockFileName;
  auto corrupt = [&]() { RaiseError(CAIRN_HEADERCORRUPT, lockFileName); };
  TEngineFileLock section(*FLockFile);
  FLockFile->Seek(0, kSeekBegin);
  char header[kListHeaderSize];
  const int64_t got = FLockFile->Read(header, kListHeaderSize, true);
  if (got < 4) corrupt();
  const int32_t count = DecodeInt32(header);
  if (FListRead && count == FUpdateCount) return;
  if (got < kListHeaderSize) corrupt();
  const int64_t entryBytes = static_cast<int64_t>(DecodeInt32(header + 4)) - 4;
  if (entryBytes < 0 || entryBytes > kMaxEntryBytes) corrupt();
  std::string entries(static_cast<size_t>(entryBytes), '\0');
  if (FLockFile->Read(entries.data(), entryBytes, true) != entryBytes) corrupt();

  // The entries this process knows must still be there unchanged: they fix the table IDs.
  std::string known;
  for (const auto& entry : FDataTableLocksList) entry->Write(known);
  if (entries.compare(0, known.size(), known) != 0) corrupt();
  std::string_view rest(entries);
  rest.remove_prefix(known.size());
  std::vector<std::unique_ptr<TDataTableLocks>> added;
  while (!rest.empty()) {
    if (FDataTableLocksList.size() + added.size() >= kMaxDataTables) corrupt();
    const auto tableID = static_cast<int32_t>(FDataTableLocksList.size() + added.size() + 1);
    auto entry = std::make_unique<TDataTableLocks>(*this, tableID);
    if (!entry->Read(rest)) corrupt();
    added.push_back(std::move(entry));
  }
  for (auto& entry : added) FDataTableLocksList.push_back(std::move(entry));
  FUpdateCount = count;
  FListRead = true;
}

int TDataDirectoryLocks::FindDataTable(const std::string& tableName) const {
  for (size_t i = 0; i < FDataTableLocksList.size(); ++i) {
    if (host::AnsiSameText(FDataTableLocksList[i]->TableName(), tableName))
      return static_cast<int>(i);
  }
  return -1;
}

void TDataDirectoryLocks::CheckTableLimit() const {
  if (FDataTableLocksList.size() >= kMaxDataTables) RaiseError(CAIRN_DATABASEFULL);
}

TDataTableLocks& TDataDirectoryLocks::AddDataTable(const std::string& tableName) {
  WriteLockList();
  TScopeGuard unlock([&] { WriteUnlockList(); });
  TDataTableLocks* entry = nullptr;
  RefreshList();
  const int index = FindDataTable(tableName);
  if (index >= 0) {
    entry = FDataTableLocksList[static_cast<size_t>(index)].get();
  } else {
    CheckTableLimit();
    entry = &AppendEntry(tableName);
    TScopeGuard drop([&] { FDataTableLocksList.pop_back(); });  // the file does not hold it
    WriteList();
    drop.Dismiss();
  }
  unlock.Dismiss();
  WriteUnlockList();
  return *entry;
}

// ---- Locks ------------------------------------------------------------------------------------

bool TDataDirectoryLocks::LockWithRetries(const std::function<TLockRange()>& nextRange,
                                          uint16_t tries, uint16_t waitMs, TLockRange& taken) {
  const int count = std::max<int>(1, tries);
  for (int i = 0; i < count; ++i) {
    if (i > 0) host::SleepMs(waitMs);
    const TLockRange range = nextRange();
    if (FLockFile->LockRegion(range.Offset, range.Length, true)) {
      taken = range;
      return true;
    }
  }
  return false;
}

bool TDataDirectoryLocks::UnlockRange(const TLockRange& range) {
  return FLockFile->LockRegion(range.Offset, range.Length, false);
}

void TDataDirectoryLocks::ReadLockList() {
  if (FReadOnly) return;
  TEngineServices& engine = Engine();
  const TEngineSettings& settings = engine.Settings();
  TLockRange taken;
  uint16_t slot = 0;
  // Two readers collide only on the same slot; the loser picks another one.
  auto slotted = [&] {
    slot = engine.RandomSlots().Next();
    return FGeometry.ListReadLock(slot);
  };
  if (!LockWithRetries(slotted, settings.ReadLockRetries, settings.ReadLockWaitTime, taken))
    RaiseError(CAIRN_LOCKREADLOCK);
  FLockSlot = slot;
}

void TDataDirectoryLocks::ReadUnlockList() {
  if (FReadOnly || FLockSlot == 0) return;
  const TLockRange range = FGeometry.ListReadLock(FLockSlot);
  if (!UnlockRange(range)) RaiseError(CAIRN_LOCKREADUNLOCK);
  FLockSlot = 0;
}

void TDataDirectoryLocks::WriteLockList() {
  if (FReadOnly) return;
  const TEngineSettings& settings = Engine().Settings();
  TLockRange taken;
  auto whole = [&] { return FGeometry.ListWriteLock(); };
  if (!LockWithRetries(whole, settings.WriteLockRetries, settings.WriteLockWaitTime, taken))
    RaiseError(CAIRN_LOCKWRITELOCK);
}

void TDataDirectoryLocks::WriteUnlockList() {
  if (FReadOnly) return;
  if (!UnlockRange(FGeometry.ListWriteLock())) RaiseError(CAIRN_LOCKWRITEUNLOCK);
}

void TDataDirectoryLocks::TransLockDataDirectory() {
  if (FReadOnly) return;
  const TEngineSettings& settings = Engine().Settings();
  TLockRange taken;
  auto whole = [&] { return FGeometry.DirectoryTransLock(); };
  if (!LockWithRetries(whole, settings.TransLockRetries, settings.TransLockWaitTime, taken))
    RaiseError(CAIRN_TRANSLOCK);
  for (const auto& entry : FDataTableLocksList) entry->SetState(lsTransLocked, true);
}

void TDataDirectoryLocks::TransUnlockDataDirectory() {
  if (FReadOnly) return;
  if (!UnlockRange(FGeometry.DirectoryTransLock())) RaiseError(CAIRN_TRANSUNLOCK);
  for (const auto& entry : FDataTableLocksList) entry->SetState(lsTransLocked, false);
}

void TDataDirectoryLocks::TransWriteLockDataDirectory() {
  if (FReadOnly) return;
  const TEngineSettings& settings = Engine().Settings();
  TLockRange taken;
  auto whole = [&] { return FGeometry.DirectoryTransWriteLock(); };
  if (!LockWithRetries(whole, settings.WriteLockRetries, settings.WriteLockWaitTime, taken))
    RaiseError(CAIRN_TRANSLOCK);
  for (const auto& entry : FDataTableLocksList) entry->SetState(lsWriteLocked, true);
}

void TDataDirectoryLocks::TransWriteUnlockDataDirectory() {
  if (FReadOnly) return;
  if (!UnlockRange(FGeometry.DirectoryTransWriteLock())) RaiseError(CAIRN_TRANSUNLOCK);
  for (const auto& entry : FDataTableLocksList) entry->SetState(lsWriteLocked, false);
}

}  // namespace cairn
