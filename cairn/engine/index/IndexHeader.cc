#include "cairn/engine/index/IndexHeader.h"

#include <cstring>

#include "cairn/engine/io/Coding.h"

namespace cairn {
namespace {

constexpr size_t kUpdateStampAt = 0;
constexpr size_t kVersionNumAt = 8;
constexpr size_t kFileSignatureAt = 9;
constexpr size_t kNextFreePageAt = 25;
constexpr size_t kNextEndingPageAt = 29;
constexpr size_t kIndexCountAt = 33;
constexpr size_t kRootPagesAt = 34;
constexpr size_t kDataRootPagesAt = 162;

}  // namespace

void TIndexHeader::Encode(char* area) const {
  std::memset(area, 0, kSize);
  EncodeInt32(area + kUpdateStampAt, UpdateStamp);
  area[kVersionNumAt] = static_cast<char>(VersionNum);
  std::memcpy(area + kFileSignatureAt, FileSignature.Bytes.data(), FileSignature.Bytes.size());
  EncodeInt32(area + kNextFreePageAt, NextFreePage);
  EncodeInt32(area + kNextEndingPageAt, NextEndingPage);
  area[kIndexCountAt] = static_cast<char>(IndexCount);
  for (int i = 0; i < idx::kSlotCount; ++i) {
    EncodeInt32(area + kRootPagesAt + 4 * i, RootPages[i]);
    EncodeInt32(area + kDataRootPagesAt + 4 * i, DataRootPages[i]);
  }
  // IsDirty describes the copy in memory; the file always holds 0.
}

TIndexHeader TIndexHeader::Decode(const char* area) {
  TIndexHeader h;
  h.UpdateStamp = DecodeInt32(area + kUpdateStampAt);
  h.VersionNum = static_cast<uint8_t>(area[kVersionNumAt]);
  std::memcpy(h.FileSignature.Bytes.data(), area + kFileSignatureAt, h.FileSignature.Bytes.size());
  h.NextFreePage = DecodeInt32(area + kNextFreePageAt);
  h.NextEndingPage = DecodeInt32(area + kNextEndingPageAt);
  h.IndexCount = static_cast<uint8_t>(area[kIndexCountAt]);
  for (int i = 0; i < idx::kSlotCount; ++i) {
    h.RootPages[i] = DecodeInt32(area + kRootPagesAt + 4 * i);
    h.DataRootPages[i] = DecodeInt32(area + kDataRootPagesAt + 4 * i);
  }
  return h;
}

}  // namespace cairn
