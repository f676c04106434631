// The cached buffers of a file by block number.
//
// An open-addressing hash table of owned buffers, keyed by each buffer's own number: a slot is
// either empty or holds one buffer, a look-up probes from the number's home slot to the first
// empty one. The table is at most half full, so a look-up mostly takes one probe; taking a buffer
// in or out allocates nothing and moves no buffer, only the owning pointers of a few neighbouring
// slots. The table doubles when it fills and is sized by what the cache holds, not by its budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "cairn/engine/io/Buffer.h"

namespace cairn {

class TBufferMap {
 public:
  TBufferMap() = default;
  TBufferMap(const TBufferMap&) = delete;
  TBufferMap& operator=(const TBufferMap&) = delete;

  size_t Size() const { return FCount; }
  // The memory of the slot table.
  size_t SlotBytes() const { return FSlots.capacity() * sizeof(FSlots[0]); }
  bool Empty() const { return FCount == 0; }
  // Counts the buffers that left the map (extracted or cleared). While it stands still, a buffer
  // found before is still held, under the number it had then.
  uint64_t Departures() const { return FDepartures; }

  // The buffer of block number, or null.
  TBuffer* Find(int32_t number) const {
    if (FCount == 0) return nullptr;
    for (size_t i = Home(number);; i = (i + 1) & FMask) {
      TBuffer* buffer = FSlots[i].get();
      if (buffer == nullptr || buffer->Number() == number) return buffer;
    }
  }
  bool Contains(int32_t number) const { return Find(number) != nullptr; }

  // Takes a buffer whose number no buffer of the map has.
  void Insert(std::unique_ptr<TBuffer> buffer) {
    if (2 * (FCount + 1) > FSlots.size()) Grow();
    size_t i = Home(buffer->Number());
    while (FSlots[i] != nullptr) i = (i + 1) & FMask;
    FSlots[i] = std::move(buffer);
    ++FCount;
  }

  // Gives up buffer; null when the map does not hold this very buffer under its number.
  std::unique_ptr<TBuffer> Extract(const TBuffer* buffer) {
    if (FCount == 0) return nullptr;
    size_t i = Home(buffer->Number());
    while (FSlots[i] != nullptr && FSlots[i].get() != buffer) i = (i + 1) & FMask;
    if (FSlots[i] == nullptr) return nullptr;
    std::unique_ptr<TBuffer> owned = std::move(FSlots[i]);
    --FCount;
    ++FDepartures;
    // Moves back the buffers after the hole that could no longer be found across it.
    for (size_t j = (i + 1) & FMask; FSlots[j] != nullptr; j = (j + 1) & FMask) {
      const size_t home = Home(FSlots[j]->Number());
      const bool reachable = i <= j ? (home > i && home <= j) : (home > i || home <= j);
      if (reachable) continue;
      FSlots[i] = std::move(FSlots[j]);
      i = j;
    }
    return owned;
  }

  void Clear() {
    if (FCount > 0) ++FDepartures;
    std::vector<std::unique_ptr<TBuffer>>().swap(FSlots);
    FCount = 0;
    FMask = 0;
  }

  // Calls f for every buffer, in no particular order; f must not change the map.
  template <class F>
  void ForEach(F&& f) const {
    for (const std::unique_ptr<TBuffer>& slot : FSlots) {
      if (slot != nullptr) f(slot.get());
    }
  }

 private:
  size_t Home(int32_t number) const {
    // Fibonacci hashing: neighbouring blocks land far apart.
    return static_cast<size_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(number)) * 0x9E3779B97F4A7C15ull) >> FShift);
  }

  void Grow() {
    std::vector<std::unique_ptr<TBuffer>> old = std::move(FSlots);
    const size_t size = old.empty() ? 16 : old.size() * 2;
    FSlots = std::vector<std::unique_ptr<TBuffer>>(size);
    FMask = size - 1;
    FShift = 64;
    for (size_t s = size; s > 1; s >>= 1) --FShift;
    FCount = 0;
    for (std::unique_ptr<TBuffer>& buffer : old) {
      if (buffer != nullptr) Insert(std::move(buffer));
    }
  }

  std::vector<std::unique_ptr<TBuffer>> FSlots;
  size_t FCount = 0;
  uint64_t FDepartures = 0;
  size_t FMask = 0;
  int FShift = 64;
};

}  // namespace cairn
