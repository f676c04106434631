// A table file read and written through a cache of block buffers.
//
// File layout (every kind):
//
//   +----------------------+---------+---------+-----+---------+
//   | header (HeaderSize)  | block 1 | block 2 | ... | block U |   U = IOBlocksUsed
//   +----------------------+---------+---------+-----+---------+
//   block n (n >= 1) starts at HeaderSize + (n - 1) * IOBlockSize; the logical file size is
//   HeaderSize + IOBlocksUsed * IOBlockSize.
//
// The cache keeps every buffer in two structures: a hash map by block number (TBufferMap; the
// buffer budget is its capacity) and a doubly linked most-recently-used list. Beside the count
// it keeps to a byte budget: each buffer reports what it holds, the file keeps the sum. Released
// dirty buffers are queued in a write list; a flush writes runs of consecutive blocks with one
// positioned write each. A block appended at IOBlocksUsed + 1 is handed out without touching the
// file, which grows at the next flush. Misses read several neighbouring blocks with one call.
//
// The data, index and blob files derive from this class and supply the kind's sizes, limits,
// buffer objects and header operations.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/io/Buffer.h"
#include "cairn/engine/io/BufferMap.h"
#include "cairn/engine/io/BufferedFileOwner.h"
#include "cairn/engine/io/EngineFile.h"

namespace cairn {

class TCipher;

enum class TReadAheadDirection { None, Forward, Backward };

// The cursor's side of a block request.
struct TBufferRequest {
  bool Exclusive = false;          // the cursor holds the table exclusively
  int32_t ReadAheadCount = 1;      // blocks the cursor would like read at once
  int32_t DefinitionPosition = 0;  // index files: the definition the page belongs to
};

class TBufferedFile : public TEngineFile {
 public:
  // owner may be null: a plain file outside any table.
  explicit TBufferedFile(TEngineServices& engine, TBufferedFileOwner* owner = nullptr);
  ~TBufferedFile() override;

  std::string ProperFileName() const override;
  std::string ProperDatabaseName() const override;
  // Opens only when not yet open, then initialises the buffers.
  void OpenFile() override;
  // Frees the buffers (without writing them), then closes.
  void CloseFile() override;
  void CreateFile() override;

  // ---- The cache ------------------------------------------------------------------------------
  // Hands out block number, its use count raised. Returns false (and no buffer) when the miss
  // found the table changed by another writer: the caller restarts its operation.
  bool GetBuffer(const TBufferRequest& request, int32_t number, bool readAhead,
                 TReadAheadDirection direction, TBuffer*& buffer);
  // Gives a buffer back; a dirty one is queued for writing.
  void PutBuffer(TBuffer* buffer);
  // Hands out again a buffer the caller was handed before, without looking it up: only when no
  // buffer left the cache since departures was read (CacheDepartures), so that it is still the
  // cached block it was. False (nothing done) otherwise; the caller then asks GetBuffer.
  bool RepinBuffer(TBuffer* buffer, uint64_t departures);
  uint64_t CacheDepartures() const { return FBuffers.Departures(); }
  // What GetBuffer does after it handed a buffer out, for a caller that repinned several: over the
  // byte budget, clean unused buffers leave from the cold end.
  void KeepToByteBudget() {
    if (OverByteBudget()) DropCleanOverByteBudget();
  }
  // A cached block's content copied out, the block made most recently used: what GetBuffer,
  // copying and PutBuffer do for a hit, without holding the buffer. False (nothing done) when
  // the block is not cached; the caller then asks GetBuffer.
  bool CopyCachedBlock(int32_t number, void* destination);
  // A block a one-pass reader brought into the cache and has gone past leaves it at once, when no
  // caller holds it, its content is on disk and the cache is not full; nothing happens otherwise.
  // A walk then keeps to a few buffers instead of filling a large cache with blocks it will not
  // come back to.
  void DropIfFree(int32_t number);
  // Copies blocks out without taking them into the cache: the content of numbers[i] goes to
  // destination + i * BufferSize(). The numbers need no order and must lie in 1 ... IOBlocksUsed.
  // A cached block is copied from its buffer (it may be newer than the file); the others are read
  // from the file in ascending order, neighbours close to each other with one read of up to
  // kMaxGatherBytes. For a caller that holds the table exclusively: another writer's changes are
  // not looked for.
  // scratch: room the call may use (2 * count entries), kept by the caller for the next call.
  void GatherBlocks(const int32_t* numbers, size_t count, char* destination,
                    std::vector<uint64_t>& scratch);
  static constexpr int64_t kMaxGatherBytes = 256 * 1024;
  // Counts up whenever a block's content may have changed in the cache or the cache was dropped:
  // a copy made by GatherBlocks is what the file holds while this stands still.
  uint64_t ContentGeneration() const { return FContentGeneration; }
  // Memory a caller holds on behalf of this file (copies of its blocks) counts against the byte
  // budget like the cached buffers: adding some first frees clean, unused buffers until the cache
  // fits beside it. delta < 0 gives it back.
  void AddReservedBytes(int64_t delta);
  int64_t ReservedBytes() const { return FReservedBytes; }
  // Writes the queued blocks; whether anything was written.
  bool FlushBuffers();
  virtual void InitializeBuffers();
  // Frees clean, unused buffers beyond the maximum count and resets the capacity.
  void AdjustBuffers();
  // Frees every buffer; dirty contents are discarded.
  void FreeBuffers();

