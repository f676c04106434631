#include "cairn/engine/data/FieldDefinition.h"

#include <cstring>

#include "cairn/engine/io/Coding.h"

namespace cairn {
namespace {

// Offsets of the stored fields.
constexpr size_t kFieldNumAt = 0;
constexpr size_t kFieldNameAt = 2;
constexpr size_t kDescriptionAt = 63;
constexpr size_t kDataTypeAt = 164;
constexpr size_t kSubTypeAt = 165;
constexpr size_t kLengthAt = 166;
constexpr size_t kDecimalsAt = 168;
constexpr size_t kDataSizeAt = 169;
constexpr size_t kDataDecimalsAt = 171;
constexpr size_t kOffsetAt = 172;
constexpr size_t kRequiredAt = 174;
constexpr size_t kCharCaseAt = 175;
constexpr size_t kMinimumAt = 176;
constexpr size_t kMaximumAt = 277;
constexpr size_t kDefaultAt = 378;
constexpr size_t kCompressionAt = 479;
constexpr size_t kHiddenAt = 485;

TFieldDefinition MakePseudoField(const char* name, uint16_t number, uint8_t type, uint8_t subType,
                                 uint16_t length, uint16_t dataSize, uint16_t offset) {
  TFieldDefinition d;
  d.FieldNum = number;
  d.FieldName = name;
  d.DataType = type;
  d.SubType = subType;
  d.Length = length;
  d.DataSize = dataSize;
  d.Offset = offset;
  return d;
}

}  // namespace

void TFieldDefinition::Encode(char* area) const {
  std::memset(area, 0, kSize);
  EncodeFixed16(area + kFieldNumAt, FieldNum);
  EncodeShortString(area + kFieldNameAt, kMaxNameLength, FieldName);
  EncodeShortString(area + kDescriptionAt, kMaxTextLength, Description);
  area[kDataTypeAt] = static_cast<char>(DataType);
  area[kSubTypeAt] = static_cast<char>(SubType);
  EncodeFixed16(area + kLengthAt, Length);
  area[kDecimalsAt] = static_cast<char>(Decimals);
  EncodeFixed16(area + kDataSizeAt, DataSize);
  area[kDataDecimalsAt] = static_cast<char>(DataDecimals);
  EncodeFixed16(area + kOffsetAt, Offset);
  area[kRequiredAt] = Required ? 1 : 0;
  area[kCharCaseAt] = static_cast<char>(CharCase);
  EncodeShortString(area + kMinimumAt, kMaxTextLength, Minimum);
  EncodeShortString(area + kMaximumAt, kMaxTextLength, Maximum);
  EncodeShortString(area + kDefaultAt, kMaxTextLength, Default);
  area[kCompressionAt] = static_cast<char>(Compression);
  area[kHiddenAt] = Hidden ? 1 : 0;
}

TFieldDefinition TFieldDefinition::Decode(const char* area) {
  TFieldDefinition d;
  d.FieldNum = DecodeFixed16(area + kFieldNumAt);
  d.FieldName = DecodeShortString(area + kFieldNameAt, kMaxNameLength);
  d.Description = DecodeShortString(area + kDescriptionAt, kMaxTextLength);
  d.DataType = static_cast<uint8_t>(area[kDataTypeAt]);
  d.SubType = static_cast<uint8_t>(area[kSubTypeAt]);
  d.Length = DecodeFixed16(area + kLengthAt);
  d.Decimals = static_cast<uint8_t>(area[kDecimalsAt]);
  d.DataSize = DecodeFixed16(area + kDataSizeAt);
  d.DataDecimals = static_cast<uint8_t>(area[kDataDecimalsAt]);
  d.Offset = DecodeFixed16(area + kOffsetAt);
  d.Required = area[kRequiredAt] != 0;
  d.CharCase = static_cast<uint8_t>(area[kCharCaseAt]);
  d.Minimum = DecodeShortString(area + kMinimumAt, kMaxTextLength);
  d.Maximum = DecodeShortString(area + kMaximumAt, kMaxTextLength);
  d.Default = DecodeShortString(area + kDefaultAt, kMaxTextLength);
  d.Compression = static_cast<uint8_t>(area[kCompressionAt]);
  d.Hidden = area[kHiddenAt] != 0;
  return d;
}

bool TFieldDefinition::StringLengthsValid(const char* area) {
  return ShortStringLengthValid(area + kFieldNameAt, kMaxNameLength) &&
         ShortStringLengthValid(area + kDescriptionAt, kMaxTextLength) &&
         ShortStringLengthValid(area + kMinimumAt, kMaxTextLength) &&
         ShortStringLengthValid(area + kMaximumAt, kMaxTextLength) &&
         ShortStringLengthValid(area + kDefaultAt, kMaxTextLength);
}

uint16_t FieldDataSize(uint8_t dataType, uint8_t subType, uint16_t length) {
  switch (dataType) {
    case fld::kString:
      return static_cast<uint16_t>(subType == fld::kSubWide ? 2 * length + 1 : length + 1);
    case fld::kDate:
    case fld::kInteger:
    case fld::kTime:
      return 4;
    case fld::kBlob:
    case fld::kFloat:
    case fld::kTimeStamp:
    case fld::kLargeInt:
      return 8;
    case fld::kBoolean:
    case fld::kSmallInt:
    case fld::kWord:
      return 2;
    case fld::kBCD:
      return 34;
    default:
      return length;
  }
}

bool IsValidNameStart(std::string_view name) {
  if (name.empty()) return false;
  const auto code = static_cast<unsigned char>(name[0]);
  return (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z') || code == '_' ||
         (code >= 128 && code <= 254);
}

const TFieldDefinition& RecordIDFieldDefinition() {
  static const TFieldDefinition field =
      MakePseudoField("RecordID", fld::kRecordIDFieldNum, fld::kInteger, 0, 0, 4, 5);
  return field;
}

const TFieldDefinition& RecordHashFieldDefinition() {
  static const TFieldDefinition field = MakePseudoField(
      "RecordHash", fld::kRecordHashFieldNum, fld::kBytes, fld::kSubRecordHash, 16, 16, 9);
  return field;
}

}  // namespace cairn
