#include "cairn/cursor/ReadBatch.h"

#include <algorithm>
#include <cstring>

#include "cairn/engine/io/BufferedFile.h"

namespace cairn {

bool TReadBatch::Take(int32_t number, char* record) {
  if (FNext >= FSlots.size()) return false;  // used up: the next batch may be larger
  if (FSlots[FNext] != number || FFile->ContentGeneration() != FGeneration) {
    FSlots.clear();
    FNext = 0;
    FCount = kFirstCount;
    return false;
  }
  std::memcpy(record, FRecords.data() + FNext * FRecordSize, FRecordSize);
  ++FNext;
  if (FNext == FSlots.size()) FCount = std::max(2 * FSlots.size(), kFirstCount);
  return true;
}

size_t TReadBatch::NextCount(const TBufferedFile& file, size_t recordSize) const {
  int64_t budget = file.MaximumBufferBytes();
  if (budget <= 0) budget = static_cast<int64_t>(file.BufferCapacity()) * file.BufferSize();
  // Three quarters of the budget: the cache keeps the rest.
  const size_t most = static_cast<size_t>(budget - budget / 4) / BytesPerRecord(recordSize);
  if (most < kFirstCount) return 0;
  return std::min(FCount, most);
}

void TReadBatch::Fill(TBufferedFile& file, std::vector<int32_t>&& slots, size_t recordSize) {
  if (FFile != &file) Release();
  FFile = &file;
  FSlots.clear();  // nothing to hand out unless the reads succeed
  FNext = 0;
  FRecordSize = recordSize;
  const int64_t wanted = static_cast<int64_t>(slots.size() * BytesPerRecord(recordSize));
  if (wanted > FReserved) {
    file.AddReservedBytes(wanted - FReserved);
    FReserved = wanted;
  }
  FRecords.resize(slots.size() * recordSize);
  file.GatherBlocks(slots.data(), slots.size(), FRecords.data());
  FSlots = std::move(slots);
  FGeneration = file.ContentGeneration();
}

void TReadBatch::Release() {
  if (FFile != nullptr && FReserved > 0) FFile->AddReservedBytes(-FReserved);
  FFile = nullptr;
  FReserved = 0;
  FSlots = {};
  FRecords = {};
  FNext = 0;
  FCount = kFirstCount;
}

}  // namespace cairn
