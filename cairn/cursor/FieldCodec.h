// The get and put rules of one field of a record buffer.
//
// A record buffer has the layout of a record slot: 25 system bytes (status, next-free number,
// RecordID, RecordHash), then per field a null-flag byte (1 = present) and DataSize value bytes.
// Values cross these rules in their stored form: strings as zero-terminated 8-bit text, every
// other type as its DataSize little-endian bytes (a blob field as its 4-byte first block number
// or, while open, the negated blob handle).
#pragma once

#include <cstdint>

#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

class TFieldCodec {
 public:
  explicit TFieldCodec(uint32_t localeId = 0) : FLocaleId(localeId) {}
  void SetLocaleId(uint32_t value) { FLocaleId = value; }
  uint32_t LocaleId() const { return FLocaleId; }

  // Copies the value (DataSize bytes; 4 for a blob) into value when it is not null, and answers
  // whether the field is null. The pseudo-fields are never null: their bytes start at Offset
  // with no flag byte.
  static bool Get(const TFieldDefinition& field, const char* record, void* value);
  // Where Get would copy the value from, without copying: its bytes in record, or null when the
  // field is null.
  static const char* Value(const TFieldDefinition& field, const char* record) {
    if (field.FieldNum == fld::kRecordIDFieldNum || field.FieldNum == fld::kRecordHashFieldNum)
      return record + field.Offset;
    return record[field.Offset] == 0 ? nullptr : record + field.Offset + 1;
  }
  static bool IsNull(const TFieldDefinition& field, const char* record);
  // Writes a present value (value != nullptr) or null. A string is cut to DataSize - 1
  // characters, loses its trailing spaces (unless of fixed length), is case-mapped by CharCase
  // under the locale, and is stored as null when nothing is left. A blob field takes 4 bytes; a
  // negative one (an open handle) is present unless blobEmpty. A boolean other than 0 is 1.
  // Writing a pseudo-field has no effect.
  void Put(const TFieldDefinition& field, char* record, const void* value,
           bool blobEmpty = false) const;

 private:
  void PutString(const TFieldDefinition& field, char* flag, const char* text) const;

  uint32_t FLocaleId;
};

}  // namespace cairn
