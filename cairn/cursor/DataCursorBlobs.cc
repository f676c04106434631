// Open blob values of a cursor (TDataCursor's blob operations) and the blob steps of a post.
//
// A blob field of a record buffer (flag byte, then 8 value bytes):
//
//   +------+----------------------------------+-----------------+
//   | flag | i32 first block, or -handle       | i32 signature   |
//   +------+----------------------------------+-----------------+
//
// While a value is open the field carries its negated handle and the flag says whether the open
// value is non-empty; freeing the last opening puts the first block number back.
#include <cstring>

#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/TableLockGuards.h"
#include "cairn/engine/blob/BlobChain.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

namespace {

constexpr size_t kSignatureAt = 5;  // after the flag and the block number

int32_t BlobReference(const TFieldDefinition& field, const char* record) {
  return DecodeInt32(record + field.Offset + 1);
}

void SetBlobReference(const TFieldDefinition& field, char* record, int32_t value) {
  EncodeInt32(record + field.Offset + 1, value);
}

int32_t BlobSignature(const TFieldDefinition& field, const char* record) {
  return DecodeInt32(record + field.Offset + kSignatureAt);
}

void SetBlobSignature(const TFieldDefinition& field, char* record, int32_t value) {
  EncodeInt32(record + field.Offset + kSignatureAt, value);
}

void SetFlag(const TFieldDefinition& field, char* record, bool present) {
  record[field.Offset] = present ? 1 : 0;
}

// Puts the post's blob buffers back as they were unless the post completes.
class TBlobStateUndo {
 public:
  struct TState {
    TBlobBuffer* Buffer;
    int32_t BlockNumber;
    int32_t Signature;
    bool IsDirty;
  };
  explicit TBlobStateUndo(const std::vector<TDataCursor::TPostBlob>& blobs) {
    for (const TDataCursor::TPostBlob& blob : blobs) {
      FStates.push_back({blob.Buffer, blob.Buffer->BlockNumber(), blob.Buffer->Signature(),
                         blob.Buffer->IsDirty()});
    }
  }
  ~TBlobStateUndo() {
    if (FCommitted) return;
    for (const TState& state : FStates) {
      state.Buffer->SetBlockNumber(state.BlockNumber);
      state.Buffer->SetSignature(state.Signature);
      state.Buffer->SetIsDirty(state.IsDirty);
    }
  }
  TBlobStateUndo(const TBlobStateUndo&) = delete;
  TBlobStateUndo& operator=(const TBlobStateUndo&) = delete;
  void Commit() { FCommitted = true; }

 private:
  std::vector<TState> FStates;
  bool FCommitted = false;
};

}  // namespace

const TFieldDefinition& TDataCursor::BlobField(int32_t fieldNum) const {
  const TFieldDefinition& field = Field(fieldNum);
  if (!field.IsBlob()) throw std::invalid_argument("not a blob field");
  return field;
}

TBlobBuffer* TDataCursor::OpenBuffer(int32_t fieldNum, const char* record) const {
  const int32_t reference = BlobReference(BlobField(fieldNum), record);
  TBlobBuffer* buffer = FBlobs.FindReference(reference);
  if (buffer == nullptr) RaiseError(CAIRN_INVALIDBLOBHANDLE);
  return buffer;
}

size_t TDataCursor::OpenBlob(int32_t fieldNum, char* record, uint8_t mode, bool physical,
                             bool systemBlob) {
  (void)physical;  // the cursor shows the table's own fields
  RequireOpen();
  const TFieldDefinition& field = BlobField(fieldNum);
  TTableReadLock readLock(*FDataTable);
  const int32_t reference = BlobReference(field, record);
  if (reference < 0) {
    TBlobBuffer* open = FBlobs.FindReference(reference);
    if (open == nullptr) RaiseError(CAIRN_INVALIDBLOBOFFSET);
    if (mode == blob::kOpenWrite && open->EngineAllocated() && !systemBlob) {
      open->SetEngineAllocated(false);  // the caller takes over the engine's opening
    } else {
      open->IncUseCount();
    }
    return open->Size();
  }
  auto created = std::make_unique<TBlobBuffer>(this);
  TBlobBuffer& buffer = *created;
  buffer.SetFieldDefinition(field);
  buffer.SetBlockNumber(reference);
  buffer.SetRecordNumber(DecodeInt32(record + TRecord::kNextFreeAt));
  buffer.SetOpenMode(mode);
  buffer.SetEngineAllocated(systemBlob);
  buffer.SetSignature(BlobSignature(field, record));
  const int32_t handle = FBlobs.Register(std::move(created));
  struct TUnregister {
    TBlobHandles& Blobs;
    int32_t Handle;
    bool Keep = false;
    ~TUnregister() {
      if (!Keep) Blobs.Free(Handle);
    }
  } unregister{FBlobs, handle};
  ReadBlobValue(buffer, record, field);
  buffer.IncUseCount();
  SetBlobReference(field, record, -handle);
  SetFlag(field, record, buffer.Size() > 0);
  unregister.Keep = true;
  return buffer.Size();
}

