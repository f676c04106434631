#include "cairn/engine/index/KeyComparer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/Locales.h"

namespace cairn {
namespace {

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// The first differing byte decides, as unsigned values.
int CompareBytes(const char* a, const char* b, size_t length) {
  return Sign(std::memcmp(a, b, length));
}

}  // namespace

TKeyComparer::TKeyComparer(TEngineServices& engine, const TIndexDefinition& definition,
                           const std::vector<TFieldDefinition>& fields, uint32_t localeId)
    : FKeySize(definition.KeySize), FLocaleId(localeId) {
  const int count = std::min<int>(definition.KeyFieldCount, idx::kMaxKeyFields);
  for (int i = 0; i < count; ++i) {
    const TFieldDefinition* field = FindKeyField(fields, definition.KeyFields[i]);
    if (field == nullptr) {
      TEngineErrorContext context;
      context.IndexName = definition.IndexName;
      engine.RaiseError(CAIRN_INVALIDIDXDESC, context);
    }
    TPart part;
    part.ValueLength = KeyValueLength(*field);
    part.Descending = definition.KeyDescendingFields[i];
    part.LocaleText = localeId != 0 && field->DataType == fld::kString;
    FPlainBytes = FPlainBytes && !part.Descending && !part.LocaleText;
    FParts.push_back(part);
  }
}

uint16_t TKeyComparer::KeyValueLength(const TFieldDefinition& field) {
  return field.DataType == fld::kBCD ? 8 : field.DataSize;
}

const TFieldDefinition* TKeyComparer::FindKeyField(const std::vector<TFieldDefinition>& fields,
                                                   uint16_t fieldNum) {
  if (fieldNum == fld::kRecordIDFieldNum) return &RecordIDFieldDefinition();
  if (fieldNum == fld::kRecordHashFieldNum) return &RecordHashFieldDefinition();
  if (fieldNum == 0) return nullptr;
  const auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const TFieldDefinition& f) { return f.FieldNum == fieldNum; });
  return it == fields.end() ? nullptr : &*it;
}

size_t TKeyComparer::PartsSize() const {
  size_t total = 0;
  for (const TPart& part : FParts) total += part.ValueLength + 1u;
  return total;
}

// A text runs to its zero terminator or to the end of its area.
int TKeyComparer::CompareText(const char* a, const char* b, size_t length) const {
  const std::string_view ta(a, strnlen(a, length));
  const std::string_view tb(b, strnlen(b, length));
  return Sign(host::CompareLocaleStrings(FLocaleId, ta, tb));
}

int TKeyComparer::CompareParts(const char* a, const char* b, size_t n) const {
  size_t t = 0;
  for (const TPart& part : FParts) {
    if (t >= n) return 0;
    int result = 0;
    size_t partLength = 0;
    if (!part.LocaleText) {
      partLength = std::min<size_t>(part.ValueLength + 1u, n - t);
      result = CompareBytes(a + t, b + t, partLength);
    } else {
      const size_t textLength = std::min<size_t>(part.ValueLength, n - t - 1);
      partLength = 1 + textLength;
      result = CompareBytes(a + t, b + t, 1);
      if (result == 0) result = CompareText(a + t + 1, b + t + 1, textLength);
    }
    if (result != 0) return part.Descending ? -result : result;
    t += partLength;
  }
  // The RecordID suffix of a non-unique index: posting order, never reversed.
  return t < n ? CompareBytes(a + t, b + t, n - t) : 0;
}

}  // namespace cairn
