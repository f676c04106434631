// One cached block of a buffered file.
//
// The buffer holds the block's content (the file's BufferSize bytes) and its state in the cache:
// dirty (differs from the file), queued for writing (WriteFlag), written while a read of the same
// range was in progress (ReadFlag: the read's older data must not replace it), the number of
// callers holding it, and its links in the owner's most-recently-used list. The record, page and
// blob-block kinds derive from it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cairn {

class TBufferedFile;

class TBuffer {
 public:
  // A zeroed buffer of the file's BufferSize.
  explicit TBuffer(TBufferedFile& file);
  virtual ~TBuffer();
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // Takes content and size of another buffer and marks this one dirty.
  virtual void Copy(const TBuffer& source);
  // Loads Size bytes from memory and marks the buffer dirty.
  virtual void CopyBuffer(const void* source);
  virtual void CopyToBuffer(void* destination) const;
  // Zeroes the content and clears the dirty, queued and read flags.
  virtual void Initialize();
  // Takes the content from one IOBlockSize unit of a read; only when the buffer has no users, is
  // clean and has no ReadFlag (a set ReadFlag is cleared instead). The unit is deciphered in
  // place first when the table is encrypted.
  virtual void Read(char* unit);
  // Puts the content into one IOBlockSize unit of a write (enciphered for an encrypted table)
  // and clears the dirty and queued flags. Every byte of the unit is set: the unit may hold
  // anything before.
  virtual void Write(char* unit);
  virtual bool IsEqualTo(const TBuffer& other) const;
  virtual bool IsEqualToBuffer(const void* data) const;
  // The memory the buffer holds: the object and every allocation it owns, as the heap hands it
  // out (capacity, not size, plus the allocator's chunk overhead). The cache's byte budget counts
  // this; a kind with further allocations or a larger object adds them.
  virtual size_t HeldBytes() const;
  // What the heap takes for an allocation of size bytes: 0 for none, else the size with the
  // allocator's 8-byte chunk header, rounded up to 16, at least 32.
  static size_t AllocatedBytes(size_t size) {
    return size == 0 ? 0 : std::max<size_t>((size + 8 + 15) & ~size_t{15}, 32);
  }
  // A kind may keep a cached, unused block in a smaller form until it is handed out again: Compact
  // shrinks it (false when the kind cannot), Thaw brings back the form a read leaves. Meanwhile
  // the content is still exactly what StoreContent makes, so a compacted dirty block is written
  // as it is.
  virtual bool Compact() { return false; }
  virtual void Thaw() {}
  bool Compacted() const { return FCompacted; }

  TBufferedFile& BufferedFile() const { return FBufferedFile; }
  char* Buffer() { return FBuffer.data(); }
  const char* Buffer() const { return FBuffer.data(); }
  // The bytes of the content in use; at most the allocation (Capacity).
  int32_t Size() const { return FSize; }
  void SetSize(int32_t value);
  int32_t Capacity() const { return static_cast<int32_t>(FBuffer.size()); }
  bool IsDirty() const { return FIsDirty; }
  void SetIsDirty(bool value) {
    if (!value) NoteMayBeFree();
    FIsDirty = value;
  }
  bool WriteFlag() const { return FWriteFlag; }
  bool ReadFlag() const { return FReadFlag; }
  uint16_t UseCount() const { return FUseCount; }
  int32_t Number() const { return FNumber; }
  TBuffer* NextBuffer() const { return FNextBuffer; }
  TBuffer* PrevBuffer() const { return FPrevBuffer; }

 protected:
  // A buffer without content (Capacity 0), for a kind that keeps its block in another form until
  // RestoreContent.
  struct TNoContent {};
  TBuffer(TBufferedFile& file, TNoContent);

  // Plain copies between the content and a unit, without flags or cipher; StoreContent sets the
  // whole unit, zeros where the content ends.
  virtual void LoadContent(const char* unit);
  virtual void StoreContent(char* unit) const;
  // A kind that keeps its content in another form meanwhile frees the content's memory
  // (Capacity 0) and gets it back zeroed, of the file's BufferSize.
  void ReleaseContent();
  void RestoreContent();
  // A kind calls this after its allocations changed (HeldBytes differs): the owning file's count
  // follows while the buffer is cached.
  void HeldBytesChanged();
  // A kind's Compact and Thaw report the change of form: the owning file counts compacted
  // buffers apart while the buffer is cached.
  void SetCompacted(bool value);

  // A kind whose file defers undo images (TBufferedFile::DefersUndoImages) calls BeforeChange
  // before every change of its content: the first change under the file's undo keeps the
  // content as it was. Instead, while UndoImagePending, a change with an exact inverse may be
  // logged: ReserveUndoStep before the change (it may throw), AddUndoStep after it (it does
  // not), and a rollback calls RevertStep with the logged values, the newest step first.
  void BeforeChange();
  // Tells the file that the buffer may have become free for recycling.
  void NoteMayBeFree();
  bool UndoImagePending() const;
  void ReserveUndoStep();
  void AddUndoStep(int32_t kind, int32_t entry, int32_t value) noexcept;
  virtual void RevertStep(int32_t kind, int32_t entry, int32_t value);

 private:
  friend class TBufferedFile;

  TBufferedFile& FBufferedFile;
  std::vector<char> FBuffer;
  int32_t FSize = 0;
  bool FIsDirty = false;
  bool FWriteFlag = false;
  bool FReadFlag = false;
  // Whether the file's undo of FUndoSerial holds an image of the buffer (fills a gap of the
  // layout: a cache holds many small buffers).
  bool FUndoKept = false;
  bool FCompacted = false;
  uint16_t FUseCount = 0;
  int32_t FNumber = 0;
  // What the owning file counts for this buffer in its held bytes (HeldBytes when last counted);
  // 0 while the buffer is not in the cache (an undo image, a buffer being recycled).
  size_t FCountedBytes = 0;
  TBuffer* FNextBuffer = nullptr;
  TBuffer* FPrevBuffer = nullptr;
  // The file's undo that handed the buffer out last (0: none).
  uint32_t FUndoSerial = 0;
  // When the buffer last went to the front of the most-recently-used list: the list runs from
  // the highest value to the lowest.
  uint32_t FRecency = 0;
  // The recency of its last use in an earlier operation than the latest one (0: used in one
  // operation only since it was taken in): the trimming of an exclusive file keeps the blocks
  // every operation uses (a tree's root, the rightmost leaf of an ascending key) by it.
  uint32_t FPreviousUse = 0;
};

}  // namespace cairn
