#include "cairn/engine/io/BufferedFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

// Releases a transient read or write buffer when an operation ends, also by an exception. One
// of at most kKeptBytes keeps its allocation and size for the next operation: the reads of
// single records and pages come one after another. Its bytes are not cleared in between: a read
// sets those it uses.
class TBufferedFile::TTransientBuffer {
 public:
  TTransientBuffer(std::vector<char>& buffer, int64_t size, int64_t* readSize = nullptr,
                   int64_t* readFilePos = nullptr)
      : FBuffer(buffer), FReadSize(readSize), FReadFilePos(readFilePos) {
    if (FBuffer.size() < static_cast<size_t>(size)) FBuffer.resize(static_cast<size_t>(size));
  }
  ~TTransientBuffer() {
    if (FBuffer.capacity() > kKeptBytes) std::vector<char>().swap(FBuffer);
    if (FReadSize) *FReadSize = 0;
    if (FReadFilePos) *FReadFilePos = 0;
  }
  TTransientBuffer(const TTransientBuffer&) = delete;
  TTransientBuffer& operator=(const TTransientBuffer&) = delete;

 private:
  static constexpr size_t kKeptBytes = 64 * 1024;

  std::vector<char>& FBuffer;
  int64_t* FReadSize;
  int64_t* FReadFilePos;
};

TBufferedFile::TBufferedFile(TEngineServices& engine, TBufferedFileOwner* owner)
    : TEngineFile(engine), FOwner(owner) {}

TBufferedFile::~TBufferedFile() {
  FreeBuffers();
}

std::string TBufferedFile::ProperFileName() const {
  return FOwner ? FOwner->ProperTableName() : TEngineFile::ProperFileName();
}

std::string TBufferedFile::ProperDatabaseName() const {
  return FOwner ? FOwner->DatabaseName() : TEngineFile::ProperDatabaseName();
}

const TCipher* TBufferedFile::Cipher() const {
  return FOwner ? FOwner->Cipher() : nullptr;
}

void TBufferedFile::OpenFile() {
  if (IsOpen()) return;
  TEngineFile::OpenFile();
  InitializeBuffers();
}

void TBufferedFile::CloseFile() {
  FreeBuffers();
  TEngineFile::CloseFile();
}

void TBufferedFile::CreateFile() {
  TEngineFile::CreateFile();
  FreeBuffers();
  InitializeBuffers();
}

int64_t TBufferedFile::LogicalFileSize() const {
  return HeaderSize() + static_cast<int64_t>(IOBlocksUsed()) * IOBlockSize();
}

int64_t TBufferedFile::BlockOffset(int32_t number) const {
  return HeaderSize() + static_cast<int64_t>(number - 1) * IOBlockSize();
}

void TBufferedFile::ReportCorruptBuffers() const {
  RaiseError(CorruptBufferError());
}

int32_t TBufferedFile::MaximumBufferCountFor(int64_t budget, int32_t bufferSize, int32_t overhead,
                                             int32_t countLimit) {
  if (bufferSize <= 0) return std::max(countLimit, 1);
  const int64_t count = std::min<int64_t>(budget / (int64_t{bufferSize} + overhead), countLimit);
  return static_cast<int32_t>(std::max<int64_t>(count, 1));
}

void TBufferedFile::CheckAppendLimits(int64_t maximumFileSize, int64_t maximumBlocks) {
  if ((maximumBlocks > 0 && IOBlocksUsed() >= maximumBlocks) ||
      LogicalFileSize() > maximumFileSize) {
    RaiseError(CAIRN_TABLEFULL);
  }
}

void TBufferedFile::CheckSizeLimit() {
  CheckAppendLimits(Engine().MaximumFileSize(), 0);
}

// ---- Lists ----------------------------------------------------------------------------------

void TBufferedFile::Unlink(TBuffer* buffer) {
  if (buffer == FNoFreeFrom) FNoFreeFrom = buffer->FNextBuffer;
  if (buffer == FCompactedFrom) FCompactedFrom = buffer->FNextBuffer;
  if (buffer->FPrevBuffer) {
    buffer->FPrevBuffer->FNextBuffer = buffer->FNextBuffer;
  } else if (FFirstBuffer == buffer) {
    FFirstBuffer = buffer->FNextBuffer;
  }
  if (buffer->FNextBuffer) {
    buffer->FNextBuffer->FPrevBuffer = buffer->FPrevBuffer;
  } else if (FLastBuffer == buffer) {
    FLastBuffer = buffer->FPrevBuffer;
  }
  buffer->FNextBuffer = nullptr;
  buffer->FPrevBuffer = nullptr;
}

void TBufferedFile::LinkFront(TBuffer* buffer) {
  if (++FRecencyClock == 0) RenumberRecency();
  buffer->FRecency = FRecencyClock;
  buffer->FPrevBuffer = nullptr;
  buffer->FNextBuffer = FFirstBuffer;
  if (FFirstBuffer) FFirstBuffer->FPrevBuffer = buffer;
  FFirstBuffer = buffer;
  if (FLastBuffer == nullptr) FLastBuffer = buffer;
}

