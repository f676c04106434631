// Storing a new record (TDataCursor::AppendRecord).
//
// Until the slot is taken nothing changes but the working copy; from then on the slot, the data
// header's counters, the index pages and the blob blocks change in the buffer caches under an
// undo of each file, so that a failure anywhere puts every file back as it was before the error
// reaches the caller.
#include <algorithm>
#include <array>
#include <cstring>

#include "cairn/crypto/Md5.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/RecordHash.h"
#include "cairn/cursor/RecordValidator.h"
#include "cairn/cursor/TableLockGuards.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/index/IndexTree.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

namespace {

// A cache-miss restart is retried this often before the table counts as damaged.
constexpr int kRestarts = 3;

// Undo of the table's files for one post: rolled back unless committed.
class TTableUndo {
 public:
  explicit TTableUndo(TDataTable& table) {
    // The files are named once, without a list allocated for every record.
    FFiles[FCount++] = &table.DataFile();
    FFiles[FCount++] = &table.IndexFile();
    if (table.HasBlobFields() && table.BlobFile().IsOpen()) FFiles[FCount++] = &table.BlobFile();
    for (size_t i = 0; i < FCount; ++i) FFiles[i]->BeginUndo();
  }
  ~TTableUndo() {
    for (size_t i = 0; i < FCount; ++i) {
      if (FCommitted) {
        FFiles[i]->CommitUndo();
      } else {
        FFiles[i]->RollbackUndo();
      }
    }
  }
  TTableUndo(const TTableUndo&) = delete;
  TTableUndo& operator=(const TTableUndo&) = delete;
  void Commit() { FCommitted = true; }

 private:
  std::array<TBufferedFile*, 3> FFiles{};
  size_t FCount = 0;
  bool FCommitted = false;
};

// A slot held from the data file's cache.
class TSlotRef {
 public:
  TSlotRef(TDataFile& file, const TBufferRequest& request, int32_t number) : FFile(file) {
    for (int attempt = 0; attempt < kRestarts; ++attempt) {
      if (file.GetBuffer(request, number, false, TReadAheadDirection::None, FBuffer)) return;
    }
    file.GetBuffer(TBufferRequest{true}, number, false, TReadAheadDirection::None, FBuffer);
  }
  ~TSlotRef() { FFile.PutBuffer(FBuffer); }
  TSlotRef(const TSlotRef&) = delete;
  TSlotRef& operator=(const TSlotRef&) = delete;
  TRecord& operator*() const { return *static_cast<TRecord*>(FBuffer); }
  TRecord* operator->() const { return static_cast<TRecord*>(FBuffer); }

 private:
  TDataFile& FFile;
  TBuffer* FBuffer = nullptr;
};

bool IsAutoInc(const TFieldDefinition& field) {
  return field.DataType == fld::kInteger && field.SubType == fld::kSubAutoInc;
}

}  // namespace

bool TDataCursor::AppendRecord(char* record, bool refreshFilter, bool setRecordHash,
                               bool skipKeyChecks, bool skipAutoInc, bool copyRecordNo) {
  RequireOpen();
  if (FReadOnly) RaiseError(CAIRN_OSEACCES);
  (void)refreshFilter;  // the cursor has no ranges or filters to refresh
  for (;;) {
    if (!FSuppressTriggers && FInsertHooks.BeforeInsert) FInsertHooks.BeforeInsert(*this, record);
    try {
      AppendAttempt(record, setRecordHash, skipKeyChecks, skipAutoInc, copyRecordNo);
      break;
    } catch (const std::exception& error) {
      if (FSuppressTriggers || !FInsertHooks.InsertError) throw;
      const TInsertErrorAction action = FInsertHooks.InsertError(*this, error, record);
      if (action == TInsertErrorAction::Abort) return false;
      if (action != TInsertErrorAction::Retry) throw;
    }
  }
  // Outside the attempt: the record is stored, so a failing hook must not store it again.
  if (!FSuppressTriggers && FInsertHooks.AfterInsert) {
    FInsertHooks.AfterInsert(*this, FCurrentRecord.data(), FCurRecordNumber);
  }
  return true;
}

void TDataCursor::AppendAttempt(char* record, bool setRecordHash, bool skipKeyChecks,
                                bool skipAutoInc, bool copyRecordNo) {
  TDataTable& table = *FDataTable;
  TDataFile& dataFile = table.DataFile();
  TTableWriteLock writeLock(table);
  const int32_t slot = dataFile.NextFreeSlot();
  TRecordLock recordLock(table, slot);

  // The working copy, with the identities previewed.
  char* work = FScratchRecord.data();
  std::memcpy(work, record, FRecordSize);
  work[TRecord::kStatusAt] = static_cast<char>(TRecord::kLive);
  if (!copyRecordNo) EncodeInt32(work + TRecord::kNextFreeAt, 0);
  if (!skipAutoInc && FHasAutoIncFields) SetAutoIncFields(work);
  if (FHasValidityChecks) CheckRecordValidity(work);
  if (!FSuppressRecordIDs) EncodeInt32(work + TRecord::kRecordIDAt, dataFile.NextRecordID());
  if (setRecordHash) {
    const TMD5Digest hash = CalcRecordHash(work);
    std::memcpy(work + TRecord::kRecordHashAt, hash.Bytes.data(), hash.Bytes.size());
  }
  if (!skipKeyChecks) CheckUniqueKeys(work);

  bool blobsWritten = false;
  {
    TTableUndo undo(table);
    StoreRecord(slot, record, blobsWritten);
    undo.Commit();
  }
  FreeAllBlobs(false);
  EncodeInt32(record + TRecord::kNextFreeAt, slot);
  // The working copy becomes the current record; the old one is the next post's scratch.
  FCurrentRecord.swap(FScratchRecord);
  PositionOn(slot, FCurrentRecord.data());

  // Shared: written now; exclusive: the cache keeps it until a flush or the close.
  FAppendedSlot = 0;
  if (table.Exclusive()) {
    table.UpdateHeaderStamps(true, true, blobsWritten);
    table.FlushFilesOverBudget();
    FAppendedSlot = slot;
    FAppendedGeneration = dataFile.ContentGeneration();
  } else {
    table.FlushBuffers(false, true, true, blobsWritten, false);
  }
}

