// The blob file of a table: a 512-byte header (TBlobHeader) followed by blocks of the table's
// blob block size.
//
//   +-------------------+---------+---------+-----+---------+
//   | header (512)      | block 1 | block 2 | ... | block U |   U = NextEndingBlock - 1
//   +-------------------+---------+---------+-----+---------+
//   block n starts at 512 + (n - 1) * BlobBlockSize; each block is a TBlock (18-byte block
//   header, then BlobBlockSize - 18 data bytes).
//
// Every blob value is a chain of blocks (see TBlobChain). Blocks are allocated from the head of
// the free chain when the header names one, else appended. The block size is not stored here: it
// comes from the table's data file header and is handed to this file before it is created or
// opened. For an encrypted table the header and every block are enciphered as whole units.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cairn/engine/blob/BlobHeader.h"
#include "cairn/engine/blob/Block.h"
#include "cairn/engine/io/BufferedFile.h"

namespace cairn {

class TBlobFile : public TBufferedFile {
 public:
  static constexpr int32_t kMinBlockSize = 64;
  static constexpr int32_t kMaxBlockSize = 65536;
  static constexpr int32_t kDefaultBlockSize = 512;

  // Receives each finding of RepairHeader.
  using TRepairLog = std::function<void(const std::string& message)>;

  explicit TBlobFile(TEngineServices& engine, TBufferedFileOwner* owner = nullptr,
                     int32_t blobBlockSize = kDefaultBlockSize);

  int32_t BlobBlockSize() const { return FBlobBlockSize; }
  // The table's blob block size; set it before the file is created or opened (an open file
  // drops its cached blocks). CAIRN_BLOBLIMIT outside 64 ... 65536.
  void SetBlobBlockSize(int32_t value);

  // A new file: zeroed header, version 6, the engine's signature digest, NextEndingBlock 1, the
  // header dirty (the table writes it, forced).
  void CreateFile() override;
  // Reads and checks the header of a file not yet open: CAIRN_OLDVERSION for an older version,
  // CAIRN_BADSIGNATURE for a newer one or a foreign signature. A file that fails is closed again.
  void OpenFile() override;

  int32_t IOBlockSize() const override { return FBlobBlockSize; }
  int32_t BufferSize() const override;
  int64_t HeaderSize() const override { return TBlobHeader::kSize; }
  int32_t IOBlocksUsed() const override;
  int32_t LastUpdateStamp() const override { return FHeader.UpdateStamp; }
  int32_t MRUBuffers() const override { return 4; }
  int32_t BufferExpand() const override { return 32; }
  int32_t MaximumBufferCount() const override;
  int64_t MaximumBufferBytes() const override;
  int32_t ReadAheadReserve() const override { return 1; }
  // The blocks the value still needs (the request's count), capped by the read-ahead reserve.
  int32_t ReadAheadCount(const TBufferRequest& request) const override;

  void ReadHeader() override;
  bool WriteHeader(bool force) override;
  void UpdateHeaderStamp() override;
  // Empties the file: only the header remains, reset to an empty file's values.
  void ClearHeader() override;
  // CAIRN_HEADERCORRUPT unless NextFreeBlock is 0 or names a block in use, and NextEndingBlock is
  // at least 1.
  void CheckHeader() override;
  bool CheckForChanges() override;
  // Compares the header with the file's physical size and reports each finding to log; unless
  // verifyOnly, also fixes it (the header is then dirty). Whether everything was sound.
  bool RepairHeader(bool verifyOnly, const TRepairLog& log = {});

  TBlobHeader GetHeader() const { return FHeader; }
  // The number the next allocated block gets: the head of the free chain, else NextEndingBlock.
  int32_t GetNextFreeBlockNumber() const;
  void SetNextFreeBlockNumber(int32_t value);

  // Hands out existing block number (1 ... blocks in use, else CAIRN_MEMOCORRUPT), asking for
  // readAhead blocks at once. False when another writer changed the table: its cached blocks are
  // gone and the caller restarts.
  bool GetBlock(const TBufferRequest& request, int32_t number, int32_t readAhead, TBlock*& block);
  // Hands out a zeroed, dirty block for a new use: the head of the free chain (whose NextNumber
  // becomes the new head) or a block appended at the end. False as for GetBlock.
  bool AllocateBlock(const TBufferRequest& request, TBlock*& block);
  void PutBlock(TBlock* block) { PutBuffer(block); }

 protected:
  std::unique_ptr<TBuffer> CreateBuffer() override;
  uint16_t CorruptBufferError() const override;
  void CheckSizeLimit() override;
  void CountAppendedBlock() override;
  void SaveHeaderForUndo() override { FUndoHeader = FHeader; }
  void RestoreHeaderForUndo() override { FHeader = FUndoHeader; }

 private:
  void CheckBlockSize() const;
  void CheckVersionAndSignature() const;
  bool FreeBlockValid() const;
  void TruncateTo(int64_t size);

  TBlobHeader FHeader;
  TBlobHeader FUndoHeader;
  int32_t FBlobBlockSize;
};

}  // namespace cairn
