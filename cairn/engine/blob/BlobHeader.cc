#include "cairn/engine/blob/BlobHeader.h"

#include <cstring>

#include "cairn/engine/io/Coding.h"

namespace cairn {
namespace {

constexpr size_t kUpdateStampAt = 0;
constexpr size_t kVersionNumAt = 8;
constexpr size_t kFileSignatureAt = 9;
constexpr size_t kNextFreeBlockAt = 25;
constexpr size_t kNextEndingBlockAt = 29;

}  // namespace

void TBlobHeader::Encode(char* area) const {
  std::memset(area, 0, kSize);
  EncodeInt32(area + kUpdateStampAt, UpdateStamp);
  area[kVersionNumAt] = static_cast<char>(VersionNum);
  std::memcpy(area + kFileSignatureAt, FileSignature.Bytes.data(), FileSignature.Bytes.size());
  EncodeInt32(area + kNextFreeBlockAt, NextFreeBlock);
  EncodeInt32(area + kNextEndingBlockAt, NextEndingBlock);
}

TBlobHeader TBlobHeader::Decode(const char* area) {
  TBlobHeader header;
  header.UpdateStamp = DecodeInt32(area + kUpdateStampAt);
  header.VersionNum = static_cast<uint8_t>(area[kVersionNumAt]);
  std::memcpy(header.FileSignature.Bytes.data(), area + kFileSignatureAt,
              header.FileSignature.Bytes.size());
  header.NextFreeBlock = DecodeInt32(area + kNextFreeBlockAt);
  header.NextEndingBlock = DecodeInt32(area + kNextEndingBlockAt);
  return header;
}

}  // namespace cairn
