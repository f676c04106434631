#include "cairn/cursor/ReadBatch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/io/BufferedFile.h"

namespace cairn {

bool TReadBatch::Current() const {
  return FSource.Data->ContentGeneration() == FDataGeneration &&
         FSource.Index->ContentGeneration() == FIndexGeneration &&
         FSource.Index->TreeGeneration() == FTreeGeneration;
}

bool TReadBatch::Follows(int indexPos, bool forward, int32_t current,
                         const char* currentKey) const {
  return !FFilling && FNext > 0 && FNext < FSlots.size() && FSlots[FNext - 1] == current &&
         FSource.IndexPos == indexPos && FSource.Forward == forward && Current() &&
         std::memcmp(FKeys.data() + (FNext - 1) * FSource.KeySize, currentKey, FSource.KeySize) ==
             0;
}

int32_t TReadBatch::TakeNext(char* record, const char*& key) {
  std::memcpy(record, FRecords.data() + FNext * FSource.RecordSize, FSource.RecordSize);
  key = FKeys.data() + FNext * FSource.KeySize;
  const int32_t slot = FSlots[FNext++];
  if (UsedUp()) Grow();
  return slot;
}

bool TReadBatch::Take(int32_t number, char* record) {
  if (UsedUp()) return false;  // the next batch may be larger
  if (FFilling || FSlots[FNext] != number || !Current()) {
    FFilling = false;
    FSlots.clear();
    FNext = 0;
    FCount = kFirstCount;
    return false;
  }
  std::memcpy(record, FRecords.data() + FNext * FSource.RecordSize, FSource.RecordSize);
  ++FNext;
  if (UsedUp()) Grow();
  return true;
}

// A larger batch of scattered slots reads fewer bytes for each record it wants; slots that lie
// close together (a walk in slot order) are read whole already, and a larger batch would only
// hold more memory. Such a batch stops growing once its records fill one gathering read.
void TReadBatch::Grow() {
  const size_t size = FSlots.size();
  const bool dense = FSpan <= 2 * static_cast<int64_t>(size);
  if (dense && size * FSource.RecordSize >= static_cast<size_t>(TBufferedFile::kMaxGatherBytes)) {
    FCount = std::max(size, kFirstCount);
    return;
  }
  FCount = std::max(2 * size, kFirstCount);
}

size_t TReadBatch::NextCount(const TSource& source) const {
  int64_t budget = source.Data->MaximumBufferBytes();
  if (budget <= 0) {
    budget = static_cast<int64_t>(source.Data->BufferCapacity()) * source.Data->BufferSize();
  }
  // Three quarters of the budget: the cache keeps the rest.
  const size_t most = static_cast<size_t>(budget - budget / 4) / BytesPerEntry(source);
  if (most < kFirstCount) return 0;
  return std::min(FCount, most);
}

void TReadBatch::Begin(const TSource& source, std::vector<int32_t>*& slots,
                       std::vector<char>*& keys) {
  if (FSource.Data != source.Data) Release();
  FSource = source;
  FFilling = true;
  FSlots.clear();
  FKeys.clear();
  FNext = 0;
  slots = &FSlots;
  keys = &FKeys;
}

void TReadBatch::Finish(const TWalkHint& endHint) {
  const int64_t wanted = static_cast<int64_t>(FSlots.size() * BytesPerEntry(FSource));
  if (wanted > FReserved) {
    FSource.Data->AddReservedBytes(wanted - FReserved);
    FReserved = wanted;
  }
  FRecords.resize(FSlots.size() * FSource.RecordSize);
  // A walk in slot order comes to its slots one after another: the ends tell its span.
  FSpan = FSlots.empty() ? 0 : std::abs(int64_t{FSlots.back()} - FSlots.front()) + 1;
  FSource.Data->GatherBlocks(FSlots.data(), FSlots.size(), FRecords.data(), FScratch);
  FFilling = false;  // the entries may be handed out now
  FEndHint = endHint;
  FDataGeneration = FSource.Data->ContentGeneration();
  FIndexGeneration = FSource.Index->ContentGeneration();
  FTreeGeneration = FSource.Index->TreeGeneration();
}

void TReadBatch::Release() {
  if (FSource.Data != nullptr && FReserved > 0) FSource.Data->AddReservedBytes(-FReserved);
  FSource = {};
  FReserved = 0;
  FSlots = {};
  FKeys = {};
  FRecords = {};
  FScratch = {};
  FFilling = false;
  FNext = 0;
  FCount = kFirstCount;
}

}  // namespace cairn
