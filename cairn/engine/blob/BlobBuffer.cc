#include "cairn/engine/blob/BlobBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace cairn {

void TBlobBuffer::SetSize(size_t value) {
  if (value == FBuffer.size()) return;
  FBuffer.resize(value, '\0');
  FIsDirty = true;
}

void TBlobBuffer::LoadValue(std::vector<char> value) {
  FBuffer = std::move(value);
  FIsDirty = false;
}

size_t TBlobBuffer::GetData(size_t offset, size_t length, void* destination) const {
  if (offset >= FBuffer.size()) return 0;
  const size_t count = std::min(length, FBuffer.size() - offset);
  if (count > 0) std::memcpy(destination, FBuffer.data() + offset, count);
  return count;
}

void TBlobBuffer::PutData(size_t offset, size_t length, const void* source) {
  if (length > std::numeric_limits<size_t>::max() - offset) {
    throw std::length_error("blob range beyond the addressable size");
  }
  if (offset + length > FBuffer.size()) FBuffer.resize(offset + length, '\0');
  if (length > 0) std::memcpy(FBuffer.data() + offset, source, length);
  FIsDirty = true;
}

void TBlobBuffer::IncUseCount() {
  if (FUseCount < std::numeric_limits<uint16_t>::max()) ++FUseCount;
}

void TBlobBuffer::DecUseCount() {
  if (FUseCount > 0) --FUseCount;
}

}  // namespace cairn
