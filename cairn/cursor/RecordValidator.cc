#include "cairn/cursor/RecordValidator.h"

#include <cstring>
#include <string_view>

#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/host/Locales.h"

namespace cairn {

namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareValues(const TFieldDefinition& field, const char* a, const char* b, uint32_t localeId) {
  switch (field.DataType) {
    case fld::kString: {
      const std::string_view ta(a, ::strnlen(a, field.DataSize));
      const std::string_view tb(b, ::strnlen(b, kFieldScratchSize));
      return Order(host::CompareLocaleStrings(localeId, ta, tb), 0);
    }
    case fld::kDate:
    case fld::kInteger:
    case fld::kTime:
      return Order(DecodeInt32(a), DecodeInt32(b));
    case fld::kSmallInt:
      return Order(DecodeInt16(a), DecodeInt16(b));
    case fld::kBoolean:
    case fld::kWord:
      return Order(DecodeFixed16(a), DecodeFixed16(b));
    case fld::kLargeInt:
      return Order(DecodeInt64(a), DecodeInt64(b));
    case fld::kFloat:
    case fld::kTimeStamp:
      return Order(DecodeDouble(a), DecodeDouble(b));
    case fld::kBCD:
      return Order(DecodeBCDToMoney(a), DecodeBCDToMoney(b));
    default:
      return Order(std::memcmp(a, b, field.DataSize), 0);
  }
}

}  // namespace

int TRecordValidator::CompareWithText(const TFieldDefinition& field, const char* record,
                                      std::string_view text, uint32_t localeId) {
  char bound[kFieldScratchSize] = {};
  if (!EncodeFieldText(field, text, bound)) return 0;  // a type without bounds
  return CompareValues(field, record + field.Offset + 1, bound, localeId);
}

TRecordValidator::TResult TRecordValidator::Check(const std::vector<TFieldDefinition>& fields,
                                                  const char* record, uint32_t localeId) {
  for (const TFieldDefinition& field : fields) {
    if (!field.Required && field.Minimum.empty() && field.Maximum.empty()) continue;
    const bool isNull = record[field.Offset] == 0;
    if (field.Required && isNull) return {TFault::Required, &field};
    // A null string compares as the empty text (its value bytes are zero).
    if (isNull && field.DataType != fld::kString) continue;
    if (!field.Minimum.empty() && CompareWithText(field, record, field.Minimum, localeId) < 0) {
      return {TFault::BelowMinimum, &field};
    }
    if (!field.Maximum.empty() && CompareWithText(field, record, field.Maximum, localeId) > 0) {
      return {TFault::AboveMaximum, &field};
    }
  }
  return {};
}

}  // namespace cairn
