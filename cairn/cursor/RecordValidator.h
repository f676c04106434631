// The validity checks of a record about to be stored: required fields and inclusive bounds.
//
// A required field must not be null. A present field (and a null string, whose empty text then
// counts) must not lie below its Minimum nor above its Maximum. Numbers, dates, times and
// date-times compare by value; booleans with FALSE below TRUE; strings under the table's locale
// (string sort, accents ignored) or byte by byte under locale 0.
#pragma once

#include <cstdint>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

class TRecordValidator {
 public:
  enum class TFault { None, Required, BelowMinimum, AboveMaximum };
  struct TResult {
    TFault Fault = TFault::None;
    const TFieldDefinition* Field = nullptr;
  };

  // The first fault of the record, fields in position order. A bound that does not convert
  // raises EConvertError.
  static TResult Check(const std::vector<TFieldDefinition>& fields, const char* record,
                       uint32_t localeId);

  // The order of a field value against the value of a bound text: <0, 0, >0.
  static int CompareWithText(const TFieldDefinition& field, const char* record,
                             std::string_view text, uint32_t localeId);
};

}  // namespace cairn