// The clock ran out: the list is stamped again from 1, keeping its order. Earlier uses keep only
// whether there was one, and every use so far counts as an earlier operation's.
void TBufferedFile::RenumberRecency() {
  FRecencyClock = 0;
  for (TBuffer* b = FLastBuffer; b != nullptr; b = b->FPrevBuffer) {
    b->FRecency = ++FRecencyClock;
    b->FPreviousUse = std::min<uint32_t>(b->FPreviousUse, 1);
  }
  FOperationStart = FRecencyClock;
  ++FRecencyClock;
  ForgetLeftBlocks();
}

void TBufferedFile::RememberLeaving(const TBuffer& buffer) {
  FLeftBlocks[FNextLeftBlock] = TLeftBlock{buffer.FNumber, buffer.FRecency};
  FNextLeftBlock = (FNextLeftBlock + 1) % kRememberedBlocks;
  FLeftBlockCount = std::min(FLeftBlockCount + 1, kRememberedBlocks);
}

void TBufferedFile::ForgetLeftBlocks() {
  FLeftBlocks.fill(TLeftBlock{});
  FNextLeftBlock = 0;
  FLeftBlockCount = 0;
}

// Only a block in the file can have left: an appended one is new.
uint32_t TBufferedFile::RememberedUse(int32_t number) const {
  if (FLeftBlockCount == 0 || number > IOBlocksUsed()) return 0;
  uint32_t lastUse = 0;
  for (size_t i = 0; i < FLeftBlockCount; ++i) {
    const TLeftBlock& left = FLeftBlocks[i];
    if (left.Number == number) lastUse = std::max(lastUse, left.LastUse);
  }
  return lastUse;
}

// The front buffer used again is stamped anew, as if it went to the front.
void TBufferedFile::LinkFrontAgain(TBuffer* buffer) {
  if (++FRecencyClock == 0) RenumberRecency();
  buffer->FRecency = FRecencyClock;
}

void TBufferedFile::MoveToFront(TBuffer* buffer) {
  if (FFirstBuffer == buffer) return;
  Unlink(buffer);
  LinkFront(buffer);
}

TBuffer* TBufferedFile::FindBuffer(int32_t number) const {
  return FBuffers.Find(number);
}

// The most recent buffers first, then the hash map.
TBuffer* TBufferedFile::LookUp(int32_t number) {
  TBuffer* buffer = FFirstBuffer;
  const int32_t recent = MRUBuffers();
  for (int32_t i = 0; buffer != nullptr && i < recent; ++i, buffer = buffer->FNextBuffer) {
    if (buffer->FNumber == number) return buffer;
  }
  return FindBuffer(number);
}

std::unique_ptr<TBuffer> TBufferedFile::RemoveFromSorted(TBuffer* buffer) {
  std::unique_ptr<TBuffer> owned = FBuffers.Extract(buffer);
  if (owned == nullptr) ReportCorruptBuffers();
  if (owned->FCompacted) --FCompactedCount;
  FHeldBytes -= static_cast<int64_t>(owned->FCountedBytes);
  owned->FCountedBytes = 0;
  return owned;
}

void TBufferedFile::Recount(TBuffer* buffer) {
  const size_t held = buffer->HeldBytes();
  FHeldBytes += static_cast<int64_t>(held) - static_cast<int64_t>(buffer->FCountedBytes);
  buffer->FCountedBytes = held;
}

int64_t TBufferedFile::CacheBytes() const {
  return FHeldBytes + FReservedBytes + static_cast<int64_t>(FBuffers.SlotBytes()) +
         static_cast<int64_t>(FWriteBuffers.capacity() * sizeof(TBuffer*));
}

bool TBufferedFile::OverByteBudget() const {
  return CacheBytes() > FByteLimit;
}

void TBufferedFile::TakeByteLimit() {
  const int64_t budget = MaximumBufferBytes();
  FByteLimit = budget > 0 ? budget + kByteBudgetTolerance : std::numeric_limits<int64_t>::max();
}

// ---- Getting and releasing blocks -----------------------------------------------------------

bool TBufferedFile::GetBuffer(const TBufferRequest& request, int32_t number, bool readAhead,
                              TReadAheadDirection direction, TBuffer*& buffer) {
  buffer = nullptr;
  if (number <= 0) ReportCorruptBuffers();
  const int64_t used = IOBlocksUsed();
  if (number > used + 1) ReportCorruptBuffers();  // beyond the end: a damaged chain or header
  if (number == used + 1) {
    buffer = AppendBuffer(number);
    return true;  // an appended block needs no image: an undo drops it
  }
  TBuffer* found = LookUp(number);
  if (found != nullptr) {
    ++FCacheHits;
    NoteUse(found);
    MoveToFront(found);
    if (found->FCompacted) found->Thaw();
  } else {
    if (FOwner != nullptr && !FOwner->StrictChangeDetection() && !request.Exclusive &&
        !FOwner->MarkedReadOnly() && FOwner->ReadLockForMiss()) {
      return false;  // another writer changed the table; its cached blocks are gone
    }
    int32_t count = 1;
    if (readAhead && direction != TReadAheadDirection::None) {
      count = std::max(ReadAheadCount(request), 1);
      // Never beyond the last block, never below block 1.
      const int64_t available =
          direction == TReadAheadDirection::Forward ? used + 1 - number : int64_t{number};
      count = static_cast<int32_t>(std::min<int64_t>(count, available));
    }
    ReadBlocks(number, count, direction == TReadAheadDirection::Backward);
    found = FindBuffer(number);
  }
  if (found == nullptr || found->FNumber != number) ReportCorruptBuffers();
  if (FUndoActive) MarkForUndo(found);
  ++found->FUseCount;
  buffer = found;
  // A hit takes in nothing, but the pages may have grown past the budget since; any request may
  // evict what is not held, a hit as well as a miss.
  if (OverByteBudget()) DropCleanOverByteBudget();
  return true;
}

