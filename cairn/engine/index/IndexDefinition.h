// The engine's description of one index: 768 bytes, stored in the index file's 32 slots.
//
//   offset size  field                 notes
//   ------ ----  --------------------  ------------------------------------------
//        0   61  IndexName             length byte + up to 60 characters
//       61    2  KeySize               key length in bytes
//       63    1  KeyForeign            zero
//       64    1  KeyForeignRule        zero
//       65   61  KeyForeignTable       zero
//      126    1  KeyDescending
//      127    1  KeyCaseInsensitive
//      128    1  KeyUnique
//      129    1  KeyCompressionType    0 none, 1 duplicate-byte, 2 trailing-byte, 3 full
//      130    1  KeyFieldCount         1-128
//      131  128  KeyDescendingFields   1 = the key field at this position sorts descending
//      259  256  KeyFields             128 x u16 field numbers; 65535 RecordID, 65534 RecordHash
//      515    1  NoKeyStatistics
//      516    1  IndexChanged          in memory only, stored as 0
//      517    1  RemoveIndex           in memory only, stored as 0
//      518  250  (zero)
//
// Slot 0 is the primary index, slots 1-30 the secondary indexes, slot 31 the full-text index.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace cairn {

namespace idx {
constexpr int kMaxKeyFields = 128;
constexpr int kSlotCount = 32;
constexpr int kPrimarySlot = 0;
constexpr int kTextSlot = 31;
constexpr int kMaxSecondaryIndexes = 30;
constexpr int kMaxKeySize = 4106;
constexpr uint8_t kCompressNone = 0;
constexpr uint8_t kCompressDuplicateByte = 1;
constexpr uint8_t kCompressTrailingByte = 2;
constexpr uint8_t kCompressFull = 3;
// The full-text index of slot 31.
constexpr const char* kTextIndexName = "Sys Text";
constexpr uint16_t kTextIndexKeySize = 68;
}  // namespace idx

struct TIndexDefinition {
  static constexpr size_t kSize = 768;
  static constexpr size_t kMaxNameLength = 60;

  std::string IndexName;
  uint16_t KeySize = 0;
  uint8_t KeyForeign = 0;
  uint8_t KeyForeignRule = 0;
  std::string KeyForeignTable;
  bool KeyDescending = false;
  bool KeyCaseInsensitive = false;
  bool KeyUnique = false;
  uint8_t KeyCompressionType = 0;
  uint8_t KeyFieldCount = 0;
  std::array<bool, idx::kMaxKeyFields> KeyDescendingFields{};
  std::array<uint16_t, idx::kMaxKeyFields> KeyFields{};
  bool NoKeyStatistics = false;
  // In memory only.
  bool IndexChanged = false;
  bool RemoveIndex = false;

  void Encode(char* area) const;
  // Length bytes beyond their areas are clamped, so damaged definitions decode safely.
  static TIndexDefinition Decode(const char* area);
  static bool StringLengthsValid(const char* area);

  // The automatic primary index: unique, one key field RecordID, key size 5.
  static TIndexDefinition AutomaticPrimary();
  bool IsAutomaticPrimary() const { return KeyFields[0] == 65535; }
};

}  // namespace cairn
