#include "cairn/engine/data/DataHeader.h"

#include <cstring>

#include "cairn/engine/io/Coding.h"

namespace cairn {
namespace {

constexpr size_t kUpdateStampAt = 0;
constexpr size_t kVersionNumAt = 8;
constexpr size_t kFileSignatureAt = 9;
constexpr size_t kNextFreeRecordAt = 25;
constexpr size_t kNextEndingRecordAt = 29;
constexpr size_t kLastRecordIDAt = 33;
constexpr size_t kLastAutoIncIDAt = 37;
constexpr size_t kRecordCountAt = 41;
constexpr size_t kRecordLengthAt = 45;
constexpr size_t kFieldCountAt = 47;
constexpr size_t kBlobFieldCountAt = 49;
constexpr size_t kBlobBlockSizeAt = 51;
constexpr size_t kLastBlobSignatureAt = 55;
constexpr size_t kIndexPageSizeAt = 59;
constexpr size_t kLastUpdatedAt = 63;
constexpr size_t kDescriptionAt = 71;
constexpr size_t kEncryptedAt = 172;
constexpr size_t kDigestAt = 173;
constexpr size_t kLocaleIDAt = 189;
constexpr size_t kUserMajorVersionAt = 193;
constexpr size_t kUserMinorVersionAt = 195;
constexpr size_t kIsDirtyAt = 197;

void EncodeDigest(char* dst, const TMD5Digest& digest) {
  std::memcpy(dst, digest.Bytes.data(), digest.Bytes.size());
}

TMD5Digest DecodeDigest(const char* src) {
  TMD5Digest digest;
  std::memcpy(digest.Bytes.data(), src, digest.Bytes.size());
  return digest;
}

}  // namespace

void TDataHeader::Encode(char* area) const {
  std::memset(area, 0, kSize);
  EncodeInt32(area + kUpdateStampAt, UpdateStamp);
  area[kVersionNumAt] = static_cast<char>(VersionNum);
  EncodeDigest(area + kFileSignatureAt, FileSignature);
  EncodeInt32(area + kNextFreeRecordAt, NextFreeRecord);
  EncodeInt32(area + kNextEndingRecordAt, NextEndingRecord);
  EncodeInt32(area + kLastRecordIDAt, LastRecordID);
  EncodeInt32(area + kLastAutoIncIDAt, LastAutoIncID);
  EncodeInt32(area + kRecordCountAt, RecordCount);
  EncodeFixed16(area + kRecordLengthAt, RecordLength);
  EncodeFixed16(area + kFieldCountAt, FieldCount);
  EncodeFixed16(area + kBlobFieldCountAt, BlobFieldCount);
  EncodeInt32(area + kBlobBlockSizeAt, BlobBlockSize);
  EncodeInt32(area + kLastBlobSignatureAt, LastBlobSignature);
  EncodeInt32(area + kIndexPageSizeAt, IndexPageSize);
  EncodeDouble(area + kLastUpdatedAt, LastUpdated);
  EncodeShortString(area + kDescriptionAt, kMaxDescriptionLength, Description);
  area[kEncryptedAt] = static_cast<char>(Encrypted);
  EncodeDigest(area + kDigestAt, Digest);
  EncodeInt32(area + kLocaleIDAt, LocaleID);
  EncodeFixed16(area + kUserMajorVersionAt, UserMajorVersion);
  EncodeFixed16(area + kUserMinorVersionAt, UserMinorVersion);
  area[kIsDirtyAt] = static_cast<char>(IsDirty);
}

TDataHeader TDataHeader::Decode(const char* area) {
  TDataHeader h;
  h.UpdateStamp = DecodeInt32(area + kUpdateStampAt);
  h.VersionNum = static_cast<uint8_t>(area[kVersionNumAt]);
  h.FileSignature = DecodeDigest(area + kFileSignatureAt);
  h.NextFreeRecord = DecodeInt32(area + kNextFreeRecordAt);
  h.NextEndingRecord = DecodeInt32(area + kNextEndingRecordAt);
  h.LastRecordID = DecodeInt32(area + kLastRecordIDAt);
  h.LastAutoIncID = DecodeInt32(area + kLastAutoIncIDAt);
  h.RecordCount = DecodeInt32(area + kRecordCountAt);
  h.RecordLength = DecodeFixed16(area + kRecordLengthAt);
  h.FieldCount = DecodeFixed16(area + kFieldCountAt);
  h.BlobFieldCount = DecodeFixed16(area + kBlobFieldCountAt);
  h.BlobBlockSize = DecodeInt32(area + kBlobBlockSizeAt);
  h.LastBlobSignature = DecodeInt32(area + kLastBlobSignatureAt);
  h.IndexPageSize = DecodeInt32(area + kIndexPageSizeAt);
  h.LastUpdated = DecodeDouble(area + kLastUpdatedAt);
  h.Description = DecodeShortString(area + kDescriptionAt, kMaxDescriptionLength);
  h.Encrypted = static_cast<uint8_t>(area[kEncryptedAt]);
  h.Digest = DecodeDigest(area + kDigestAt);
  h.LocaleID = DecodeInt32(area + kLocaleIDAt);
  h.UserMajorVersion = DecodeFixed16(area + kUserMajorVersionAt);
  h.UserMinorVersion = DecodeFixed16(area + kUserMinorVersionAt);
  h.IsDirty = static_cast<uint8_t>(area[kIsDirtyAt]);
  return h;
}

bool TDataHeader::StringLengthsValid(const char* area) {
  return ShortStringLengthValid(area + kDescriptionAt, kMaxDescriptionLength);
}

}  // namespace cairn
