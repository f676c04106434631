// Records a walk through an index will come to next, read together ahead of the walk.
//
// A cursor that walks an index of a table it holds exclusively knows the next entries' slot
// numbers before it needs their records: reading them in slot order, many with one call
// (TBufferedFile::GatherBlocks), costs far less than a call and a cache buffer per record when
// the records lie scattered over a file the cache cannot hold. The batch keeps the records in
// walk order and hands them out while the walk comes to exactly these slots and the data file's
// content stands still; the first step elsewhere ends it.
//
// Its memory counts against the data file's byte budget (TBufferedFile::AddReservedBytes), so
// the cache makes room for it. A batch starts small and doubles while it is used up, so that a
// cursor going back and forth reads little ahead in vain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cairn {

class TBufferedFile;

class TReadBatch {
 public:
  static constexpr size_t kFirstCount = 64;

  TReadBatch() = default;
  TReadBatch(const TReadBatch&) = delete;
  TReadBatch& operator=(const TReadBatch&) = delete;

  // The record of slot number into record (recordSize bytes) when it is the batch's next one
  // and still as read; otherwise false, and the batch is over.
  bool Take(int32_t number, char* record);
  // How many slots the next batch should hold for records of recordSize bytes, with file's
  // byte budget; 0 when a batch would be too small to pay.
  size_t NextCount(const TBufferedFile& file, size_t recordSize) const;
  // Reads the records of slots (walk order; each in 1 ... the file's blocks) from file.
  void Fill(TBufferedFile& file, std::vector<int32_t>&& slots, size_t recordSize);
  // Frees the records and gives the memory back to the file's budget; before the file closes.
  void Release();
  // Memory the batch counts against the budget for one record of recordSize bytes: the record,
  // its slot number and the gathering's sort entry.
  static size_t BytesPerRecord(size_t recordSize) { return recordSize + 12; }

 private:
  TBufferedFile* FFile = nullptr;
  std::vector<int32_t> FSlots;
  std::vector<char> FRecords;
  size_t FRecordSize = 0;
  size_t FNext = 0;
  uint64_t FGeneration = 0;
  int64_t FReserved = 0;
  // The size of the next batch: doubled when one was used up, back to kFirstCount when a step
  // left it.
  size_t FCount = kFirstCount;
};

}  // namespace cairn