// The hit path of GetBuffer for a buffer known to be cached still.
bool TBufferedFile::RepinBuffer(TBuffer* buffer, uint64_t departures) {
  if (buffer == nullptr || departures != FBuffers.Departures()) return false;
  ++FCacheHits;
  NoteUse(buffer);
  MoveToFront(buffer);
  if (buffer->FCompacted) buffer->Thaw();
  if (FUndoActive) MarkForUndo(buffer);
  ++buffer->FUseCount;
  return true;
}

bool TBufferedFile::CopyCachedBlock(int32_t number, void* destination) {
  TBuffer* buffer = FindBuffer(number);
  if (buffer == nullptr) return false;
  ++FCacheHits;
  NoteUse(buffer);
  MoveToFront(buffer);
  buffer->CopyToBuffer(destination);
  return true;
}

void TBufferedFile::DropIfFree(int32_t number) {
  // A full cache recycles its coldest buffer, this one, for the next block: freeing it would
  // only make that block allocate a new one.
  if (FBufferAll || FullBufferCount() >= FCapacity || OverByteBudget()) return;
  TBuffer* buffer = FindBuffer(number);
  if (buffer == nullptr || !IsFree(*buffer)) return;
  Unlink(buffer);
  RemoveFromSorted(buffer);
}

// An appended block exists only in the cache until the next flush.
TBuffer* TBufferedFile::AppendBuffer(int32_t number) {
  CheckSizeLimit();
  TBuffer* buffer = TakeBuffer(number);
  ++FContentGeneration;
  buffer->FUseCount = 1;
  ++FCacheHits;
  CountAppendedBlock();
  return buffer;
}

void TBufferedFile::PutBuffer(TBuffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer->FUseCount > 0) --buffer->FUseCount;
  if (IsFree(*buffer)) NoteMayBeFree(*buffer);
  if (buffer->FIsDirty) ++FContentGeneration;
  if (buffer->FIsDirty && !buffer->FWriteFlag) {
    FWriteBuffers.push_back(buffer);  // first: a failed allocation leaves the buffer unqueued
    buffer->FWriteFlag = true;
  }
}

// Reads count blocks with one call: forward from number, or backward ending at number. The
// requested block is handled last so that it ends up most recently used.
void TBufferedFile::ReadBlocks(int32_t number, int32_t count, bool backward) {
  ++FCacheMisses;
  const int32_t blockSize = IOBlockSize();
  const int64_t readSize = static_cast<int64_t>(count) * blockSize;
  const int32_t first = backward ? number - count + 1 : number;
  TTransientBuffer transient(FReadBuffer, readSize, &FReadSize, &FReadFilePos);
  FReadFilePos = BlockOffset(first);
  FReadSize = readSize;
  int64_t done = 0;
  {
    TEngineFileLock lock(*this);
    Seek(FReadFilePos, kSeekBegin);
    // Blocks appended but not yet flushed lie beyond the end of the file.
    const bool tolerateShort =
        Exclusive() || (FOwner != nullptr && FOwner->InTransaction() && FOwner->WrittenTo());
    done = Read(FReadBuffer.data(), readSize, tolerateShort);
  }
  // What lies beyond the end of the file reads as zeros.
  if (done < readSize) {
    std::memset(FReadBuffer.data() + done, 0, static_cast<size_t>(readSize - done));
  }
  ++FReads;
  FTotalReads += done;
  const int32_t last = first + count - 1;
  // A read flag means "written during this read"; none outlives the read. Only a write (a
  // recycling flush) sets one.
  const int64_t writesBefore = FWrites;
  TScopeGuard clearReadFlags([&] {
    if (FWrites == writesBefore) return;
    for (int32_t n = first; n <= last; ++n) {
      if (TBuffer* buffer = FindBuffer(n)) buffer->FReadFlag = false;
    }
  });
  const int32_t step = backward ? 1 : -1;
  for (int32_t n = backward ? first : last;; n += step) {
    char* unit = FReadBuffer.data() + static_cast<int64_t>(n - first) * blockSize;
    TBuffer* buffer = FindBuffer(n);
    if (buffer == nullptr) buffer = TakeBuffer(n);
    buffer->Read(unit);
    MoveToFront(buffer);
    if (n == number) break;
  }
}