  // ---- Undo of one operation ------------------------------------------------------------------
  // Between BeginUndo and CommitUndo or RollbackUndo every block handed out keeps a copy of its
  // content (a kind that defers the images: before its first change, or a log of exactly
  // reversible changes), and nothing is written meanwhile: only clean, unused buffers are
  // recycled (the file holds what they held), and when there is none the cache grows instead.
  // RollbackUndo puts those blocks back as they were (dirty, so that the file gets them again),
  // drops the blocks appended since BeginUndo and restores the kind's header. No buffer may be
  // held when it runs. Freeing the buffers meanwhile forgets what was kept: the file still holds
  // every block as it was.
  void BeginUndo();
  void CommitUndo();
  void RollbackUndo();
  bool UndoActive() const { return FUndoActive; }
  // After an operation under undo: when the cache grew beyond its budget (in buffers, or in
  // bytes beyond the tolerance) because the undo kept the deferred blocks from being written, or
  // because its pages grew, the coldest buffers leave (see ColdestUnused), the dirty ones written
  // first. Keeps an exclusive writer's memory within its budget. It also ends the operation for
  // telling blocks used again in later operations from those used in one only.
  void FlushWhenOverBudget();

  // ---- The kind's values ----------------------------------------------------------------------
  virtual int32_t IOBlockSize() const = 0;
  virtual int32_t BufferSize() const = 0;
  virtual int64_t HeaderSize() const = 0;
  virtual int32_t IOBlocksUsed() const = 0;
  virtual int32_t LastUpdateStamp() const = 0;
  virtual int32_t MRUBuffers() const = 0;
  virtual int32_t BufferExpand() const = 0;
  virtual int32_t MaximumBufferCount() const = 0;
  // The byte budget the cache's memory (CacheBytes) keeps to beside the count limit, give or take
  // kByteBudgetTolerance; 0 sets none.
  virtual int64_t MaximumBufferBytes() const { return 0; }
  // Trimming by bytes starts only this far above the byte budget: a small budget keeps the buffers
  // its count allows although their objects and allocations cost somewhat more than the count
  // assumes, while a large budget's excess stays this constant instead of growing with it.
  static constexpr int64_t kByteBudgetTolerance = 64 * 1024;
  virtual int32_t ReadAheadReserve() const = 0;
  // Blocks to read for one request (before capping at the file's ends).
  virtual int32_t ReadAheadCount(const TBufferRequest& request) const = 0;

  // ---- The kind's header ----------------------------------------------------------------------
  virtual void ReadHeader() = 0;
  // Writes the header when forced or dirty; whether it wrote.
  virtual bool WriteHeader(bool force) = 0;
  virtual void UpdateHeaderStamp() = 0;
  // Discards the cache and truncates the file to its header; the kinds then reset their fields.
  virtual void ClearHeader();
  virtual void CheckHeader() = 0;
  // Re-reads the header; whether another writer changed the file.
  virtual bool CheckForChanges() = 0;
  // The update stamp after stamp: a signed counter that wraps from 2147483647 to -2147483648.
  static int32_t NextUpdateStamp(int32_t stamp) {
    return static_cast<int32_t>(static_cast<uint32_t>(stamp) + 1u);
  }

  int64_t LogicalFileSize() const;
  int64_t BlockOffset(int32_t number) const;

  TBufferedFileOwner* Owner() const { return FOwner; }
  const TCipher* Cipher() const;

