// Entries a walk through an index will come to next, with their records, read ahead together.
//
// A cursor that walks an index of a table it holds exclusively can collect the next entries
// (keys and slot numbers) before it steps there: reading their records in slot order, many
// with one call (TBufferedFile::GatherBlocks), costs far less than a call and a cache buffer per
// record when the records lie scattered over a file the cache cannot hold. The batch keeps the
// entries in walk order and serves the steps that go on from one entry to the next, in the same
// index and direction, while neither file's content changes (TBufferedFile::ContentGeneration);
// any other step ends it.
//
// Its memory counts against the data file's byte budget (TBufferedFile::AddReservedBytes), so
// the cache makes room for it. A batch starts small and doubles while it is used up, so that a
// cursor going back and forth reads little ahead in vain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cairn/cursor/IndexWalker.h"

namespace cairn {

class TBufferedFile;
class TIndexFile;

class TReadBatch {
 public:
  static constexpr size_t kFirstCount = 64;

  // Where a batch is read from and how its entries were found.
  struct TSource {
    TBufferedFile* Data = nullptr;
    const TIndexFile* Index = nullptr;
    int IndexPos = 0;
    bool Forward = true;
    size_t RecordSize = 0;
    size_t KeySize = 0;
  };

  TReadBatch() = default;
  TReadBatch(const TReadBatch&) = delete;
  TReadBatch& operator=(const TReadBatch&) = delete;

  // Whether the batch holds the entry after (in the walk's direction) the one of slot current
  // and key currentKey, which it served last, still as it was read.
  bool Follows(int indexPos, bool forward, int32_t current, const char* currentKey) const;
  // After Follows: the next entry's record copied to record, its key; returns its slot.
  int32_t TakeNext(char* record, const char*& key);
  // The record of slot number into record when it is the batch's next entry and still as read;
  // otherwise false, and a batch left before its end starts small again.
  bool Take(int32_t number, char* record);
  // Whether the batch has served its last entry: the walk goes on from there with EndHint.
  bool UsedUp() const { return FNext >= FSlots.size(); }
  const TWalkHint& EndHint() const { return FEndHint; }

  // How many entries the next batch should hold; 0 when a batch within three quarters of the
  // data file's byte budget would be too small to pay.
  size_t NextCount(const TSource& source) const;
  // Filling a batch: Begin ends the batch there is and hands out its (empty) slot and key lists;
  // the caller appends the entries in walk order (each slot in 1 ... the data file's blocks, the
  // keys KeySize bytes each), then Finish reads their records. endHint: the walk's hint at the
  // last entry.
  void Begin(const TSource& source, std::vector<int32_t>*& slots, std::vector<char>*& keys);
  void Finish(const TWalkHint& endHint);
  // Frees the entries and gives the memory back to the budget; before the data file closes.
  void Release();
  // Memory the batch counts against the budget for one entry: the record, the key, its slot
  // number and the gathering's two sort entries.
  static size_t BytesPerEntry(const TSource& source) {
    return source.RecordSize + source.KeySize + 20;
  }

 private:
  bool Current() const;
  // Sets the size of the next batch after this one was used up.
  void Grow();

  TSource FSource;
  std::vector<int32_t> FSlots;
  std::vector<char> FKeys;
  std::vector<char> FRecords;
  std::vector<uint64_t> FScratch;  // GatherBlocks'
  // From Begin until Finish has read the records: no entry is handed out (a walk or a read that
  // failed in between leaves the lists half filled).
  bool FFilling = false;
  size_t FNext = 0;
  uint64_t FDataGeneration = 0;
  uint64_t FIndexGeneration = 0;
  uint64_t FTreeGeneration = 0;
  TWalkHint FEndHint;
  int64_t FReserved = 0;
  // The slots from the batch's first to its last.
  int64_t FSpan = 0;
  // The size of the next batch: doubled when one was used up, back to kFirstCount when a step
  // left it.
  size_t FCount = kFirstCount;
};

}  // namespace cairn
