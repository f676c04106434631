// Reading records back (TDataCursor's navigation): in slot order or in the order of the current
// index, in both directions, under the table's read lock so that a shared cursor first notices
// what other processes changed.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/IndexWalker.h"
#include "cairn/cursor/TableLockGuards.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

namespace {

// A cache-miss restart is retried this often before the index counts as damaged.
constexpr int kRestarts = 3;
// Slots read at once when stepping through slot order: at least kSlotReadAhead; small records
// up to kSlotReadBytes a read, at most kMaxSlotReadAhead slots and a quarter of the cache. Each
// read is a system call, which costs more than copying a few KB.
constexpr int32_t kSlotReadAhead = 16;
constexpr int32_t kMaxSlotReadAhead = 64;
constexpr int32_t kSlotReadBytes = 16 * 1024;

int32_t SlotRunLength(const TDataFile& file) {
  const int32_t bySize = kSlotReadBytes / std::max(file.IOBlockSize(), 1);
  return std::max(kSlotReadAhead, std::min({bySize, kMaxSlotReadAhead, file.ReadAheadReserve()}));
}

}  // namespace

// Neighbours are worth reading along when the cursor walks from slot to slot (slot order, or an
// index that follows it), or when the cache holds most of the file, so that a walk in any order
// comes by them before they leave. Otherwise each would cost a buffer and evict another.
bool TDataCursor::WalkingTo(int32_t number) const {
  return FLastSlotRead > 0 && (number == FLastSlotRead + 1 || number == FLastSlotRead - 1);
}

bool TDataCursor::MostlyCached() const {
  const TDataFile& file = FDataTable->DataFile();
  return file.BufferCapacity() >= static_cast<size_t>(file.IOBlocksUsed()) / 2;
}

int32_t TDataCursor::SlotReadAhead(int32_t number) const {
  // A walk reads long runs: all of them will be wanted, one after another.
  if (WalkingTo(number)) return SlotRunLength(FDataTable->DataFile());
  return MostlyCached() ? kSlotReadAhead : 1;
}

bool TDataCursor::ReadSlot(int32_t number, char* record) {
  TDataFile& file = FDataTable->DataFile();
  if (number < 1 || number >= file.NextEndingRecord()) return false;
  // Where neighbours are read along, the slot is mostly cached: a copy spares holding its
  // buffer. Elsewhere a hit is rare, and a look-up before the read would be wasted.
  if (!WalkingTo(number) && !MostlyCached()) {
    CopySlotThroughCache(number, 1, record);
  } else if (!file.CopyCachedBlock(number, record)) {
    CopySlotThroughCache(number, SlotReadAhead(number), record);
  }
  return TakeSlot(number, record);
}

bool TDataCursor::TakeSlot(int32_t number, char* record) {
  FLastSlotRead = number;
  if (static_cast<uint8_t>(record[TRecord::kStatusAt]) != TRecord::kLive) return false;
  // A record read back carries its slot number, as a posted one does: the blobs opened in it
  // find their record again through it.
  EncodeInt32(record + TRecord::kNextFreeAt, number);
  return true;
}

// Whether the cache holds most of the file now: a walk then finds most records there.
bool TDataCursor::MostlyHeld() const {
  const TDataFile& file = FDataTable->DataFile();
  return file.BufferCount() >= static_cast<size_t>(file.IOBlocksUsed()) / 2;
}

// Batches pay wherever the cache does not serve the walk: it holds little of the file now. A
// cache that could hold the file but does not yet would take in a buffer per record, and with
// scattered slots read many it evicts unused; a batch takes in none. Only a cursor of an
// exclusive table reads ahead: a shared one must see each record as it is when it steps there.
bool TDataCursor::ReadSlotInWalk(int32_t number, char* record, bool forward) {
  if (FReadBatch.Take(number, record)) return TakeSlot(number, record);
  TDataFile& file = FDataTable->DataFile();
  const TReadBatch::TSource source = BatchSource(forward);
  const size_t count = FDataTable->Exclusive() && !MostlyHeld() ? FReadBatch.NextCount(source) : 0;
  if (count == 0 || number < 1 || number >= file.NextEndingRecord()) {
    return ReadSlot(number, record);
  }
  FillReadBatch(source, number, count);
  if (!FReadBatch.Take(number, record)) return ReadSlot(number, record);
  return TakeSlot(number, record);
}

TReadBatch::TSource TDataCursor::BatchSource(bool forward) const {
  return {&FDataTable->DataFile(), &FDataTable->IndexFile(), FIndexPos, forward, FRecordSize,
          FKeys.KeySize()};
}