  int64_t CacheHits() const { return FCacheHits; }
  int64_t CacheMisses() const { return FCacheMisses; }
  int64_t Reads() const { return FReads; }
  int64_t TotalReads() const { return FTotalReads; }
  int64_t Writes() const { return FWrites; }
  int32_t ReadAheadBuffers() const { return FReadAheadBuffers; }
  void SetReadAheadBuffers(int32_t value) { FReadAheadBuffers = value; }
  bool BufferAll() const { return FBufferAll; }
  void SetBufferAll(bool value) { FBufferAll = value; }

  // Inspection of the cache.
  size_t BufferCount() const { return FBuffers.Size(); }
  // Cached buffers kept compacted (TBuffer::Compact), and the others: the count limit applies to
  // these, the byte budget to all.
  size_t CompactedCount() const { return FCompactedCount; }
  size_t FullBufferCount() const { return FBuffers.Size() - FCompactedCount; }
  // The memory the cached buffers hold: the sum of their HeldBytes, kept as they change.
  int64_t HeldBytes() const { return FHeldBytes; }
  // Buffers the latest trimming took out of the cache, kept for the blocks taken in next (see
  // FlushWhenOverBudget): their number and what they hold. They hold no block.
  size_t SpareCount() const { return FSpareBuffers.size(); }
  int64_t SpareBytes() const { return FSpareBytes; }
  // What the cache's byte budget counts: the buffers' held bytes, the buffer map and the write
  // list.
  int64_t CacheBytes() const;
  size_t BufferCapacity() const { return FCapacity; }
  size_t WriteCount() const { return FWriteBuffers.size(); }
  TBuffer* FirstBuffer() const { return FFirstBuffer; }
  TBuffer* LastBuffer() const { return FLastBuffer; }
  // The cached buffer of a block, or nullptr; changes nothing.
  TBuffer* FindBuffer(int32_t number) const;

  // budget / (bufferSize + overhead), capped by countLimit, at least 1; the limit itself when
  // bufferSize is 0.
  static int32_t MaximumBufferCountFor(int64_t budget, int32_t bufferSize, int32_t overhead,
                                       int32_t countLimit);

 protected:
  // A new, zeroed buffer object of the kind.
  virtual std::unique_ptr<TBuffer> CreateBuffer() = 0;
  // The kind's corrupt-buffer error code.
  virtual uint16_t CorruptBufferError() const = 0;
  // Raises CAIRN_TABLEFULL when one more block may not be appended; by default when the logical
  // file size exceeds the engine's maximum file size.
  virtual void CheckSizeLimit();
  // Counts one appended block in the header (IOBlocksUsed grows by one).
  virtual void CountAppendedBlock() = 0;
  // When FlushWhenOverBudget trims the cache, buffers of a lower rank (0 ... MaximumEvictionRank)
  // leave before any of a higher one: a kind ranks the blocks every operation passes through
  // higher, so that a small cache keeps them rather than cycling everything through the file.
  virtual int32_t EvictionRank(const TBuffer&) const { return 0; }
  virtual int32_t MaximumEvictionRank() const { return 0; }
  // Whether the trimming after an operation compacts unused buffers (TBuffer::Compact) before any
  // leaves the cache: a kind whose blocks shrink much in memory then holds many more of them
  // within its byte budget and reads and writes them less often.
  virtual bool CompactsBuffers() const { return false; }
  // Keep and put back the kind's header for an undo.
  virtual void SaveHeaderForUndo() {}
  virtual void RestoreHeaderForUndo() {}
  // Whether the kind's buffers report their changes (TBuffer::BeforeChange), so that an undo
  // copies a block only when it is about to change rather than whenever it is handed out.
  virtual bool DefersUndoImages() const { return false; }
  // Keeps the buffer's content for the undo now, if it was handed out under the undo and none is
  // kept yet: for a kind that defers images, before a change its buffer cannot report.
  void KeepBeforeChange(TBuffer& buffer);

  // Raises CAIRN_TABLEFULL when the logical size exceeds maximumFileSize or, when maximumBlocks >
  // 0, the blocks in use reach maximumBlocks.
  void CheckAppendLimits(int64_t maximumFileSize, int64_t maximumBlocks);
  [[noreturn]] void ReportCorruptBuffers() const;

 private:
  class TTransientBuffer;
  friend class TBuffer;

  // Brings the buffer's share of FHeldBytes up to date with what it holds now; a cached buffer
  // calls it whenever its allocations change.
  void Recount(TBuffer* buffer);