// Reads the value of the buffer's chain. A first block that carries another signature means the
// record changed under the caller: its stored image gives the current chain, unless the record
// is gone or another record now lives in its slot.
void TDataCursor::ReadBlobValue(TBlobBuffer& buffer, char* record, const TFieldDefinition& field) {
  std::vector<char> value;
  if (buffer.BlockNumber() == 0) {
    buffer.LoadValue(std::move(value));
    return;
  }
  TBlobChain chain(FDataTable->BlobFile(), TBufferRequest{FDataTable->Exclusive()});
  if (chain.ReadBlobValue(buffer.BlockNumber(), buffer.Signature(), field.Compression, value) ==
      TBlobStatus::Done) {
    buffer.LoadValue(std::move(value));
    return;
  }
  std::vector<char> stored(FRecordSize);
  const int32_t recordId = DecodeInt32(record + TRecord::kRecordIDAt);
  if (buffer.RecordNumber() <= 0 || !ReadSlot(buffer.RecordNumber(), stored.data()) ||
      DecodeInt32(stored.data() + TRecord::kRecordIDAt) != recordId) {
    RaiseError(CAIRN_KEYORRECDELETED);
  }
  buffer.SetBlockNumber(BlobReference(field, stored.data()));
  buffer.SetSignature(BlobSignature(field, stored.data()));
  SetBlobSignature(field, record, buffer.Signature());
  value.clear();
  if (buffer.BlockNumber() != 0 &&
      chain.ReadBlobValue(buffer.BlockNumber(), buffer.Signature(), field.Compression, value) !=
          TBlobStatus::Done) {
    RaiseError(CAIRN_MEMOCORRUPT);
  }
  buffer.LoadValue(std::move(value));
}

size_t TDataCursor::GetBlob(int32_t fieldNum, const char* record, size_t offset, void* destination,
                            size_t length, bool physical) const {
  (void)physical;
  return OpenBuffer(fieldNum, record)->GetData(offset, length, destination);
}

void TDataCursor::PutBlob(int32_t fieldNum, char* record, size_t offset, const void* source,
                          size_t length, bool physical) {
  (void)physical;
  TBlobBuffer* buffer = OpenBuffer(fieldNum, record);
  if (buffer->OpenMode() != blob::kOpenWrite) return;
  buffer->PutData(offset, length, source);
  buffer->SetIsDirty(true);
  SetFlag(Field(fieldNum), record, buffer->Size() > 0);
}

void TDataCursor::TruncateBlob(int32_t fieldNum, char* record, size_t newSize, bool physical) {
  (void)physical;
  TBlobBuffer* buffer = OpenBuffer(fieldNum, record);
  if (buffer->OpenMode() != blob::kOpenWrite) return;
  buffer->SetSize(newSize);
  buffer->SetIsDirty(true);
  SetFlag(Field(fieldNum), record, buffer->Size() > 0);
}

size_t TDataCursor::GetBlobSize(int32_t fieldNum, const char* record, bool physical) const {
  (void)physical;
  return OpenBuffer(fieldNum, record)->Size();
}

void TDataCursor::FreeBlob(int32_t fieldNum, char* record, bool physical, bool systemBlob) {
  (void)physical;
  (void)systemBlob;
  TBlobBuffer* buffer = OpenBuffer(fieldNum, record);
  buffer->DecUseCount();
  if (buffer->UseCount() > 0) return;
  const int32_t handle = -BlobReference(Field(fieldNum), record);
  SetBlobReference(Field(fieldNum), record, buffer->BlockNumber());
  FBlobs.Free(handle);
}

bool TDataCursor::ValidBlobHandle(int32_t fieldNum, const char* record, bool physical) const {
  (void)physical;
  const int32_t reference = BlobReference(BlobField(fieldNum), record);
  return FBlobs.FindReference(reference) != nullptr;
}

