// One record slot of a data file, held in the buffer cache; its number is the slot number.
//
// Slot layout (RecordLength bytes, a multiple of 8):
//
//   offset size  content
//   ------ ----  ------------------------------------------------------------------------
//        0    1  status: 0 live, 1 deleted (2 record-block mode, 3 cached update)
//        1    4  i32: deleted slot - the next deleted slot (0 ends the chain);
//                     live slot    - the record number kept for cached updates (0 otherwise)
//        5    4  i32 RecordID
//        9   16  RecordHash (MD5 digest)
//       25    -  per field in field-number order: null flag (1 = present), DataSize value bytes
//        -    -  zero padding up to RecordLength
#pragma once

#include <cstddef>
#include <cstdint>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/io/Buffer.h"

namespace cairn {

class TRecord : public TBuffer {
 public:
  static constexpr size_t kStatusAt = 0;
  static constexpr size_t kNextFreeAt = 1;
  static constexpr size_t kRecordIDAt = 5;
  static constexpr size_t kRecordHashAt = 9;
  // The system area in front of the fields.
  static constexpr size_t kSystemSize = 25;

  static constexpr uint8_t kLive = 0;
  static constexpr uint8_t kDeleted = 1;
  static constexpr uint8_t kRecordBlock = 2;
  static constexpr uint8_t kCachedUpdate = 3;

  explicit TRecord(TBufferedFile& file) : TBuffer(file) {}

  // The setters mark the slot dirty, except SetCachedUpdateNumber.
  uint8_t Status() const;
  void SetStatus(uint8_t value);
  int32_t NextFreeRecord() const;
  void SetNextFreeRecord(int32_t value);
  // The same bytes as NextFreeRecord, in a live slot.
  int32_t CachedUpdateNumber() const { return NextFreeRecord(); }
  void SetCachedUpdateNumber(int32_t value);
  int32_t RecordID() const;
  void SetRecordID(int32_t value);
  TMD5Digest RecordHash() const;
  void SetRecordHash(const TMD5Digest& value);

 private:
  // The slot's bytes; raises the file's corrupt-buffer error when the slot is too short to
  // hold the system area (a file without a record length).
  char* SlotBytes();
  const char* SlotBytes() const;
};

}  // namespace cairn
