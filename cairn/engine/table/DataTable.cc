#include "cairn/engine/table/DataTable.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "cairn/engine/index/TextIndexParams.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/System.h"

namespace cairn {
namespace {

// Runs a clean-up step whose own failure must not hide the failure being handled.
template <typename F>
void Quietly(F&& step) {
  try {
    step();
  } catch (...) {
    // The failure being handled (or the close under way) is the one to report.
  }
}

bool IsSet(const std::vector<bool>& bits, int64_t n) {
  return n >= 0 && static_cast<size_t>(n) < bits.size() && bits[static_cast<size_t>(n)];
}

void SetBit(std::vector<bool>& bits, int64_t n, bool on) {
  if (n < 0) return;
  const auto at = static_cast<size_t>(n);
  if (at >= bits.size()) {
    if (!on) return;
    // Grown in whole steps of the initial size, so that long runs of records grow it rarely.
    const size_t step = TDataTable::kInitialRecordLockBits;
    bits.resize((at / step + 1) * step, false);
  }
  bits[at] = on;
}

// Runs every step of a clean-up and raises the first failure at the end.
class TFirstFailure {
 public:
  template <typename F>
  void Run(F&& step) {
    try {
      step();
    } catch (...) {
      if (!FFailure) FFailure = std::current_exception();
    }
  }
  bool Failed() const { return FFailure != nullptr; }
  void RaiseIfFailed() const {
    if (FFailure) std::rethrow_exception(FFailure);
  }