// Walks on from the entry just found (its key in FKeyBuffer) with a walker of its own, collecting
// up to count entries, then reads their records.
void TDataCursor::FillReadBatch(const TReadBatch::TSource& source, int32_t number, size_t count) {
  const size_t keySize = source.KeySize;
  std::vector<int32_t>* slots = nullptr;
  std::vector<char>* keys = nullptr;
  FReadBatch.Begin(source, slots, keys);
  slots->reserve(count);
  slots->push_back(number);
  keys->reserve(count * keySize);
  keys->insert(keys->end(), FKeyBuffer.begin(), FKeyBuffer.begin() + keySize);
  TWalkHint hint = FWalkHint;
  TIndexWalker walker(FDataTable->IndexFile(), FKeys, &hint);
  walker.Collect(FKeyBuffer.data(), source.Forward, count - 1, *slots, *keys);
  // An entry without a record ends the batch before it: the walk itself reports it there.
  const int32_t end = FDataTable->DataFile().NextEndingRecord();
  const auto bad = std::find_if(slots->begin(), slots->end(),
                                [end](int32_t slot) { return slot < 1 || slot >= end; });
  if (bad != slots->end()) {
    slots->erase(bad, slots->end());
    keys->resize(slots->size() * keySize);
    hint.Clear();  // it stands on an entry the batch does not hold
  }
  FReadBatch.Finish(hint);
}

// An index entry names a live record with the entry's key; anything else is a damaged index or
// record. Going on from a record whose key differs from its entry would find that entry again and
// again. Leaves the record's key in FRecordKey.
void TDataCursor::RequireEntryRecord(bool live, const char* record, const char* entryKey) {
  if (!live) FDataTable->IndexFile().RaiseCorruptIndex(FIndexPos);
  FKeys.Build(record, FRecordKey.data());
  if (std::memcmp(FRecordKey.data(), entryKey, FRecordKey.size()) != 0)
    FDataTable->IndexFile().RaiseCorruptIndex(FIndexPos);
}

// A step from the entry the batch served last to the next one, without walking the index.
bool TDataCursor::StepInBatch(char* record, bool forward) {
  if (FPosition != TPosition::OnRecord ||
      !FReadBatch.Follows(FIndexPos, forward, FCurRecordNumber, FPositionKey.data()))
    return false;
  const char* key = nullptr;
  const int32_t number = FReadBatch.TakeNext(record, key);
  RequireEntryRecord(TakeSlot(number, record), record, key);
  PositionOn(number, record, FRecordKey.data());
  // The walk goes on from the batch's last entry as if it had stepped there.
  if (FReadBatch.UsedUp()) FWalkHint = FReadBatch.EndHint();
  return true;
}

// A slot the cache does not hold: read with its neighbours, again when the table changed under
// the read.
void TDataCursor::CopySlotThroughCache(int32_t number, int32_t readAhead, char* record) {
  TDataFile& file = FDataTable->DataFile();
  const TBufferRequest request{FDataTable->Exclusive(), readAhead};
  for (int attempt = 0; attempt < kRestarts; ++attempt) {
    TBuffer* buffer = nullptr;
    if (!file.GetBuffer(request, number, true, TReadAheadDirection::Forward, buffer)) continue;
    buffer->CopyToBuffer(record);
    file.PutBuffer(buffer);
    return;
  }
  RaiseError(CAIRN_HEADERCORRUPT);
}

void TDataCursor::PositionOn(int32_t number, const char* record, const char* key) {
  FCurRecordNumber = number;
  FPosition = TPosition::OnRecord;
  if (record != FCurrentRecord.data()) std::memcpy(FCurrentRecord.data(), record, FRecordSize);
  if (key != nullptr) {
    std::memcpy(FPositionKey.data(), key, FPositionKey.size());
  } else {
    FKeys.Build(record, FPositionKey.data());
  }
}

void TDataCursor::SetToBegin() {
  FPosition = TPosition::Begin;
  FCurRecordNumber = 0;
}

void TDataCursor::SetToEnd() {
  FPosition = TPosition::End;
  FCurRecordNumber = 0;
}

void TDataCursor::SetSlotOrder(bool value) {
  FSlotOrder = value;
}

uint16_t TDataCursor::GetFirstRecord(char* record) {
  SetToBegin();
  return GetNextRecord(record);
}

uint16_t TDataCursor::GetLastRecord(char* record) {
  SetToEnd();
  return GetPriorRecord(record);
}

uint16_t TDataCursor::GetNextRecord(char* record) {
  return Step(record, true);
}