// Step 6 of getting a block: a new buffer while below the budget, else a recycled one, else
// the budget grows. The buffer comes back numbered, zeroed, in the sorted list and most recent.
TBuffer* TBufferedFile::TakeBuffer(int32_t number) {
  if (FBuffers.Contains(number)) ReportCorruptBuffers();
  std::unique_ptr<TBuffer> buffer;
  if (OverByteBudget()) DropCleanOverByteBudget();
  if (FullBufferCount() >= FCapacity || OverByteBudget()) buffer = RecycleBuffer();
  if (buffer == nullptr) {
    if (FullBufferCount() >= FCapacity)
      FCapacity += static_cast<size_t>(std::max(BufferExpand(), 1));
    buffer = NewBuffer();
    LinkFront(buffer.get());
  } else {
    MoveToFront(buffer.get());
  }
  buffer->FNumber = number;
  buffer->FPreviousUse = Exclusive() ? RememberedUse(number) : 0;
  TBuffer* result = buffer.get();
  FBuffers.Insert(std::move(buffer));
  Recount(result);
  return result;
}

std::unique_ptr<TBuffer> TBufferedFile::NewBuffer() {
  if (FSpareBuffers.empty()) {
    std::unique_ptr<TBuffer> created = CreateBuffer();  // zeroed and clean already
    FNewBufferBytes = created->HeldBytes();
    return created;
  }
  std::unique_ptr<TBuffer> buffer = std::move(FSpareBuffers.back());
  FSpareBuffers.pop_back();
  FSpareBytes -= static_cast<int64_t>(buffer->HeldBytes());
  return buffer;
}

// A spare is emptied as it is kept (as a recycled buffer is): taken again, it is as new. Its
// links and recency are stale until it is linked in again; outside the list, its becoming free
// says nothing about the tail known to hold no free buffer. Only a buffer that holds no more than
// a new one is kept (an emptied page keeps its entries' room), so that the cache counts the same
// bytes for a block whichever it gets.
void TBufferedFile::KeepSpare(std::unique_ptr<TBuffer> buffer, int64_t limit) {
  TBuffer* const noFreeFrom = FNoFreeFrom;
  buffer->Initialize();
  FNoFreeFrom = noFreeFrom;
  const size_t held = buffer->HeldBytes();
  if (held > FNewBufferBytes || FSpareBytes + static_cast<int64_t>(held) > limit) return;
  FSpareBuffers.push_back(std::move(buffer));
  FSpareBytes += static_cast<int64_t>(held);
}

void TBufferedFile::ReleaseSpares() {
  FSpareBuffers.clear();
  FSpareBytes = 0;
}

// LeastRecentlyUsedFree, starting before the tail known to hold no free buffer.
TBuffer* TBufferedFile::RecyclingVictim() {
  TBuffer* b = FNoFreeFrom != nullptr ? FNoFreeFrom->FPrevBuffer : FLastBuffer;
  for (; b != nullptr; b = b->FPrevBuffer) {
    if (IsFree(*b)) {
      FNoFreeFrom = b->FNextBuffer;
      return b;
    }
  }
  FNoFreeFrom = FFirstBuffer;
  return nullptr;
}

// The buffers behind it in the list were linked to the front earlier: a free buffer among them
// ends the tail known to hold none.
void TBufferedFile::NoteMayBeFree(const TBuffer& buffer) {
  if (FNoFreeFrom != nullptr && buffer.FRecency <= FNoFreeFrom->FRecency) {
    FNoFreeFrom = buffer.FNextBuffer;
  }
}

TBuffer* TBufferedFile::LeastRecentlyUsedFree() const {
  for (TBuffer* b = FLastBuffer; b != nullptr; b = b->FPrevBuffer) {
    if (IsFree(*b)) return b;
  }
  return nullptr;
}

// Buffers grow after they are taken in (a page expands, gains entries), so recycling one buffer
// for each new one keeps their count but not their bytes: over the byte budget, the least recently
// used clean, unused buffers leave until the cache is back within it. Only the end of the
// most-recently-used list is searched: where dirty buffers fill it (an operation under undo), the
// trimming after the operation writes and frees them, and a longer search on every block taken or
// given back would cost more than the memory it saves.
void TBufferedFile::DropCleanOverByteBudget(size_t searchLimit) {
  ReleaseSpares();  // memory held for nothing goes first
  if (FBufferAll) return;
  size_t searched = 0;
  for (TBuffer* b = FLastBuffer; b != nullptr && searched < searchLimit && OverByteBudget();
       ++searched) {
    TBuffer* previous = b->FPrevBuffer;
    if (IsFree(*b)) {
      Unlink(b);
      RemoveFromSorted(b);
    }
    b = previous;
  }
}

// A clean, unused buffer taken out of the sorted list (still linked in the most-recently-used
// list), or null when none may be recycled.
std::unique_ptr<TBuffer> TBufferedFile::RecycleBuffer() {
  if (FBufferAll) return nullptr;
  TBuffer* victim = nullptr;
  if (Exclusive()) {
    victim = RecyclingVictim();
    // Under an undo nothing may be written: the cache grows, FlushWhenOverBudget trims it.
    if (victim == nullptr && !FUndoActive) victim = WriteColdest();
  } else if (FWriteBuffers.size() + static_cast<size_t>(std::max(FReadAheadBuffers, 0)) <
             FBuffers.Size()) {
    victim = RecyclingVictim();
  }
  if (victim == nullptr) return nullptr;
  std::unique_ptr<TBuffer> owned = RemoveFromSorted(victim);
  owned->Initialize();
  return owned;
}

