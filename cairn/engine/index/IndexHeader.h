// The 512-byte header at the start of every index file.
//
//   offset size  field            notes
//   ------ ----  ---------------  ---------------------------------------------------------
//        0    4  UpdateStamp      i32, raised by one at every header write
//        4    4  (zero)
//        8    1  VersionNum       6
//        9   16  FileSignature    MD5 digest of the engine signature
//       25    4  NextFreePage     i32, head of the chain of free pages; 0 = none
//       29    4  NextEndingPage   i32, number the next page appended at the end gets
//       33    1  IndexCount       number of secondary indexes, 0-30
//       34  128  RootPages        32 x i32, root page of each definition slot's tree; 0 = empty
//      162  128  DataRootPages    32 x i32, entry 31: first page of the text-parameter chain
//      290    1  IsDirty          in memory only, stored as 0
//      291  221  (zero)
//
// The whole file:
//
//   +------------+-----------------------------+--------+--------+-----+
//   | header 512 | definitions 32 x 768 bytes  | page 1 | page 2 | ... |
//   +------------+-----------------------------+--------+--------+-----+
//   0            512                           25088
//
// Page n starts at 25088 + (n - 1) x page size. An encrypted table enciphers the header as one
// unit, the definition area as one unit and each page as one unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/index/IndexDefinition.h"

namespace cairn {

struct TIndexHeader {
  static constexpr size_t kSize = 512;

  int32_t UpdateStamp = 0;
  uint8_t VersionNum = 0;
  TMD5Digest FileSignature;
  int32_t NextFreePage = 0;
  int32_t NextEndingPage = 0;
  uint8_t IndexCount = 0;
  std::array<int32_t, idx::kSlotCount> RootPages{};
  std::array<int32_t, idx::kSlotCount> DataRootPages{};
  bool IsDirty = false;

  void Encode(char* area) const;
  static TIndexHeader Decode(const char* area);
};

// Offsets of the index file's areas.
inline constexpr int64_t kIndexDefinitionsOffset = 512;
inline constexpr int64_t kIndexDefinitionsSize = idx::kSlotCount * 768;
inline constexpr int64_t kIndexFileHeaderSize = kIndexDefinitionsOffset + kIndexDefinitionsSize;

}  // namespace cairn