  TBuffer* AppendBuffer(int32_t number);
  // A spare buffer when there is one, else a new one of the kind: zeroed and clean.
  std::unique_ptr<TBuffer> NewBuffer();
  // Keeps a buffer that left the cache as a spare while the spares stay within limit bytes;
  // frees it otherwise.
  void KeepSpare(std::unique_ptr<TBuffer> buffer, int64_t limit);
  void ReleaseSpares();
  TBuffer* LookUp(int32_t number);
  void ReadBlocks(int32_t number, int32_t count, bool backward);
  TBuffer* TakeBuffer(int32_t number);
  std::unique_ptr<TBuffer> RecycleBuffer();
  // Free: no caller holds it and its content is on disk, so it may be recycled at once.
  static bool IsFree(const TBuffer& b) { return b.FUseCount == 0 && !b.FIsDirty && !b.FWriteFlag; }
  // May leave the cache: no caller holds it, and a dirty one is queued (it is written first).
  static bool MayLeave(const TBuffer& b) {
    return b.FUseCount == 0 && !(b.FIsDirty && !b.FWriteFlag);
  }
  // The end of the run of consecutive block numbers in list (sorted) that starts at first.
  static size_t RunEnd(const std::vector<TBuffer*>& list, size_t first);
  TBuffer* LeastRecentlyUsedFree() const;
  TBuffer* RecyclingVictim();
  void NoteMayBeFree(const TBuffer& buffer);
  std::unique_ptr<TBuffer> RemoveFromSorted(TBuffer* buffer);
  void WriteRun(const std::vector<TBuffer*>& list, size_t first, size_t last);
  void WritePiece(const std::vector<TBuffer*>& list, size_t first, size_t last, char* memory);
  bool InReadRange(int32_t number) const;
  void Unlink(TBuffer* buffer);
  void LinkFront(TBuffer* buffer);
  void RenumberRecency();
  void MoveToFront(TBuffer* buffer);
  // A cached block is used again (before it goes to the front): a first use in this operation
  // remembers when it was used last.
  void NoteUse(TBuffer* buffer) {
    if (buffer->FRecency > FOperationStart) return;
    buffer->FPreviousUse = buffer->FRecency;
    if (buffer == FFirstBuffer) LinkFrontAgain(buffer);
  }
  void LinkFrontAgain(TBuffer* buffer);
  // A block leaving an exclusive file's cache is remembered with its last use for a while, so
  // that one read again soon after keeps its history (see ColdestUnused).
  void RememberLeaving(const TBuffer& buffer);
  uint32_t RememberedUse(int32_t number) const;
  void ForgetLeftBlocks();
  // Used in more than one operation, and again lately (see ColdestUnused).
  bool InUseAcrossOperations(const TBuffer& b) const;
  // The dirty victims and the queued blocks right after them that would leave soon as well.
  std::vector<TBuffer*> WithLeavingNeighbours(const std::vector<TBuffer*>& victims) const;
  // The unused buffers that may leave, coldest first, as many as more() asks for.
  template <typename TMore>
  std::vector<TBuffer*> ColdestUnused(TMore more) const;
  // Writes the queued buffers of list in block order, runs of consecutive blocks with one call.
  void WriteInBlockOrder(const std::vector<TBuffer*>& list);
  // An exclusive file with no clean buffer to recycle writes its coldest queued ones (an eighth
  // of the budget, at least one) rather than all, and recycles the coldest; null when none is
  // free.
  TBuffer* WriteColdest();
  void MarkForUndo(TBuffer* buffer);
  void KeepImage(TBuffer& buffer);
  bool UndoImagePending(const TBuffer& buffer) const {
    return FUndoActive && buffer.FUndoSerial == FUndoSerial && !buffer.FUndoKept;
  }
  void ReserveUndoStep();
  void AddUndoStep(const TBuffer& buffer, int32_t kind, int32_t entry, int32_t value) noexcept;
  void ForgetUndoSteps();
  void Discard(TBuffer* buffer);
  bool OverByteBudget() const;
  // Takes the byte budget from the settings, as the count is taken when the buffers are set up
  // and when the cache is trimmed.
  void TakeByteLimit();
  // Frees free buffers from the cold end while over the byte budget, searching at most
  // searchLimit buffers.
  void DropCleanOverByteBudget(size_t searchLimit = kDropSearch);
  // The first step of FlushWhenOverBudget for a kind that compacts its buffers, given the count
  // limit; tells where the cache is still above the mark at which compacting starts, by count
  // and by bytes.
  struct TCompactShort {
    bool Count = false;
    bool Bytes = false;
  };
  TCompactShort CompactOverBudget(size_t maximum);
  void NoteCompacted(bool compacted) {
    if (compacted) {
      ++FCompactedCount;
    } else {
      --FCompactedCount;
    }
  }
  // GatherBlocks' reads: run holds count entries (block number << 32 | position), ascending;
  // one read of the blocks from the first to the last into memory, the wanted ones copied out.
  void GatherRun(const uint64_t* run, size_t count, char* memory, char* destination);

