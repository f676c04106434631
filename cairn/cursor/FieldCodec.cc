#include "cairn/cursor/FieldCodec.h"

#include <cstring>
#include <string>

#include "cairn/engine/io/Coding.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/Locales.h"

namespace cairn {

namespace {

bool IsPseudoField(const TFieldDefinition& field) {
  return field.FieldNum == fld::kRecordIDFieldNum || field.FieldNum == fld::kRecordHashFieldNum;
}

size_t ValueLength(const TFieldDefinition& field) {
  return field.IsBlob() ? 4 : field.DataSize;
}

}  // namespace

bool TFieldCodec::IsNull(const TFieldDefinition& field, const char* record) {
  return !IsPseudoField(field) && record[field.Offset] == 0;
}

bool TFieldCodec::Get(const TFieldDefinition& field, const char* record, void* value) {
  if (IsPseudoField(field)) {
    std::memcpy(value, record + field.Offset, field.DataSize);
    return false;
  }
  if (record[field.Offset] == 0) return true;
  std::memcpy(value, record + field.Offset + 1, ValueLength(field));
  return false;
}

void TFieldCodec::Put(const TFieldDefinition& field, char* record, const void* value,
                      bool blobEmpty) const {
  if (IsPseudoField(field) || field.ExpressionField) return;
  char* flag = record + field.Offset;
  char* data = flag + 1;
  if (value == nullptr) {
    if (!field.IsBlob()) std::memset(data, 0, field.DataSize);
    *flag = 0;
    return;
  }
  switch (field.DataType) {
    case fld::kString:
      PutString(field, flag, static_cast<const char*>(value));
      return;
    case fld::kBlob: {
      std::memcpy(data, value, 4);
      // Only an open value (a negated handle) is present or null by the caller's word; a
      // block number keeps the flag the record had.
      if (DecodeInt32(data) < 0) *flag = blobEmpty ? 0 : 1;
      return;
    }
    case fld::kBoolean:
      std::memcpy(data, value, field.DataSize);
      if (DecodeFixed16(data) > 1) EncodeFixed16(data, 1);
      *flag = 1;
      return;
    default:
      std::memcpy(data, value, field.DataSize);
      *flag = 1;
  }
}

void TFieldCodec::PutString(const TFieldDefinition& field, char* flag, const char* text) const {
  char* data = flag + 1;
  const size_t size = field.DataSize;
  std::memset(data, 0, size);
  if (size == 0) {
    *flag = 0;
    return;
  }
  size_t length = ::strnlen(text, size - 1);
  std::memcpy(data, text, length);
  if (field.SubType != fld::kSubFixed) {
    while (length > 0 && data[length - 1] == ' ') data[--length] = 0;
  }
  if (field.CharCase == 1 || field.CharCase == 2) {
    const bool upper = field.CharCase == 2;
    if (FLocaleId == 0) {
      for (size_t i = 0; i < length; ++i) {
        data[i] = upper ? host::AnsiUpperChar(data[i]) : host::AnsiLowerChar(data[i]);
      }
    } else {
      const std::string_view original(data, length);
      const std::string mapped = upper ? host::LocaleUpperCase(FLocaleId, original)
                                       : host::LocaleLowerCase(FLocaleId, original);
      std::memcpy(data, mapped.data(), std::min(mapped.size(), length));
    }
  }
  *flag = data[0] != 0 ? 1 : 0;
}

}  // namespace cairn
