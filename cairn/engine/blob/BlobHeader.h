// The 512-byte header at the start of a blob file.
//
//   offset size  field
//   ------ ----  ----------------------------------------------------------------------
//        0    4  UpdateStamp      signed; raised by one on every header write
//        4    4  (zero)
//        8    1  VersionNum       6
//        9   16  FileSignature    MD5 digest of the engine signature
//       25    4  NextFreeBlock    head of the free-block chain, 0 for none
//       29    4  NextEndingBlock  number the next appended block gets (blocks in use + 1)
//       33    1  IsDirty          in memory only: written as 0, cleared on every read
//       34  478  (zero)
//
// The header is stored enciphered as a whole when the table is encrypted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cairn/crypto/Md5.h"

namespace cairn {

struct TBlobHeader {
  static constexpr size_t kSize = 512;

  int32_t UpdateStamp = 0;
  uint8_t VersionNum = 0;
  TMD5Digest FileSignature;
  int32_t NextFreeBlock = 0;
  int32_t NextEndingBlock = 0;
  bool IsDirty = false;

  // Writes the 512 bytes into area.
  void Encode(char* area) const;
  // Reads the header from a 512-byte area; IsDirty comes back clear.
  static TBlobHeader Decode(const char* area);
};

}  // namespace cairn
