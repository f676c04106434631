#include "cairn/engine/blob/Block.h"

#include <algorithm>
#include <cstring>

#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr size_t kPrevNumberAt = 0;
constexpr size_t kNextNumberAt = 4;
constexpr size_t kLengthAt = 8;
constexpr size_t kSignatureAt = 10;
constexpr size_t kTotalLengthAt = 14;

// Assigns value to field; whether it changed.
template <typename T>
bool Change(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

void TBlockHeader::Encode(char* area) const {
  EncodeInt32(area + kPrevNumberAt, PrevNumber);
  EncodeInt32(area + kNextNumberAt, NextNumber);
  EncodeFixed16(area + kLengthAt, Length);
  EncodeInt32(area + kSignatureAt, Signature);
  EncodeInt32(area + kTotalLengthAt, TotalLength);
}

TBlockHeader TBlockHeader::Decode(const char* area) {
  TBlockHeader header;
  header.PrevNumber = DecodeInt32(area + kPrevNumberAt);
  header.NextNumber = DecodeInt32(area + kNextNumberAt);
  header.Length = DecodeFixed16(area + kLengthAt);
  header.Signature = DecodeInt32(area + kSignatureAt);
  header.TotalLength = DecodeInt32(area + kTotalLengthAt);
  return header;
}

TBlock::TBlock(TBufferedFile& file) : TBuffer(file) {
  SetSize(0);
}

void TBlock::Initialize() {
  TBuffer::Initialize();
  FHeader = {};
  SetSize(0);
}

void TBlock::Copy(const TBuffer& source) {
  TBuffer::Copy(source);
  if (const auto* block = dynamic_cast<const TBlock*>(&source)) FHeader = block->FHeader;
}

size_t TBlock::HeldBytes() const {
  return TBuffer::HeldBytes() - AllocatedBytes(sizeof(TBuffer)) + AllocatedBytes(sizeof(TBlock));
}

bool TBlock::IsEqualTo(const TBuffer& other) const {
  const auto* block = dynamic_cast<const TBlock*>(&other);
  return block != nullptr && FHeader == block->FHeader && TBuffer::IsEqualTo(other);
}

void TBlock::Clear() {
  std::memset(Buffer(), 0, static_cast<size_t>(Capacity()));
  FHeader = {};
  SetSize(0);
  SetIsDirty(true);
}

void TBlock::CheckRange(int64_t offset, int64_t length) const {
  if (offset < 0 || length < 0 || offset + length > DataCapacity()) {
    BufferedFile().RaiseError(CAIRN_INVALIDBLOBLEN);
  }
}

int32_t TBlock::GetBlockData(int32_t offset, int32_t length, void* destination) const {
  CheckRange(offset, length);
  if (FHeader.Length > DataCapacity()) BufferedFile().RaiseError(CAIRN_MEMOCORRUPT);
  const int32_t count = std::clamp<int32_t>(FHeader.Length - offset, 0, length);
  if (count > 0) std::memcpy(destination, Buffer() + offset, static_cast<size_t>(count));
  return count;
}

int32_t TBlock::PutBlockData(int32_t offset, int32_t length, const void* source) {
  CheckRange(offset, length);
  char* target = Buffer() + offset;
  if (length > 0 && std::memcmp(target, source, static_cast<size_t>(length)) != 0) {
    std::memcpy(target, source, static_cast<size_t>(length));
    SetIsDirty(true);
  }
  SetLength(static_cast<uint16_t>(offset + length));
  return length;
}

void TBlock::TruncateBlockData(int32_t offset) {
  CheckRange(offset, 0);
  if (offset >= FHeader.Length) return;
  const int32_t end = std::min<int32_t>(FHeader.Length, DataCapacity());
  std::memset(Buffer() + offset, 0, static_cast<size_t>(std::max(end - offset, 0)));
  SetLength(static_cast<uint16_t>(offset));
  SetIsDirty(true);
}

void TBlock::SetPrevNumber(int32_t value) {
  if (Change(FHeader.PrevNumber, value)) SetIsDirty(true);
}

void TBlock::SetNextNumber(int32_t value) {
  if (Change(FHeader.NextNumber, value)) SetIsDirty(true);
}

void TBlock::SetLength(uint16_t value) {
  CheckRange(0, value);
  if (Change(FHeader.Length, value)) SetIsDirty(true);
  SetSize(value);
}

void TBlock::SetSignature(int32_t value) {
  if (Change(FHeader.Signature, value)) SetIsDirty(true);
}

void TBlock::SetTotalLength(int32_t value) {
  if (Change(FHeader.TotalLength, value)) SetIsDirty(true);
}

void TBlock::LoadContent(const char* unit) {
  FHeader = TBlockHeader::Decode(unit);
  const int32_t data = std::max<int32_t>(BufferedFile().IOBlockSize() - TBlockHeader::kSize, 0);
  std::memcpy(Buffer(), unit + TBlockHeader::kSize,
              static_cast<size_t>(std::min(data, Capacity())));
  // A stored Length beyond the data area is kept as read and reported when the data is asked for.
  SetSize(FHeader.Length);
}

void TBlock::StoreContent(char* unit) const {
  FHeader.Encode(unit);
  const int32_t data = std::max<int32_t>(BufferedFile().IOBlockSize() - TBlockHeader::kSize, 0);
  const int32_t count = std::min(data, Capacity());
  std::memcpy(unit + TBlockHeader::kSize, Buffer(), static_cast<size_t>(count));
  std::memset(unit + TBlockHeader::kSize + count, 0, static_cast<size_t>(data - count));
}

}  // namespace cairn
