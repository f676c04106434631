// Turning a field's default, minimum or maximum text into a value in the field's stored form.
//
// A keyword is evaluated at the moment of the call (CURRENT_GUID a new GUID, CURRENT_DATE today
// at midnight, CURRENT_TIME the time of day, on 1899-12-30 for a date-time, CURRENT_TIMESTAMP
// now); any other text is a literal of the field's type. The value is written into a scratch
// area of at least the field's DataSize bytes (a string as zero-terminated text, cut to fit).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

// A text that is not a value of its type ("'x' is not a valid date"). Not an engine error: it
// is the conversion's failure, as for any value a caller converts.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bytes a scratch area needs for any field's value.
constexpr size_t kFieldScratchSize = 1024;

// Writes the value of text for the field into scratch (kFieldScratchSize bytes). False, writing
// nothing, for a type that takes no value from a text (blob, bytes and the types without value
// bytes). EConvertError for a text that does not convert.
bool EncodeFieldText(const TFieldDefinition& field, std::string_view text, char* scratch);

// The BCD record (precision 32, the given scale) of a money value in ten-thousandths, and back.
void EncodeBCD(int64_t tenThousandths, uint8_t scale, char* record);
// The value in ten-thousandths, rounded half away from zero; 0 for precision 0.
int64_t DecodeBCDToMoney(const char* record);

}  // namespace cairn
