#include "cairn/engine/data/Record.h"

#include <cstring>

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Coding.h"

namespace cairn {

const char* TRecord::SlotBytes() const {
  if (static_cast<size_t>(Capacity()) < kSystemSize) BufferedFile().RaiseError(CAIRN_FILECORRUPT);
  return Buffer();
}

char* TRecord::SlotBytes() {
  return const_cast<char*>(static_cast<const TRecord*>(this)->SlotBytes());
}

uint8_t TRecord::Status() const {
  return static_cast<uint8_t>(SlotBytes()[kStatusAt]);
}

void TRecord::SetStatus(uint8_t value) {
  SlotBytes()[kStatusAt] = static_cast<char>(value);
  SetIsDirty(true);
}

int32_t TRecord::NextFreeRecord() const {
  return DecodeInt32(SlotBytes() + kNextFreeAt);
}

void TRecord::SetNextFreeRecord(int32_t value) {
  EncodeInt32(SlotBytes() + kNextFreeAt, value);
  SetIsDirty(true);
}

// Kept in memory for the cached-update mode; storing it alone does not make the slot dirty.
void TRecord::SetCachedUpdateNumber(int32_t value) {
  EncodeInt32(SlotBytes() + kNextFreeAt, value);
}

int32_t TRecord::RecordID() const {
  return DecodeInt32(SlotBytes() + kRecordIDAt);
}

void TRecord::SetRecordID(int32_t value) {
  EncodeInt32(SlotBytes() + kRecordIDAt, value);
  SetIsDirty(true);
}

TMD5Digest TRecord::RecordHash() const {
  TMD5Digest hash;
  std::memcpy(hash.Bytes.data(), SlotBytes() + kRecordHashAt, hash.Bytes.size());
  return hash;
}

void TRecord::SetRecordHash(const TMD5Digest& value) {
  std::memcpy(SlotBytes() + kRecordHashAt, value.Bytes.data(), value.Bytes.size());
  SetIsDirty(true);
}

}  // namespace cairn