void TDataCursor::SetAutoIncFields(char* record) const {
  const int32_t next = FDataTable->DataFile().NextAutoIncID();
  char value[4];
  EncodeInt32(value, next);
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (IsAutoInc(field) && TFieldCodec::IsNull(field, record)) FCodec.Put(field, record, value);
  }
}

void TDataCursor::CheckRecordValidity(const char* record) const {
  const TRecordValidator::TResult result =
      TRecordValidator::Check(FFieldDefinitions, record, static_cast<uint32_t>(FLocaleID));
  switch (result.Fault) {
    case TRecordValidator::TFault::None:
      return;
    case TRecordValidator::TFault::Required:
      RaiseError(CAIRN_REQDERR, {}, result.Field->FieldName);
    case TRecordValidator::TFault::BelowMinimum:
      RaiseError(CAIRN_MINVALERR, {}, result.Field->FieldName);
    case TRecordValidator::TFault::AboveMaximum:
      RaiseError(CAIRN_MAXVALERR, {}, result.Field->FieldName);
  }
}

TMD5Digest TDataCursor::CalcRecordHash(const char* record) {
  RequireOpen();
  // Blob values and references never enter the hash, nor (in such a table) hidden fields.
  return RecordHashOf(FFieldDefinitions, FDataTable->HasBlobFields(), record, FRecordSize,
                      FHashRecord);
}

void TDataCursor::CheckUniqueKeys(const char* record) {
  TIndexFile& indexFile = FDataTable->IndexFile();
  for (int pos = 0; pos <= IndexCount(); ++pos) {
    const TKeyBuilder& keys = FIndexKeys[static_cast<size_t>(pos)];
    if (!keys.Unique()) continue;
    keys.Build(record, FKeyBuffer.data());
    TIndexTree tree(indexFile, pos, keys.Comparer());
    TIndexTree::TFindResult found;
    for (int attempt = 0; attempt < kRestarts; ++attempt) {
      found = tree.Find(std::string_view(FKeyBuffer.data(), keys.KeySize()));
      if (found.Completed) break;
    }
    if (!found.Completed) indexFile.RaiseCorruptIndex(pos);
    if (found.Found) {
      const std::string& name = keys.Definition().IndexName;
      RaiseError(CAIRN_KEYVIOL, name.empty() ? "Primary" : name);
    }
  }
}

// Takes the slot, counts the record, inserts its keys and writes its blobs; the working copy
// then goes into the slot.
void TDataCursor::StoreRecord(int32_t slot, char* record, bool& blobsWritten) {
  TDataTable& table = *FDataTable;
  TDataFile& dataFile = table.DataFile();
  char* work = FScratchRecord.data();
  const bool appended = slot == dataFile.NextEndingRecord();
  TSlotRef slotRef(dataFile, TBufferRequest{table.Exclusive()}, slot);
  if (!appended) {
    // A slot of the free chain must be a deleted one whose link stays inside the file.
    const int32_t next = slotRef->NextFreeRecord();
    if (slotRef->Status() != TRecord::kDeleted || next < 0 || next >= dataFile.NextEndingRecord() ||
        next == slot) {
      RaiseError(CAIRN_HEADERCORRUPT);
    }
    dataFile.SetNextFreeRecord(next);
  }
  // The slot's blob references (a reused slot's blocks) go over to the new record.
  if (table.HasBlobFields()) slotRef->CopyToBuffer(FOldRecord.data());
  dataFile.IncRecordCount();
  if (FHasAutoIncFields) {
    int32_t last = dataFile.LastAutoIncID();
    for (const TFieldDefinition& field : FFieldDefinitions) {
      if (IsAutoInc(field) && !TFieldCodec::IsNull(field, work)) {
        last = std::max(last, DecodeInt32(work + field.Offset + 1));
      }
    }
    dataFile.SetLastAutoIncID(last);
  }
  dataFile.SetLastRecordID(
      std::max(dataFile.LastRecordID(), DecodeInt32(work + TRecord::kRecordIDAt)));
  InsertKeys(work, slot);
  if (table.HasBlobFields()) blobsWritten = PostBlobs(record, work);
  slotRef->CopyBuffer(work);
}

void TDataCursor::InsertKeys(const char* record, int32_t slot) {
  TIndexFile& indexFile = FDataTable->IndexFile();
  for (int pos = 0; pos <= IndexCount(); ++pos) {
    const TKeyBuilder& keys = FIndexKeys[static_cast<size_t>(pos)];
    keys.Build(record, FKeyBuffer.data());
    TIndexTree tree(indexFile, pos, keys.Comparer());
    bool done = false;
    for (int attempt = 0; attempt < kRestarts && !done; ++attempt) {
      done = tree.Insert(std::string_view(FKeyBuffer.data(), keys.KeySize()), slot);
    }
    if (!done) indexFile.RaiseCorruptIndex(pos);
  }
}

}  // namespace cairn