uint16_t TDataCursor::GetPriorRecord(char* record) {
  return Step(record, false);
}

uint16_t TDataCursor::Step(char* record, bool forward) {
  RequireOpen();
  if (forward && FPosition == TPosition::End) return CAIRN_EOF;
  if (!forward && FPosition == TPosition::Begin) return CAIRN_BOF;
  TTableReadLock readLock(*FDataTable);
  const uint16_t code =
      FSlotOrder ? StepInSlotOrder(record, forward) : StepInIndex(record, forward);
  if (code == CAIRN_EOF) SetToEnd();
  if (code == CAIRN_BOF) SetToBegin();
  return code;
}

uint16_t TDataCursor::StepInSlotOrder(char* record, bool forward) {
  const int32_t end = FDataTable->DataFile().NextEndingRecord();
  int32_t number = 0;
  if (FPosition == TPosition::OnRecord) {
    number = FCurRecordNumber + (forward ? 1 : -1);
  } else {
    number = forward ? 1 : end - 1;
  }
  for (; number >= 1 && number < end; number += forward ? 1 : -1) {
    if (ReadSlot(number, record)) {
      PositionOn(number, record);
      return 0;
    }
  }
  return forward ? CAIRN_EOF : CAIRN_BOF;
}

uint16_t TDataCursor::StepInIndex(char* record, bool forward) {
  if (StepInBatch(record, forward)) return 0;
  TIndexFile& indexFile = FDataTable->IndexFile();
  TIndexWalker walker(indexFile, FKeys, &FWalkHint);
  const char* from = FPosition == TPosition::OnRecord ? FPositionKey.data() : nullptr;
  for (int attempt = 0; attempt < kRestarts; ++attempt) {
    try {
      const int32_t number =
          forward ? walker.Next(from, FKeyBuffer.data()) : walker.Prior(from, FKeyBuffer.data());
      if (number == 0) return forward ? CAIRN_EOF : CAIRN_BOF;
      RequireEntryRecord(ReadSlotInWalk(number, record, forward), record, FKeyBuffer.data());
      PositionOn(number, record, FRecordKey.data());
      return 0;
    } catch (const ETableChanged&) {
      // The caches were dropped under the walk: walk again.
    }
  }
  indexFile.RaiseCorruptIndex(FIndexPos);
}

// Only this cursor writes an exclusive table, and every change of its data file (a block given
// back dirty, appended or rolled back, the cache dropped) moves the file's content generation.
bool TDataCursor::HoldsAppendedRecord() const {
  return FAppendedSlot != 0 && FCurRecordNumber == FAppendedSlot &&
         FDataTable->DataFile().ContentGeneration() == FAppendedGeneration;
}

uint16_t TDataCursor::GetCurrentRecord(char* record, bool lockIt) {
  RequireOpen();
  (void)lockIt;  // editing records (which keeps them locked) does not exist yet
  if (FPosition != TPosition::OnRecord) {
    return FPosition == TPosition::Begin ? CAIRN_BOF : CAIRN_EOF;
  }
  if (HoldsAppendedRecord()) {
    // What a read of the slot would give: nothing has changed the data file since the append.
    std::memcpy(record, FCurrentRecord.data(), FRecordSize);
    TakeSlot(FCurRecordNumber, record);
    EncodeInt32(FCurrentRecord.data() + TRecord::kNextFreeAt, FCurRecordNumber);
    return 0;
  }
  TTableReadLock readLock(*FDataTable);
  // The slot must still hold the same record (a slot is reused after a delete).
  if (!ReadSlot(FCurRecordNumber, record) ||
      DecodeInt32(record + TRecord::kRecordIDAt) !=
          DecodeInt32(FCurrentRecord.data() + TRecord::kRecordIDAt)) {
    return CAIRN_KEYORRECDELETED;
  }
  PositionOn(FCurRecordNumber, record);
  return 0;
}

uint16_t TDataCursor::SetToBookmark(int32_t bookmark) {
  RequireOpen();
  TTableReadLock readLock(*FDataTable);
  if (!ReadSlot(bookmark, FScratchRecord.data())) return CAIRN_KEYORRECDELETED;
  PositionOn(bookmark, FScratchRecord.data());
  return 0;
}

int32_t TDataCursor::RecordCount() {
  RequireOpen();
  TTableReadLock readLock(*FDataTable);
  return FDataTable->DataFile().RecordCount();
}

void TDataCursor::CheckError(uint16_t code) const {
  if (code != 0) RaiseError(code);
}

}  // namespace cairn