// ---- Flushing -------------------------------------------------------------------------------

// The order in which buffers leave an exclusive file's cache. A buffer counts as in use across
// operations while it was used in more than one and its last use is no further back than twice
// the gap between its last two: the blocks every operation passes through (the roots, the pages
// above the rightmost leaf of an ascending key, that leaf) and the interior pages a random key
// meets now and then. The others leave first (a leaf one insertion visited, a block just
// appended, a block whose reuse has stopped): of the lowest eviction rank first and within a rank
// the least recently used. Then those in use across operations, the one whose next use lies
// furthest ahead (its last use plus that gap) first. With the least recently used order alone, a
// small cache wrote and read those blocks again at every trimming that needed more than the
// blocks of one visit.
bool TBufferedFile::InUseAcrossOperations(const TBuffer& b) const {
  if (b.FPreviousUse == 0) return false;
  const uint32_t gap = b.FRecency - b.FPreviousUse;
  return FRecencyClock - b.FRecency <= 2 * uint64_t{gap};
}

template <typename TMore>
std::vector<TBuffer*> TBufferedFile::ColdestUnused(TMore more) const {
  const auto inUse = [this](const TBuffer* b) { return InUseAcrossOperations(*b); };
  std::vector<TBuffer*> coldest;
  for (int32_t rank = 0; rank <= MaximumEvictionRank(); ++rank) {
    for (TBuffer* b = FLastBuffer; b != nullptr && more(coldest); b = b->FPrevBuffer) {
      if (MayLeave(*b) && !inUse(b) && EvictionRank(*b) == rank) coldest.push_back(b);
    }
  }
  if (!more(coldest)) return coldest;
  std::vector<TBuffer*> reused;
  for (TBuffer* b = FLastBuffer; b != nullptr; b = b->FPrevBuffer) {
    if (MayLeave(*b) && inUse(b)) reused.push_back(b);
  }
  const auto nextUse = [](const TBuffer* b) { return 2 * uint64_t{b->FRecency} - b->FPreviousUse; };
  std::stable_sort(reused.begin(), reused.end(),
                   [&](const TBuffer* a, const TBuffer* b) { return nextUse(a) > nextUse(b); });
  for (size_t i = 0; i < reused.size() && more(coldest); ++i) coldest.push_back(reused[i]);
  return coldest;
}

void TBufferedFile::WriteInBlockOrder(const std::vector<TBuffer*>& list) {
  std::vector<TBuffer*> dirty;
  for (TBuffer* b : list) {
    if (b->FWriteFlag) dirty.push_back(b);
  }
  std::sort(dirty.begin(), dirty.end(),
            [](const TBuffer* a, const TBuffer* b) { return a->FNumber < b->FNumber; });
  // Written buffers leave the write list also when a later run fails; the rest stay queued,
  // and the written ones stay cached, clean.
  TScopeGuard dropWritten(
      [&] { std::erase_if(FWriteBuffers, [](const TBuffer* b) { return !b->FWriteFlag; }); });
  TScopeGuard forgetFree([&] { FNoFreeFrom = nullptr; });
  for (size_t first = 0; first < dirty.size();) {
    const size_t last = RunEnd(dirty, first);
    WriteRun(dirty, first, last);
    first = last;
  }
  forgetFree.Dismiss();
}

TBuffer* TBufferedFile::WriteColdest() {
  const size_t count = std::max<size_t>(FCapacity / 8, 1);
  std::vector<TBuffer*> coldest =
      ColdestUnused([count](const std::vector<TBuffer*>& chosen) { return chosen.size() < count; });
  if (coldest.empty()) return nullptr;
  WriteInBlockOrder(coldest);
  FNoFreeFrom = nullptr;  // the blocks written stay cached, clean
  RememberLeaving(*coldest.front());
  return coldest.front();
}

// The queued blocks that directly follow a victim and are not in use across operations would
// leave soon after it, each with a call of its own: they are written with it (and stay cached,
// clean). A small cache of appended blocks then writes them a few at a time rather than singly.
std::vector<TBuffer*> TBufferedFile::WithLeavingNeighbours(
    const std::vector<TBuffer*>& victims) const {
  std::vector<TBuffer*> written;
  for (TBuffer* b : victims) {
    if (b->FWriteFlag) written.push_back(b);
  }
  std::sort(written.begin(), written.end(),
            [](const TBuffer* a, const TBuffer* b) { return a->FNumber < b->FNumber; });
  const int32_t most = static_cast<int32_t>(std::max<int64_t>(kMaxWriteBytes / IOBlockSize(), 1));
  const size_t dirtyVictims = written.size();
  int32_t covered = 0;  // the blocks up to this one are in written already
  for (size_t i = 0; i < dirtyVictims; ++i) {
    const int32_t first = written[i]->FNumber;
    if (first <= covered) continue;
    covered = first;
    size_t victim = i + 1;  // the next victim at or after n
    for (int32_t n = first + 1; n < first + most; ++n) {
      TBuffer* next = FindBuffer(n);
      if (next == nullptr || !next->FWriteFlag || !MayLeave(*next) ||
          InUseAcrossOperations(*next)) {
        break;
      }
      covered = n;
      while (victim < dirtyVictims && written[victim]->FNumber < n) ++victim;
      if (victim < dirtyVictims && written[victim]->FNumber == n) continue;  // in written already
      written.push_back(next);
    }
  }
  return written;
}