  TBufferedFileOwner* FOwner;
  // The read in progress: its data, file position and size; empty between reads.
  std::vector<char> FReadBuffer;
  int64_t FReadSize = 0;
  int64_t FReadFilePos = 0;
  // The most one positioned write of a flush carries (at least one block).
  static constexpr int64_t kMaxWriteBytes = 256 * 1024;
  // How many of the least recently used buffers a drop for the byte budget looks at.
  static constexpr size_t kDropSearch = 64;
  // Where a flush assembles its writes: as large as the longest piece written so far.
  std::unique_ptr<char[]> FWriteMemory;
  size_t FWriteMemorySize = 0;
  TBuffer* FFirstBuffer = nullptr;
  TBuffer* FLastBuffer = nullptr;
  // By block number; the flush sorts what it writes.
  TBufferMap FBuffers;
  size_t FCapacity = 0;    // the buffer budget
  int64_t FHeldBytes = 0;  // the sum of the cached buffers' counted bytes
  // Buffers that left in the latest trimming, emptied, and the sum of their HeldBytes. Appends
  // after a trimming take in about as many buffers as it let go: reusing them spares an
  // allocation and a free for each.
  std::vector<std::unique_ptr<TBuffer>> FSpareBuffers;
  int64_t FSpareBytes = 0;
  // What the latest buffer the kind created held: a spare holding more is not kept.
  size_t FNewBufferBytes = 0;
  int64_t FReservedBytes = 0;
  uint64_t FContentGeneration = 0;
  // CacheBytes beyond this is over the byte budget.
  int64_t FByteLimit = std::numeric_limits<int64_t>::max();
  std::vector<TBuffer*> FWriteBuffers;  // exactly the buffers with WriteFlag
  // The search for the least recently used free buffer remembers where it ended: from
  // FNoFreeFrom to the end of the list no buffer is free (null: nothing known). A buffer that
  // becomes free inside that tail shortens it, a flush forgets it. Without it, a cache full of
  // deferred dirty blocks was walked whole for one recycled buffer.
  uint32_t FRecencyClock = 0;
  TBuffer* FNoFreeFrom = nullptr;
  // Compacted buffers: their number, and where the tail of the list known to hold only compacted
  // ones starts (null: nothing known), so that compacting does not walk them again.
  size_t FCompactedCount = 0;
  TBuffer* FCompactedFrom = nullptr;
  // The recency clock when the latest operation began (FlushWhenOverBudget ends one): a buffer
  // whose recency is not above it was last used in an earlier operation.
  uint32_t FOperationStart = 0;
  // The last blocks that left the cache with their last use, oldest overwritten first.
  struct TLeftBlock {
    int32_t Number = 0;
    uint32_t LastUse = 0;
  };
  static constexpr size_t kRememberedBlocks = 8;
  std::array<TLeftBlock, kRememberedBlocks> FLeftBlocks{};
  size_t FNextLeftBlock = 0;
  size_t FLeftBlockCount = 0;
  int64_t FCacheHits = 0;
  int64_t FCacheMisses = 0;
  int64_t FReads = 0;
  int64_t FTotalReads = 0;
  int64_t FWrites = 0;
  int32_t FReadAheadBuffers = 1;
  bool FBufferAll = false;
  // What a rollback puts back, oldest first: a block's image, or one step logged by its buffer.
  struct TUndoStep {
    int32_t Number = 0;
    std::unique_ptr<TBuffer> Image;
    int32_t Kind = 0;
    int32_t Entry = 0;
    int32_t Value = 0;
  };
  friend class TBuffer;
  bool FUndoActive = false;
  // Counts the undos, so that a buffer's mark of an earlier one is told from the current one.
  uint32_t FUndoSerial = 0;
  int32_t FUndoBlocksUsed = 0;
  std::vector<TUndoStep> FUndoSteps;
  // Images of earlier undos, kept for reuse.
  std::vector<std::unique_ptr<TBuffer>> FUndoPool;
};

}  // namespace cairn
