// The header of a table's data file: 512 bytes at offset 0, never enciphered.
//
//   offset size  field               notes
//   ------ ----  ------------------  ---------------------------------------------------------
//        0    4  UpdateStamp         i32, +1 at every header write (change detection)
//        4    4  (zero)
//        8    1  VersionNum          u8, 6
//        9   16  FileSignature       MD5 of the engine signature
//       25    4  NextFreeRecord      i32, first slot of the deleted-slot chain, 0 = none
//       29    4  NextEndingRecord    i32, slots in the file + 1
//       33    4  LastRecordID        i32
//       37    4  LastAutoIncID       i32
//       41    4  RecordCount         i32, live records
//       45    2  RecordLength        u16, a multiple of 8
//       47    2  FieldCount          u16, definitions after the header
//       49    2  BlobFieldCount      u16
//       51    4  BlobBlockSize       i32
//       55    4  LastBlobSignature   i32
//       59    4  IndexPageSize       i32
//       63    8  LastUpdated         f64, local date-time of the last write minus 693594.0
//       71  101  Description         length byte + up to 100 characters
//      172    1  Encrypted           u8, 1 = definitions, slots, index and blob file enciphered
//      173   16  Digest              password check value; zero when not encrypted
//      189    4  LocaleID            i32, 0 = plain byte order
//      193    2  UserMajorVersion    u16
//      195    2  UserMinorVersion    u16
//      197    1  IsDirty             u8, the in-memory dirty flag as it was when written
//      198  314  (zero)
//
// The file continues with FieldCount field definitions of 768 bytes, then the record slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cairn/crypto/Md5.h"

namespace cairn {

struct TDataHeader {
  static constexpr size_t kSize = 512;
  static constexpr size_t kMaxDescriptionLength = 100;
  // LastUpdated is stored as the date-time value less this many days.
  static constexpr double kLastUpdatedBias = 693594.0;

  int32_t UpdateStamp = 0;
  uint8_t VersionNum = 0;
  TMD5Digest FileSignature;
  int32_t NextFreeRecord = 0;
  int32_t NextEndingRecord = 0;
  int32_t LastRecordID = 0;
  int32_t LastAutoIncID = 0;
  int32_t RecordCount = 0;
  uint16_t RecordLength = 0;
  uint16_t FieldCount = 0;
  uint16_t BlobFieldCount = 0;
  int32_t BlobBlockSize = 0;
  int32_t LastBlobSignature = 0;
  int32_t IndexPageSize = 0;
  double LastUpdated = 0;  // the stored form
  std::string Description;
  uint8_t Encrypted = 0;
  TMD5Digest Digest;
  int32_t LocaleID = 0;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  uint8_t IsDirty = 0;

  // Writes the 512 bytes into area.
  void Encode(char* area) const;
  // Reads 512 bytes; a description length beyond its area is clamped.
  static TDataHeader Decode(const char* area);
  // Whether the description's length byte fits its area (a check for damaged headers).
  static bool StringLengthsValid(const char* area);

  // The local date-time value (days since 1899-12-30) of the last write.
  double LastUpdatedDateTime() const { return LastUpdated + kLastUpdatedBias; }
};

}  // namespace cairn