size_t TBufferedFile::RunEnd(const std::vector<TBuffer*>& list, size_t first) {
  size_t last = first + 1;
  while (last < list.size() && list[last]->FNumber == list[last - 1]->FNumber + 1) ++last;
  return last;
}

bool TBufferedFile::FlushBuffers() {
  if (Exclusive()) {
    // Deferred writes: every released, queued buffer, in block order.
    FWriteBuffers.clear();
    FBuffers.ForEach([this](TBuffer* b) {
      if (b->FWriteFlag && b->FUseCount == 0) FWriteBuffers.push_back(b);
    });
    std::sort(FWriteBuffers.begin(), FWriteBuffers.end(),
              [](const TBuffer* a, const TBuffer* b) { return a->FNumber < b->FNumber; });
  }
  if (FWriteBuffers.empty()) return false;
  FNoFreeFrom = nullptr;  // the blocks written stay cached, clean
  const size_t count = FWriteBuffers.size();
  size_t first = 0;
  // What was not written stays queued, so a later flush can still write it.
  TScopeGuard keepUnwritten([&] {
    FWriteBuffers.erase(FWriteBuffers.begin(),
                        FWriteBuffers.begin() + static_cast<ptrdiff_t>(first));
  });
  while (first < count) {
    const size_t last = RunEnd(FWriteBuffers, first);
    WriteRun(FWriteBuffers, first, last);
    first = last;
  }
  keepUnwritten.Dismiss();
  // Only buffers still in use keep their queued mark (an exclusive file skipped them).
  std::erase_if(FWriteBuffers, [](const TBuffer* b) { return !b->FWriteFlag; });
  return true;
}

// Writes the entries [first, last) of list, consecutive blocks, with one positioned write per
// piece of at most kMaxWriteBytes: the transient buffer stays small however long the run is.
void TBufferedFile::WriteRun(const std::vector<TBuffer*>& list, size_t first, size_t last) {
  for (size_t i = first; i < last; ++i) {
    if (list[i]->FUseCount > 0) ReportCorruptBuffers();
  }
  const int64_t blockSize = IOBlockSize();
  const size_t piece = static_cast<size_t>(std::max<int64_t>(kMaxWriteBytes / blockSize, 1));
  // Every unit is filled whole by its buffer, so the memory needs no zeroing first. It is kept
  // for the next flush: fresh memory for every run cost a page fault per page.
  const size_t bytes = std::min(last - first, piece) * static_cast<size_t>(blockSize);
  if (FWriteMemorySize < bytes) {
    FWriteMemory.reset();
    FWriteMemory.reset(new char[bytes]);
    FWriteMemorySize = bytes;
  }
  for (size_t from = first; from < last; from += piece) {
    WritePiece(list, from, std::min(from + piece, last), FWriteMemory.get());
  }
}

void TBufferedFile::WritePiece(const std::vector<TBuffer*>& list, size_t first, size_t last,
                               char* memory) {
  const int32_t blockSize = IOBlockSize();
  const int64_t bytes = static_cast<int64_t>(last - first) * blockSize;
  for (size_t i = first; i < last; ++i) {
    list[i]->Write(memory + static_cast<int64_t>(i - first) * blockSize);
  }
  TScopeGuard stayDirty([&] {
    for (size_t i = first; i < last; ++i) {
      list[i]->FIsDirty = true;
      list[i]->FWriteFlag = true;
    }
  });
  {
    TEngineFileLock lock(*this);
    Seek(BlockOffset(list[first]->FNumber), kSeekBegin);
    Write(memory, bytes);
  }
  stayDirty.Dismiss();
  for (size_t i = first; i < last; ++i) {
    TBuffer* buffer = list[i];
    if (!InReadRange(buffer->FNumber)) continue;
    // The read under way holds this block's older content: the cached buffer must not take it,
    // and a buffer recycled and loaded again from that read must get what is now on disk.
    buffer->FReadFlag = true;
    std::memcpy(FReadBuffer.data() + (BlockOffset(buffer->FNumber) - FReadFilePos),
                memory + static_cast<int64_t>(i - first) * blockSize,
                static_cast<size_t>(blockSize));
  }
  if (FOwner) FOwner->MarkWrittenTo();
  ++FWrites;
}

bool TBufferedFile::InReadRange(int32_t number) const {
  if (FReadSize <= 0) return false;
  const int64_t offset = BlockOffset(number);
  return offset >= FReadFilePos && offset < FReadFilePos + FReadSize;
}

