// A cursor's in-memory copy of one open blob value.
//
// The cursor opens a blob field of a record into a TBlobBuffer, reads and changes the whole
// (uncompressed) value here, and writes it into the blob file's chain when the record is posted.
// The buffer remembers where the value came from (first block, record, signature), how it was
// opened, how many openers share it, and whether it changed since it was read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

class TDataCursor;

// How a blob value is open.
namespace blob {
constexpr uint8_t kOpenRead = 1;
constexpr uint8_t kOpenWrite = 2;
constexpr uint8_t kOpenCopy = 3;
}  // namespace blob

class TBlobBuffer {
 public:
  explicit TBlobBuffer(TDataCursor* cursor = nullptr) : FDataCursor(cursor) {}

  TDataCursor* DataCursor() const { return FDataCursor; }

  // ---- The value ------------------------------------------------------------------------------
  const std::vector<char>& Buffer() const { return FBuffer; }
  size_t Size() const { return FBuffer.size(); }
  // Grows (zero-filled) or cuts the value; a change of size marks the buffer dirty.
  void SetSize(size_t value);
  // Takes a value as read from the blob file; the buffer is clean afterwards.
  void LoadValue(std::vector<char> value);
  // Copies up to length bytes from offset: length when the range lies inside the value, the rest
  // of the value when only offset does, else nothing. The bytes copied.
  size_t GetData(size_t offset, size_t length, void* destination) const;
  // Stores length bytes at offset, growing the value (zero-filled) when the range ends beyond
  // it, and marks the buffer dirty.
  void PutData(size_t offset, size_t length, const void* source);

  // Keeps a copy of the value as it is now (the value as read, for the full-text index).
  void SaveBuffer() { FOldBuffer = FBuffer; }
  const std::vector<char>& OldBuffer() const { return FOldBuffer; }
  size_t OldSize() const { return FOldBuffer.size(); }

  // ---- Where the value belongs ----------------------------------------------------------------
  const TFieldDefinition& FieldDefinition() const { return FFieldDefinition; }
  void SetFieldDefinition(const TFieldDefinition& value) { FFieldDefinition = value; }
  int32_t BlockNumber() const { return FBlockNumber; }
  void SetBlockNumber(int32_t value) { FBlockNumber = value; }
  int32_t RecordNumber() const { return FRecordNumber; }
  void SetRecordNumber(int32_t value) { FRecordNumber = value; }
  int32_t Signature() const { return FSignature; }
  void SetSignature(int32_t value) { FSignature = value; }

  // ---- State ----------------------------------------------------------------------------------
  bool IsDirty() const { return FIsDirty; }
  void SetIsDirty(bool value) { FIsDirty = value; }
  uint8_t OpenMode() const { return FOpenMode; }
  void SetOpenMode(uint8_t value) { FOpenMode = value; }
  uint16_t UseCount() const { return FUseCount; }
  void IncUseCount();
  // Never below 0.
  void DecUseCount();
  bool EngineAllocated() const { return FEngineAllocated; }
  void SetEngineAllocated(bool value) { FEngineAllocated = value; }
  int32_t RemoteID() const { return FRemoteID; }
  void SetRemoteID(int32_t value) { FRemoteID = value; }

 private:
  TDataCursor* FDataCursor;
  bool FIsDirty = false;
  int32_t FSignature = 0;
  TFieldDefinition FFieldDefinition;
  int32_t FBlockNumber = 0;
  int32_t FRecordNumber = 0;
  std::vector<char> FBuffer;
  std::vector<char> FOldBuffer;
  uint8_t FOpenMode = blob::kOpenRead;
  uint16_t FUseCount = 0;
  bool FEngineAllocated = false;
  int32_t FRemoteID = 0;
};

}  // namespace cairn