 private:
  std::exception_ptr FFailure;
};

// The full-text parameters a new table gets: those given, the engine's defaults for the rest.
TTextIndexParams TextIndexParamsOf(const TTableCreateParams& params) {
  TTextIndexParams text = GetDefaultTextIndexParams();
  if (params.TextIndexStopWords) text.StopWords = *params.TextIndexStopWords;
  if (params.TextIndexSpaceChars.any()) text.SpaceChars = params.TextIndexSpaceChars;
  if (params.TextIndexIncludeChars.any()) text.IncludeChars = params.TextIndexIncludeChars;
  return text;
}

}  // namespace

TDataTable::TDataTable(TTableDirectory& directory, std::string tableName,
                       std::string errorTableName)
    : FDataDirectory(directory),
      FTableName(std::move(tableName)),
      FErrorTableName(std::move(errorTableName)),
      FRecordLocks(kInitialRecordLockBits, false),
      FTransactionRecordLocks(kInitialRecordLockBits, false),
      FSemaphoreLocks(
          static_cast<size_t>(directory.Engine().LockGeometry().SemaphoreLockRange()) + 1, false),
      FDataFile(std::make_unique<TDataFile>(directory.Engine(), this)),
      FIndexFile(std::make_unique<TIndexFile>(directory.Engine(), this)),
      FBlobFile(std::make_unique<TBlobFile>(directory.Engine(), this)) {}

TDataTable::~TDataTable() {
  if (!FIsOpen) return;
  // Nothing may be lost because the table was freed before it was closed.
  if (FExclusive && !FReadOnly) Quietly([&] { FlushBuffers(false, false, false, false, false); });
  Quietly([&] { ReleaseLocks(); });
  Quietly([&] { CloseFiles(); });
}

void TDataTable::IncUseCount() {
  ++FUseCount;
}

void TDataTable::DecUseCount() {
  if (FUseCount > 0) --FUseCount;
}

bool TDataTable::HasBlobFields() const {
  return FDataFile->GetHeader().BlobFieldCount > 0;
}

std::string TDataTable::ProperTableName() const {
  return FErrorTableName.empty() ? FTableName : FErrorTableName;
}

std::string TDataTable::DatabaseName() const {
  return FDataDirectory.ProperDataDirectoryName();
}

bool TDataTable::ForceBufferFlush() const {
  return Session().ForceBufferFlush();
}

bool TDataTable::StrictChangeDetection() const {
  return Session().StrictChangeDetection();
}

const TCipher* TDataTable::Cipher() const {
  if (FCreationKey) return FCreationKey.get();
  return FDataFile->TableKey();
}

void TDataTable::RaiseError(uint16_t errorCode) const {
  TEngineErrorContext context;
  context.DatabaseName = DatabaseName();
  context.TableName = ProperTableName();
  FDataDirectory.Engine().RaiseError(errorCode, context);
}

// ---- Creation -----------------------------------------------------------------------------------

void TDataTable::AssignTableParams(bool useTemporary, bool resultSet) {
  const TEngineSettings& settings = FDataDirectory.Engine().Settings();
  const std::string extension = host::ExtractFileExt(FTableName);
  const std::string base =
      FDataDirectory.Directory() + FTableName.substr(0, FTableName.size() - extension.size());
  struct TFileParams {
    TBufferedFile& File;
    const std::string& Extension;
  } files[] = {
      {*FDataFile, FTemporary ? settings.DataTempExtension : settings.DataExtension},
      {*FIndexFile, FTemporary ? settings.IndexTempExtension : settings.IndexExtension},
      {*FBlobFile, FTemporary ? settings.BlobTempExtension : settings.BlobExtension},
  };
  for (TFileParams& f : files) {
    f.File.SetFileName(base + f.Extension);
    f.File.SetDatabaseName(DatabaseName());
    f.File.SetExclusive(FExclusive);
    f.File.SetReadOnly(FReadOnly);
    f.File.SetInMemory(FDataDirectory.InMemory());
    f.File.SetTemporary(FTemporary && useTemporary);
  }
  FIndexFile->SetBufferAll(resultSet && !FDataDirectory.InMemory());
}

void TDataTable::CreateTable(const TTableCreateParams& params, bool resultSet) {
  IncUseCount();
  FIsOpen = true;
  AssignTableParams(false, resultSet);
  bool dataCreated = false, indexCreated = false, blobCreated = false;
  TScopeGuard undo([&] {
    // Only files this creation made are removed: a file that another process held open was
    // never replaced and stays as it is.
    auto drop = [](TBufferedFile& file, bool created) {
      Quietly([&] { file.CloseFile(); });
      if (created) Quietly([&] { file.DeleteFile(); });
    };
    drop(*FBlobFile, blobCreated);
    drop(*FIndexFile, indexCreated);
    drop(*FDataFile, dataCreated);
    FCreationKey.reset();
    FDataPassword = nullptr;
    FIsOpen = false;
    DecUseCount();
  });
  // The data file is the table's claim: it is made only if no other creator got there first, so
  // that a table another process has just created is never taken over.
  FDataFile->SetCreateOnlyNew(!params.ReplaceExisting);
  FDataFile->CreateFile();
  dataCreated = true;
  CreateDataFile(params);
  // The index file's page size and key checks come from the data file.
  HandFieldsToIndexFile();
  FIndexFile->CreateFile();
  indexCreated = true;
  CreateIndexFile(params);
  if (HasBlobFields()) {
    FBlobFile->SetBlobBlockSize(FDataFile->GetHeader().BlobBlockSize);
    FBlobFile->CreateFile();
    blobCreated = true;
    CreateBlobFile();
  }
  undo.Dismiss();
}

void TDataTable::CreateDataFile(const TTableCreateParams& params) {
  TMD5Digest checkValue;
  if (params.Encrypted) {
    TTableSession& session = Session();
    session.AddPassword(params.Password);
    FDataPassword = session.FindPassword(params.Password);
    const TMD5Digest digest = MD5Digest(params.Password);
    checkValue = TDataFile::PasswordCheckValue(FDataDirectory.Engine(), digest);
    FCreationKey = FDataDirectory.Engine().CryptoInit(digest.Bytes.data(), digest.Bytes.size());
  }
  FDataFile->UpdateHeader(params.LocaleID, params.UserMajorVersion, params.UserMinorVersion,
                          params.Encrypted, checkValue, params.Description, params.IndexPageSize,
                          params.BlobBlockSize, params.LastAutoIncValue);
  FDataFile->SetFieldDefinitions(params.Fields);
  FDataFile->WriteHeader(true);
  FDataFile->WriteFieldDefinitions();
  FDataFile->InitializeBuffers();
}

void TDataTable::CreateIndexFile(const TTableCreateParams& params) {
  FIndexFile->AddPrimaryIndex(params.PrimaryIndex);
  for (const TIndexDefinition& secondary : params.SecondaryIndexes) {
    FIndexFile->AddSecondaryIndex(secondary);
  }
  FIndexFile->SetIndexDefinition(idx::kTextSlot, params.TextIndex);
  FIndexFile->WriteHeader(true);
  FIndexFile->WriteIndexDefinitions();
  FIndexFile->InitializeBuffers();
  // The parameter pages stay in the cache until the table is flushed.
  FIndexFile->WriteTextIndexParams(TextIndexParamsOf(params));
}

void TDataTable::CreateBlobFile() {
  FBlobFile->WriteHeader(true);
  FBlobFile->InitializeBuffers();
}

void TDataTable::HandFieldsToIndexFile() {
  const TDataHeader& header = FDataFile->GetHeader();
  std::vector<TFieldDefinition> fields;
  fields.reserve(header.FieldCount);
  for (int32_t pos = 1; pos <= FDataFile->FieldCount(); ++pos) {
    fields.push_back(*FDataFile->GetFieldDefinitionByPos(pos));
  }
  FIndexFile->SetFieldDefinitions(std::move(fields));
  FIndexFile->SetPageSize(header.IndexPageSize);
}

// ---- Open and close -----------------------------------------------------------------------------

void TDataTable::OpenTable(bool systemOpen, bool headerChecks) {
  if (!systemOpen) IncUseCount();
  if (FIsOpen) return;
  TScopeGuard undo([&] {
    Quietly([&] { ReleaseLocks(); });
    Quietly([&] { CloseFiles(); });
    if (!systemOpen) DecUseCount();
  });
  FMissingIndex = false;
  FIsOpen = true;
  AssignTableParams(true, false);
  FDataFile->OpenFile(&Session());
  FDataPassword = FDataFile->DataPassword();
  HandFieldsToIndexFile();
  OpenIndexFile();
  if (HasBlobFields()) {
    const int32_t blockSize = FDataFile->GetHeader().BlobBlockSize;
    if (blockSize < TBlobFile::kMinBlockSize || blockSize > TBlobFile::kMaxBlockSize) {
      RaiseError(CAIRN_HEADERCORRUPT);
    }
    FBlobFile->SetBlobBlockSize(blockSize);
    FBlobFile->OpenFile();
  }
  TakeReadOnlyFlags();
  if (!FExclusive && !FMarkedReadOnly) FDataTableLocks = FDataDirectory.AddTableLocks(FTableName);
  const bool locked = FDataTableLocks != nullptr && FDataTableLocks->ReadLock();
  {
    TScopeGuard unlock([&] {
      if (locked) FDataTableLocks->ReadUnlock();
    });
    ReadHeaders();
    if (headerChecks) CheckHeaders();
    unlock.Dismiss();
  }
  if (locked) FDataTableLocks->ReadUnlock();
  undo.Dismiss();
}

void TDataTable::OpenIndexFile() {
  try {
    FIndexFile->OpenFile();
  } catch (const ECairnEngineError& error) {
    if (error.ErrorCode() != CAIRN_OSENOENT && error.ErrorCode() != CAIRN_READERR) throw;
    FMissingIndex = true;
    RecreateIndexFile();
  }
}

// A missing or unreadable index file is replaced by one that holds only the automatic primary
// index and an empty full-text index, so that the table opens and can be repaired.
void TDataTable::RecreateIndexFile() {
  Quietly([&] { FIndexFile->CloseFile(); });
  FIndexFile->CreateFile();
  FIndexFile->AddPrimaryIndex(TIndexDefinition::AutomaticPrimary());
  FIndexFile->SetIndexDefinition(idx::kTextSlot, TIndexFile::TextIndexDefinition({}));
  FIndexFile->WriteHeader(true);
  FIndexFile->WriteIndexDefinitions();
  FIndexFile->CloseFile();
  FIndexFile->OpenFile();
}

void TDataTable::TakeReadOnlyFlags() {
  bool readOnly = FDataFile->ReadOnly() || FIndexFile->ReadOnly();
  bool marked = FDataFile->MarkedReadOnly() || FIndexFile->MarkedReadOnly();
  if (FBlobFile->IsOpen()) {
    readOnly = readOnly || FBlobFile->ReadOnly();
    marked = marked || FBlobFile->MarkedReadOnly();
  }
  FMarkedReadOnly = marked;
  FReadOnly = FReadOnly || readOnly || marked;
}

void TDataTable::ReadHeaders() {
  FDataFile->ReadHeader();
  FIndexFile->ReadHeader();
  if (HasBlobFields()) FBlobFile->ReadHeader();
}

void TDataTable::CheckHeaders() {
  FDataFile->CheckHeader();
  // A re-created index file does not describe the table's indexes yet.
  if (!FMissingIndex) FIndexFile->CheckHeader();
  if (HasBlobFields()) FBlobFile->CheckHeader();
}

void TDataTable::CloseTable(bool freeIfTemporary, bool systemClose) {
  if (!FIsOpen) return;
  if (!systemClose) DecUseCount();
  if (FInTransaction || FUseCount > 0) return;
  // A pending transaction would be rolled back here; transactions do not exist yet.
  TFirstFailure failure;
  if (FExclusive && !FReadOnly) {
    failure.Run([&] {
      if (FTemporary && freeIfTemporary) {
        FreeBuffers(false, false, false);
      } else {
        FlushBuffers(true, false, false, false, false);
      }
    });
  }
  failure.Run([&] { ReleaseLocks(); });
  if (FDataDirectory.KeepTablesOpen() && !systemClose && !FExclusive && !failure.Failed()) return;
  failure.Run([&] { CloseFiles(); });
  failure.RaiseIfFailed();
}

void TDataTable::ReleaseLocks() {
  TFirstFailure failure;
  failure.Run([&] { UnlockAll(); });
  failure.Run([&] { UnlockAllSemaphores(); });
  if (FDataTableLocks != nullptr) {
    failure.Run([&] { FDataTableLocks->ReadUnlock(); });
    failure.Run([&] { FDataTableLocks->WriteUnlock(true); });
  }
  failure.RaiseIfFailed();
}

void TDataTable::CloseFiles() {
  TFirstFailure failure;
  failure.Run([&] { FIndexFile->CloseFile(); });
  failure.Run([&] { FBlobFile->CloseFile(); });
  failure.Run([&] { FDataFile->CloseFile(); });
  FDataTableLocks = nullptr;
  FCreationKey.reset();
  FDataPassword = nullptr;
  FMissingIndex = false;
  FWrittenTo = false;
  FIsOpen = false;
  failure.RaiseIfFailed();
}

// ---- Lock-file locks ----------------------------------------------------------------------------

bool TDataTable::ReadLockTable() {
  if (FDataTableLocks == nullptr || FTableLock) return false;
  if (!FDataTableLocks->ReadLock()) return false;
  return PerformChangeDetection();
}

void TDataTable::ReadUnlockTable() {
  if (FDataTableLocks == nullptr || FTableLock) return;
  FDataTableLocks->ReadUnlock();
}

bool TDataTable::WriteLockTable() {
  if (FDataTableLocks == nullptr || FTableLock) return false;
  if (!FDataTableLocks->WriteLock(!FInTransaction)) return false;
  return PerformChangeDetection();
}

void TDataTable::WriteUnlockTable() {
  if (FDataTableLocks == nullptr || FTableLock) return;
  FDataTableLocks->WriteUnlock(!FInTransaction);
}

// ---- Data-file locks ----------------------------------------------------------------------------

bool TDataTable::LockWithRetries(const std::function<bool()>& tryLock) {
  const TTableSession& session = Session();
  for (int retry = 0;; ++retry) {
    if (tryLock()) return true;
    if (retry >= session.LockRetries()) return false;
    host::SleepMs(session.LockWait());
  }
}

bool TDataTable::LockRecord(int32_t number) {
  if (FTableLock) return false;
  if (number < 1 || IsSet(FRecordLocks, number)) RaiseError(CAIRN_RECLOCKFAILED);
  if (FInTransaction && IsSet(FTransactionRecordLocks, number)) {
    SetBit(FRecordLocks, number, true);
    return true;
  }
  const bool detectChanges = !StrictChangeDetection();
  const bool locked = LockWithRetries([&] {
    // The read lock is held only around the try: long enough for change detection to see the
    // table as the holder of the record left it.
    const bool readLockHeld = FDataTableLocks != nullptr && FDataTableLocks->HasState(lsReadLocked);
    if (detectChanges) ReadLockTable();
    const bool got = FDataFile->LockRecord(number);
    if (detectChanges && !readLockHeld) ReadUnlockTable();
    return got;
  });
  if (!locked) RaiseError(CAIRN_RECLOCKFAILED);
  SetBit(FRecordLocks, number, true);
  return true;
}

void TDataTable::UnlockRecord(int32_t number) {
  if (!IsSet(FRecordLocks, number)) return;
  if (!FDataFile->UnlockRecord(number)) RaiseError(CAIRN_UNLOCKFAILED);
  SetBit(FRecordLocks, number, false);
}

bool TDataTable::RecordLocked(int32_t number) const {
  return IsSet(FRecordLocks, number);
}

void TDataTable::LockTable() {
  const bool anyRecord =
      std::find(FRecordLocks.begin(), FRecordLocks.end(), true) != FRecordLocks.end();
  if (FTableLock || anyRecord) RaiseError(CAIRN_LOCKED);
  if (!(FInTransaction && FTransactionTableLock)) {
    if (!LockWithRetries([&] { return FDataFile->LockTable(); })) RaiseError(CAIRN_LOCKED);
    if (FDataTableLocks == nullptr || FDataTableLocks->LockStates() == 0) {
      TScopeGuard unlock([&] { FDataFile->UnlockTable(); });
      PerformChangeDetection();
      unlock.Dismiss();
    }
  }
  FTableLock = true;
}

void TDataTable::UnlockTable() {
  if (!FTableLock) return;
  if (!FDataFile->UnlockTable()) RaiseError(CAIRN_UNLOCKFAILED);
  FTableLock = false;
}

bool TDataTable::LockSemaphore(int32_t number) {
  if (number < 1 || number > FDataDirectory.Engine().LockGeometry().SemaphoreLockRange()) {
    return false;
  }
  if (IsSet(FSemaphoreLocks, number)) return false;
  if (!FDataFile->LockSemaphore(number)) return false;
  SetBit(FSemaphoreLocks, number, true);
  return true;
}

void TDataTable::UnlockSemaphore(int32_t number) {
  if (!IsSet(FSemaphoreLocks, number)) return;
  if (!FDataFile->UnlockSemaphore(number)) RaiseError(CAIRN_UNLOCKFAILED);
  SetBit(FSemaphoreLocks, number, false);
}

bool TDataTable::SemaphoreLocked(int32_t number) const {
  return IsSet(FSemaphoreLocks, number);
}

void TDataTable::UnlockAll() {
  TFirstFailure failure;
  for (size_t n = 1; n < FRecordLocks.size(); ++n) {
    if (FRecordLocks[n]) failure.Run([&] { UnlockRecord(static_cast<int32_t>(n)); });
  }
  failure.Run([&] { UnlockTable(); });
  failure.RaiseIfFailed();
}

void TDataTable::UnlockAllSemaphores() {
  TFirstFailure failure;
  for (size_t n = 1; n < FSemaphoreLocks.size(); ++n) {
    if (FSemaphoreLocks[n]) failure.Run([&] { UnlockSemaphore(static_cast<int32_t>(n)); });
  }
  failure.RaiseIfFailed();
}

// ---- Flush policy -------------------------------------------------------------------------------

bool TDataTable::FlushFile(TBufferedFile& file, bool forceHeader, bool adjust, bool forceOSFlush,
                           const std::function<bool()>& writeDefinitions) {
  const bool blocks = file.FlushBuffers();
  const bool header = file.WriteHeader(forceHeader || blocks);
  const bool definitions = writeDefinitions();
  if ((blocks || header || definitions) && (forceOSFlush || ForceBufferFlush())) file.Flush();
  if (adjust) file.AdjustBuffers();
  return header;
}

void TDataTable::FlushBuffers(bool adjust, bool forceData, bool forceIndex, bool forceBlob,
                              bool forceOSFlush) {
  if (!FIsOpen || FReadOnly) return;
  if (FInTransaction) {
    UpdateHeaderStamps(forceData, forceIndex, forceBlob);
    return;
  }
  // After a failed flush nothing of this process is left to write, and its headers in memory
  // are not to be trusted until the next lock re-reads them.
  if (FHeadersStale) return;
  // Shared, the files are the table between two writes. Blocks a failed flush left in the cache
  // would outlive the write lock and meet the counters the next lock rereads from the file: a
  // slot handed out again, keys of a record the file does not hold. They go; the next lock
  // rereads every header, and the files are as a crash at this moment would leave them.
  TScopeGuard discard([&] {
    if (!FExclusive) DiscardUnwritten();
  });
  const bool dataHeader = FlushFile(*FDataFile, forceData, adjust, forceOSFlush, [&] {
    if (!FDataFile->FieldsAreDirty()) return false;
    FDataFile->WriteFieldDefinitions();
    return true;
  });
  const bool indexHeader = FlushFile(*FIndexFile, forceIndex, adjust, forceOSFlush, [&] {
    if (!FIndexFile->IndexesAreDirty()) return false;
    FIndexFile->WriteIndexDefinitions();
    return true;
  });
  bool blobHeader = false;
  if (HasBlobFields() && FBlobFile->IsOpen()) {
    blobHeader = FlushFile(*FBlobFile, forceBlob, adjust, forceOSFlush, [] { return false; });
  }
  // Other processes watch the data file's stamp only.
  if ((indexHeader || blobHeader) && !dataHeader) {
    FDataFile->WriteHeader(true);
    if (forceOSFlush || ForceBufferFlush()) FDataFile->Flush();
  }
  discard.Dismiss();
}

void TDataTable::DiscardUnwritten() {
  FDataFile->FreeBuffers();
  FIndexFile->DropCache();
  if (FBlobFile->IsOpen()) FBlobFile->FreeBuffers();
  FHeadersStale = true;
}

void TDataTable::UpdateHeaderStamps(bool data, bool index, bool blob) {
  if (data) FDataFile->UpdateHeaderStamp();
  if (index) FIndexFile->UpdateHeaderStamp();
  if (blob && HasBlobFields() && FBlobFile->IsOpen()) FBlobFile->UpdateHeaderStamp();
}

void TDataTable::FlushFilesOverBudget() {
  if (FReadOnly) return;
  FDataFile->FlushWhenOverBudget();
  FIndexFile->FlushWhenOverBudget();
  if (HasBlobFields() && FBlobFile->IsOpen()) FBlobFile->FlushWhenOverBudget();
}

void TDataTable::FreeBuffers(bool adjust, bool rereadHeaders, bool rereadIndexDefinitions) {
  for (TBufferedFile* file :
       {static_cast<TBufferedFile*>(FDataFile.get()), static_cast<TBufferedFile*>(FIndexFile.get()),
        static_cast<TBufferedFile*>(FBlobFile.get())}) {
    if (!file->IsOpen()) continue;
    if (file == FIndexFile.get()) {
      FIndexFile->DropCache();
    } else {
      file->FreeBuffers();
    }
    if (adjust) file->AdjustBuffers();
  }
  if (rereadHeaders) ReadHeaders();
  if (rereadIndexDefinitions) FIndexFile->ReadIndexDefinitions();
}

void TDataTable::FlushOSBuffers() {
  if (!FIsOpen || FReadOnly || ForceBufferFlush()) return;
  FDataFile->Flush();
  FIndexFile->Flush();
  if (FBlobFile->IsOpen()) FBlobFile->Flush();
}

bool TDataTable::PerformChangeDetection() {
  if (!FIsOpen || FExclusive) return false;
  if (!FDataFile->CheckForChanges() && !FHeadersStale) return false;
  FHeadersStale = false;
  FDataFile->FreeBuffers();
  FIndexFile->ReadHeader();
  FIndexFile->DropCache();
  if (HasBlobFields() && FBlobFile->IsOpen()) {
    FBlobFile->ReadHeader();
    FBlobFile->FreeBuffers();
  }
  return true;
}

}  // namespace cairn