// ---- Budget ---------------------------------------------------------------------------------

void TBufferedFile::InitializeBuffers() {
  FCacheHits = 0;
  FCacheMisses = 0;
  FReads = 0;
  FTotalReads = 0;
  FWrites = 0;
  FCapacity = static_cast<size_t>(std::max(MaximumBufferCount(), 1));
  TakeByteLimit();
  FReadAheadBuffers = ReadAheadReserve();
}

void TBufferedFile::AdjustBuffers() {
  ReleaseSpares();
  const size_t maximum = static_cast<size_t>(std::max(MaximumBufferCount(), 1));
  TakeByteLimit();
  while (FBuffers.Size() > maximum) {
    TBuffer* victim = LeastRecentlyUsedFree();
    if (victim == nullptr) break;
    std::unique_ptr<TBuffer> owned = RemoveFromSorted(victim);
    Unlink(victim);
  }
  FCapacity = std::max(FBuffers.Size(), maximum);
}

// The eviction an undo held back, done afterwards: the coldest buffers leave until the cache is
// an eighth below its budget, by count or by bytes, whichever it exceeded (so that appended
// blocks leave in runs), the dirty ones written first in block order. Writing only what leaves
// keeps the blocks every operation touches (the index roots, the last data block) cached, and
// written once when they leave or at the close, rather than at every eviction.
// The buffers that leave are kept as spares for the blocks taken in next, up to the bytes they
// held: with its spares the cache never holds more than it did before the trimming, and spares
// left from an earlier trimming are freed first.
void TBufferedFile::FlushWhenOverBudget() {
  const size_t maximum = static_cast<size_t>(std::max(MaximumBufferCount(), 1));
  TakeByteLimit();
  // What compacting could not bring below its mark leaves at once, as over the budget.
  const TCompactShort fellShort = CompactOverBudget(maximum);
  FOperationStart = FRecencyClock;
  const bool overCount = FullBufferCount() > maximum || fellShort.Count;
  const bool overBytes = OverByteBudget() || fellShort.Bytes;
  if (FUndoActive || (!overCount && !overBytes)) return;
  const size_t keep = maximum - maximum / 8;
  const int64_t keepBytes = MaximumBufferBytes() - MaximumBufferBytes() / 8;
  const int64_t cacheBytes = CacheBytes();
  int64_t victimBytes = 0;
  size_t counted = 0;
  size_t countedFull = 0;
  const auto stillOver = [&](const std::vector<TBuffer*>& chosen) {
    for (; counted < chosen.size(); ++counted) {
      victimBytes += static_cast<int64_t>(chosen[counted]->FCountedBytes);
      if (!chosen[counted]->Compacted()) ++countedFull;
    }
    // Compacted buffers do not count against the count limit, so only full ones leaving lower it.
    return (overCount && FullBufferCount() - countedFull > keep) ||
           (overBytes && cacheBytes - victimBytes > keepBytes);
  };
  const std::vector<TBuffer*> victims = ColdestUnused(stillOver);
  WriteInBlockOrder(WithLeavingNeighbours(victims));
  ReleaseSpares();
  for (TBuffer* victim : victims) {
    RememberLeaving(*victim);
    Unlink(victim);
    KeepSpare(RemoveFromSorted(victim), victimBytes);
  }
  FCapacity = std::max(FullBufferCount(), maximum);
}

// Compacting writes nothing, so it keeps the cache closer to its budget than the eighth below
// that leaving goes to, and more buffers stay whole: once the cache comes within a 32nd of the
// budget (by count or by bytes), the least recently used unused buffers are compacted in place,
// from the cold end, until it is a 16th below; they stay cached, the dirty ones unwritten. The
// next operation then starts within the budget, and its requests neither drop nor recycle
// buffers. A closer mark (a 256th) saved no time and let the heap grow by a megabyte or two more,
// the allocator's pieces of pages compacted and thawed at every operation. Where compacting
// cannot get below the 32nd (nearly everything is compacted), the trimming lets buffers leave as
// over the budget, rather than compact the few whole ones, the pages every operation passes
// through among them, after every operation.
TBufferedFile::TCompactShort TBufferedFile::CompactOverBudget(size_t maximum) {
  if (FUndoActive || FBufferAll || !CompactsBuffers()) return {};
  constexpr int64_t kMargin = 16;
  const int64_t budget = MaximumBufferBytes();
  const size_t startCount = maximum - maximum / (2 * kMargin);
  const int64_t startBytes = budget - budget / (2 * kMargin);
  if (FullBufferCount() <= startCount && CacheBytes() <= startBytes) return {};
  const size_t keep = maximum - maximum / kMargin;
  const int64_t keepBytes = budget - budget / kMargin;
  bool tailCompacted = true;
  TBuffer* b = FCompactedFrom != nullptr ? FCompactedFrom->FPrevBuffer : FLastBuffer;
  for (; b != nullptr && (FullBufferCount() > keep || CacheBytes() > keepBytes);
       b = b->FPrevBuffer) {
    if (!b->FCompacted && (!MayLeave(*b) || !b->Compact())) {
      tailCompacted = false;
      continue;
    }
    if (tailCompacted) FCompactedFrom = b;
  }
  return {FullBufferCount() > startCount, CacheBytes() > startBytes};
}

