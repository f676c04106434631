// One block of a blob file: an 18-byte block header in front of the block's data.
//
//   offset size            field
//   ------ --------------  -----------------------------------------------------------
//        0    4            PrevNumber   previous block of the chain, 0 for the first
//        4    4            NextNumber   next block of the chain (or of the free chain), 0 for
//                                       the last
//        8    2            Length       data bytes used in this block
//       10    4            Signature    first block: the value's signature; others 0
//       14    4            TotalLength  first block: stored size of the value; others 0
//       18    size - 18    data         bytes beyond Length carry no meaning
//
// The whole block (header and data) is enciphered as one unit when the table is encrypted. The
// buffer's content is the data area; the block header is kept beside it. Nothing read from a
// block is trusted: a Length beyond the data area is reported, never followed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cairn/engine/io/Buffer.h"

namespace cairn {

struct TBlockHeader {
  static constexpr size_t kSize = 18;

  int32_t PrevNumber = 0;
  int32_t NextNumber = 0;
  uint16_t Length = 0;
  int32_t Signature = 0;
  int32_t TotalLength = 0;

  void Encode(char* area) const;
  static TBlockHeader Decode(const char* area);
  bool operator==(const TBlockHeader&) const = default;
};

class TBlock : public TBuffer {
 public:
  explicit TBlock(TBufferedFile& file);

  // Zeroes the data and the block header and clears the flags.
  void Initialize() override;
  void Copy(const TBuffer& source) override;
  bool IsEqualTo(const TBuffer& other) const override;
  size_t HeldBytes() const override;

  // Zeroes the data and the block header and marks the block dirty, keeping its place in the
  // cache (a block handed out for a new use).
  void Clear();

  // Copies up to length bytes from offset of the data into destination, never more than Length
  // allows; the bytes copied. CAIRN_INVALIDBLOBLEN when the request reaches beyond the data area,
  // CAIRN_MEMOCORRUPT when the stored Length does.
  int32_t GetBlockData(int32_t offset, int32_t length, void* destination) const;
  // Stores length bytes at offset; Length becomes offset + length. The bytes stored.
  // CAIRN_INVALIDBLOBLEN when the range reaches beyond the data area.
  int32_t PutBlockData(int32_t offset, int32_t length, const void* source);
  // Cuts the data at offset (when it is shorter than Length); the cut bytes are zeroed.
  void TruncateBlockData(int32_t offset);

  // The bytes of data a block can hold.
  int32_t DataCapacity() const { return Capacity(); }

  const TBlockHeader& Header() const { return FHeader; }
  int32_t PrevNumber() const { return FHeader.PrevNumber; }
  void SetPrevNumber(int32_t value);
  int32_t NextNumber() const { return FHeader.NextNumber; }
  void SetNextNumber(int32_t value);
  uint16_t Length() const { return FHeader.Length; }
  // Also sets the buffer's Size. CAIRN_INVALIDBLOBLEN beyond the data area.
  void SetLength(uint16_t value);
  int32_t Signature() const { return FHeader.Signature; }
  void SetSignature(int32_t value);
  int32_t TotalLength() const { return FHeader.TotalLength; }
  void SetTotalLength(int32_t value);

 protected:
  void LoadContent(const char* unit) override;
  void StoreContent(char* unit) const override;

 private:
  // Raises CAIRN_INVALIDBLOBLEN unless [offset, offset + length) lies inside the data area.
  void CheckRange(int64_t offset, int64_t length) const;

  TBlockHeader FHeader;
};

}  // namespace cairn