// A changed value opened by the caller stays open until the caller frees it (also when it was
// emptied: it is still registered).
void TDataCursor::CancelAllBlobs(char* record) {
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (!field.IsBlob() || !ValidBlobHandle(field.FieldNum, record)) continue;
    const TBlobBuffer* buffer = FBlobs.FindReference(BlobReference(field, record));
    if (!buffer->IsDirty() || buffer->EngineAllocated()) FreeBlob(field.FieldNum, record);
  }
}

void TDataCursor::FreeAllBlobs(bool force) {
  for (int32_t handle : FBlobs.Handles()) {
    if (force || FBlobs.Find(handle)->EngineAllocated()) FBlobs.Free(handle);
  }
}

void TDataCursor::CreateBlobCopies(char* record, bool physical) {
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (field.IsBlob()) OpenBlob(field.FieldNum, record, blob::kOpenCopy, physical);
  }
}

void TDataCursor::DeleteAllBlobs(char* record) {
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (!field.IsBlob()) continue;
    OpenBlob(field.FieldNum, record, blob::kOpenWrite, false, true);
    TruncateBlob(field.FieldNum, record, 0);
  }
}

void TDataCursor::CopyBlobBlocks(const char* source, char* destination, bool physical) const {
  (void)physical;
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (!field.IsBlob()) continue;
    std::memcpy(destination + field.Offset + 1, source + field.Offset + 1, 8);
    if (BlobReference(field, source) < 0) destination[field.Offset] = source[field.Offset];
  }
}

// ---- Posting ------------------------------------------------------------------------------------

// The values open in the posted record are those whose handles its blob fields carry.
void TDataCursor::CollectPostBlobs(const char* record) {
  FPostBlobs.clear();
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (!field.IsBlob()) continue;
    const int32_t reference = BlobReference(field, record);
    TBlobBuffer* buffer = FBlobs.FindReference(reference);
    if (buffer != nullptr && buffer->OpenMode() != blob::kOpenCopy) {
      FPostBlobs.push_back({&field, buffer});
    }
  }
}

void TDataCursor::UpdateBlobBlocks(char* record, bool reuseBlockNumbers) {
  for (const TPostBlob& blob : FPostBlobs) {
    if (!reuseBlockNumbers || blob.Buffer->BlockNumber() != 0) {
      SetBlobReference(*blob.Field, record, blob.Buffer->BlockNumber());
    } else {
      blob.Buffer->SetBlockNumber(BlobReference(*blob.Field, record));
    }
  }
}

void TDataCursor::UpdateBlobSignatures(char* record) {
  for (const TPostBlob& blob : FPostBlobs) {
    if (!blob.Buffer->IsDirty()) continue;
    const int32_t signature = FDataTable->NextBlobSignature();
    blob.Buffer->SetSignature(signature);
    SetBlobSignature(*blob.Field, record, signature);
  }
}

bool TDataCursor::WriteBlobs() {
  const TPostBlob* first = nullptr;
  for (const TPostBlob& blob : FPostBlobs) {
    if (!blob.Buffer->IsDirty()) continue;
    if (first == nullptr) first = &blob;
    if (blob.Buffer->RecordNumber() != first->Buffer->RecordNumber()) {
      RaiseError(CAIRN_MEMOCORRUPT);
    }
  }
  bool written = false;
  TBlobChain chain(FDataTable->BlobFile(), TBufferRequest{FDataTable->Exclusive()});
  for (const TPostBlob& blob : FPostBlobs) {
    TBlobBuffer& buffer = *blob.Buffer;
    if (!buffer.IsDirty()) continue;
    int32_t block = buffer.BlockNumber();
    const std::string_view value(buffer.Buffer().data(), buffer.Size());
    if (chain.WriteBlobValue(block, buffer.Signature(), value, blob.Field->Compression) !=
        TBlobStatus::Done) {
      RaiseError(CAIRN_MEMOCORRUPT);
    }
    written = written || block != 0;
    buffer.SetBlockNumber(block);
    buffer.SetIsDirty(false);
  }
  return written;
}

bool TDataCursor::PostBlobs(const char* record, char* work) {
  CollectPostBlobs(record);
  CopyBlobBlocks(FOldRecord.data(), work);
  TBlobStateUndo undo(FPostBlobs);
  UpdateBlobBlocks(work, true);
  UpdateBlobSignatures(work);
  const bool written = WriteBlobs();
  UpdateBlobBlocks(work, false);
  undo.Commit();
  return written;
}

}  // namespace cairn