void TBufferedFile::FreeBuffers() {
  ++FContentGeneration;
  ReleaseSpares();
  ForgetUndoSteps();
  FNoFreeFrom = nullptr;
  FCompactedFrom = nullptr;
  FCompactedCount = 0;
  ForgetLeftBlocks();
  FWriteMemory.reset();
  FWriteMemorySize = 0;
  FWriteBuffers.clear();
  FFirstBuffer = nullptr;
  FLastBuffer = nullptr;
  FBuffers.Clear();
  FHeldBytes = 0;
}

// ---- Undo -------------------------------------------------------------------------------------

void TBufferedFile::BeginUndo() {
  CommitUndo();
  FUndoActive = true;
  if (++FUndoSerial == 0) {
    // The serial ran out: no buffer may keep a mark that the new serials could repeat.
    FBuffers.ForEach([](TBuffer* b) { b->FUndoSerial = 0; });
    FUndoSerial = 1;
  }
  FUndoBlocksUsed = IOBlocksUsed();
  SaveHeaderForUndo();
}

void TBufferedFile::CommitUndo() {
  ForgetUndoSteps();
  FUndoActive = false;
}

void TBufferedFile::ForgetUndoSteps() {
  for (TUndoStep& step : FUndoSteps) {
    if (step.Image != nullptr) FUndoPool.push_back(std::move(step.Image));
  }
  FUndoSteps.clear();
}

// A block appended under the undo needs nothing kept: the rollback drops it.
void TBufferedFile::MarkForUndo(TBuffer* buffer) {
  if (buffer->FNumber > FUndoBlocksUsed || buffer->FUndoSerial == FUndoSerial) return;
  buffer->FUndoSerial = FUndoSerial;
  buffer->FUndoKept = false;
  if (!DefersUndoImages()) KeepImage(*buffer);
}

void TBufferedFile::KeepBeforeChange(TBuffer& buffer) {
  if (UndoImagePending(buffer)) KeepImage(buffer);
}

void TBufferedFile::KeepImage(TBuffer& buffer) {
  ReserveUndoStep();
  std::unique_ptr<TBuffer> copy;
  if (FUndoPool.empty()) {
    copy = CreateBuffer();
  } else {
    copy = std::move(FUndoPool.back());
    FUndoPool.pop_back();
  }
  copy->Copy(buffer);
  TUndoStep step;
  step.Number = buffer.FNumber;
  step.Image = std::move(copy);
  FUndoSteps.push_back(std::move(step));
  buffer.FUndoKept = true;
}

// Room for one more step, so that adding it after a change cannot fail.
void TBufferedFile::ReserveUndoStep() {
  if (FUndoSteps.size() == FUndoSteps.capacity()) {
    FUndoSteps.reserve(std::max<size_t>(16, 2 * FUndoSteps.capacity()));
  }
}

void TBufferedFile::AddUndoStep(const TBuffer& buffer, int32_t kind, int32_t entry,
                                int32_t value) noexcept {
  TUndoStep step;
  step.Number = buffer.FNumber;
  step.Kind = kind;
  step.Entry = entry;
  step.Value = value;
  FUndoSteps.push_back(std::move(step));
}

void TBufferedFile::Discard(TBuffer* buffer) {
  std::erase(FWriteBuffers, buffer);
  Unlink(buffer);
  RemoveFromSorted(buffer);
}

// Nothing was written while the undo ran, so a block that is no longer cached (its clean buffer
// was recycled) reads from the file as it was.
void TBufferedFile::RollbackUndo() {
  if (!FUndoActive) return;
  FUndoActive = false;
  ++FContentGeneration;
  std::vector<TBuffer*> appended;
  FBuffers.ForEach([&](TBuffer* buffer) {
    if (buffer->FNumber > FUndoBlocksUsed) appended.push_back(buffer);
  });
  for (TBuffer* buffer : appended) Discard(buffer);
  RestoreHeaderForUndo();
  for (auto it = FUndoSteps.rbegin(); it != FUndoSteps.rend(); ++it) {
    TBuffer* buffer = FindBuffer(it->Number);
    if (buffer == nullptr) continue;
    if (it->Image != nullptr) {
      buffer->Copy(*it->Image);
    } else {
      buffer->RevertStep(it->Kind, it->Entry, it->Value);
    }
    if (!buffer->FWriteFlag) {
      FWriteBuffers.push_back(buffer);
      buffer->FWriteFlag = true;
    }
  }
  CommitUndo();
}

void TBufferedFile::ClearHeader() {
  // The blocks are gone with the file's content; a cached one must never be written back.
  FreeBuffers();
  {
    TEngineFileLock lock(*this);
    Seek(HeaderSize(), kSeekBegin);
    Write(nullptr, 0);
  }
  if (FOwner != nullptr && FOwner->ForceBufferFlush()) Flush();
  if (FOwner != nullptr) FOwner->MarkWrittenTo();
}

}  // namespace cairn
