#include "cairn/cursor/KeyBuilder.h"

#include <cstring>
#include <string>

#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/Locales.h"

namespace cairn {

namespace {

constexpr uint16_t kTop16 = 0x8000;
constexpr uint32_t kTop32 = 0x80000000u;
constexpr uint64_t kTop64 = 0x8000000000000000ull;

// The double's bits in an order where unsigned comparison is numeric comparison.
uint64_t OrderedDoubleBits(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & kTop64) == 0 ? bits | kTop64 : ~bits;
}

}  // namespace

void TKeyBuilder::Load(TEngineServices& engine, int pos, const TIndexDefinition& definition,
                       const std::vector<TFieldDefinition>& fields, uint32_t localeId) {
  FComparer.emplace(engine, definition, fields, localeId);
  FPos = pos;
  FDefinition = definition;
  FLocaleId = localeId;
  FKeyFields.clear();
  const int count = std::min<int>(definition.KeyFieldCount, idx::kMaxKeyFields);
  for (int i = 0; i < count; ++i) {
    FKeyFields.push_back(TKeyComparer::FindKeyField(fields, definition.KeyFields[i]));
  }
  FKeySize = FComparer->PartsSize() + (definition.KeyUnique ? 0 : 4);
}

void TKeyBuilder::Clear() {
  FPos = kNoIndex;
  FDefinition = TIndexDefinition();
  FKeyFields.clear();
  FKeySize = 0;
  FComparer.reset();
}

void TKeyBuilder::Build(const char* record, char* key) const {
  std::memset(key, 0, FKeySize);
  size_t p = 0;
  for (const TFieldDefinition* field : FKeyFields) {
    const bool pseudo =
        field->FieldNum == fld::kRecordIDFieldNum || field->FieldNum == fld::kRecordHashFieldNum;
    const char* value = pseudo ? record + field->Offset : record + field->Offset + 1;
    key[p] = pseudo || record[field->Offset] != 0 ? 1 : 0;
    EncodeValue(*field, value, key + p + 1);
    p += TKeyComparer::KeyValueLength(*field) + 1u;
  }
  if (!FDefinition.KeyUnique) {
    EncodeBigEndian32(key + p, DecodeFixed32(record + TRecord::kRecordIDAt) ^ kTop32);
  }
}

void TKeyBuilder::EncodeValue(const TFieldDefinition& field, const char* value, char* out) const {
  switch (field.DataType) {
    case fld::kString: {
      const size_t length = ::strnlen(value, field.DataSize);
      std::memcpy(out, value, length);
      if (!FDefinition.KeyCaseInsensitive) return;
      if (FLocaleId == 0) {
        for (size_t i = 0; i < length; ++i) out[i] = host::AnsiUpperChar(out[i]);
      } else {
        const std::string upper = host::LocaleUpperCase(FLocaleId, std::string_view(out, length));
        std::memcpy(out, upper.data(), std::min(upper.size(), length));
      }
      return;
    }
    case fld::kDate:
    case fld::kInteger:
    case fld::kTime:
      EncodeBigEndian32(out, DecodeFixed32(value) ^ kTop32);
      return;
    case fld::kSmallInt:
      EncodeBigEndian16(out, DecodeFixed16(value) ^ kTop16);
      return;
    case fld::kBoolean:
    case fld::kWord:
      EncodeBigEndian16(out, DecodeFixed16(value));
      return;
    case fld::kLargeInt:
      EncodeBigEndian64(out, DecodeFixed64(value) ^ kTop64);
      return;
    case fld::kBCD:
      EncodeBigEndian64(out, static_cast<uint64_t>(DecodeBCDToMoney(value)) ^ kTop64);
      return;
    case fld::kFloat:
    case fld::kTimeStamp:
      EncodeBigEndian64(out, OrderedDoubleBits(DecodeDouble(value)));
      return;
    default:
      std::memcpy(out, value, field.DataSize);
  }
}

}  // namespace cairn
