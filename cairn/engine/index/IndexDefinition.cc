#include "cairn/engine/index/IndexDefinition.h"

#include <cstring>

#include "cairn/engine/io/Coding.h"

namespace cairn {
namespace {

constexpr size_t kIndexNameAt = 0;
constexpr size_t kKeySizeAt = 61;
constexpr size_t kKeyForeignAt = 63;
constexpr size_t kKeyForeignRuleAt = 64;
constexpr size_t kKeyForeignTableAt = 65;
constexpr size_t kKeyDescendingAt = 126;
constexpr size_t kKeyCaseInsensitiveAt = 127;
constexpr size_t kKeyUniqueAt = 128;
constexpr size_t kKeyCompressionTypeAt = 129;
constexpr size_t kKeyFieldCountAt = 130;
constexpr size_t kKeyDescendingFieldsAt = 131;
constexpr size_t kKeyFieldsAt = 259;
constexpr size_t kNoKeyStatisticsAt = 515;

}  // namespace

void TIndexDefinition::Encode(char* area) const {
  std::memset(area, 0, kSize);
  EncodeShortString(area + kIndexNameAt, kMaxNameLength, IndexName);
  EncodeFixed16(area + kKeySizeAt, KeySize);
  area[kKeyForeignAt] = static_cast<char>(KeyForeign);
  area[kKeyForeignRuleAt] = static_cast<char>(KeyForeignRule);
  EncodeShortString(area + kKeyForeignTableAt, kMaxNameLength, KeyForeignTable);
  area[kKeyDescendingAt] = KeyDescending ? 1 : 0;
  area[kKeyCaseInsensitiveAt] = KeyCaseInsensitive ? 1 : 0;
  area[kKeyUniqueAt] = KeyUnique ? 1 : 0;
  area[kKeyCompressionTypeAt] = static_cast<char>(KeyCompressionType);
  area[kKeyFieldCountAt] = static_cast<char>(KeyFieldCount);
  for (int i = 0; i < idx::kMaxKeyFields; ++i) {
    area[kKeyDescendingFieldsAt + i] = KeyDescendingFields[i] ? 1 : 0;
    EncodeFixed16(area + kKeyFieldsAt + 2 * i, KeyFields[i]);
  }
  area[kNoKeyStatisticsAt] = NoKeyStatistics ? 1 : 0;
}

TIndexDefinition TIndexDefinition::Decode(const char* area) {
  TIndexDefinition d;
  d.IndexName = DecodeShortString(area + kIndexNameAt, kMaxNameLength);
  d.KeySize = DecodeFixed16(area + kKeySizeAt);
  d.KeyForeign = static_cast<uint8_t>(area[kKeyForeignAt]);
  d.KeyForeignRule = static_cast<uint8_t>(area[kKeyForeignRuleAt]);
  d.KeyForeignTable = DecodeShortString(area + kKeyForeignTableAt, kMaxNameLength);
  d.KeyDescending = area[kKeyDescendingAt] != 0;
  d.KeyCaseInsensitive = area[kKeyCaseInsensitiveAt] != 0;
  d.KeyUnique = area[kKeyUniqueAt] != 0;
  d.KeyCompressionType = static_cast<uint8_t>(area[kKeyCompressionTypeAt]);
  d.KeyFieldCount = static_cast<uint8_t>(area[kKeyFieldCountAt]);
  for (int i = 0; i < idx::kMaxKeyFields; ++i) {
    d.KeyDescendingFields[i] = area[kKeyDescendingFieldsAt + i] != 0;
    d.KeyFields[i] = DecodeFixed16(area + kKeyFieldsAt + 2 * i);
  }
  d.NoKeyStatistics = area[kNoKeyStatisticsAt] != 0;
  return d;
}

bool TIndexDefinition::StringLengthsValid(const char* area) {
  return ShortStringLengthValid(area + kIndexNameAt, kMaxNameLength) &&
         ShortStringLengthValid(area + kKeyForeignTableAt, kMaxNameLength);
}

TIndexDefinition TIndexDefinition::AutomaticPrimary() {
  TIndexDefinition d;
  d.KeyUnique = true;
  d.KeyFieldCount = 1;
  d.KeyFields[0] = 65535;
  d.KeySize = 5;
  return d;
}

}  // namespace cairn
