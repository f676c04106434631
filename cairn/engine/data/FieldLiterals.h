// The texts a field definition may carry as its default, minimum and maximum value.
//
// A text is either empty (no value), a keyword that names a value taken from the clock or the
// system when a record is started, or a literal of the field's type:
//
//   type code            literal                                      stored value
//   -------------------  -------------------------------------------  --------------------------
//   2 date               Y-M-D, decimal integers                      day number (0001-01-01 = 1)
//   4 boolean            TRUE or FALSE, case ignored                  1 or 0
//   5, 6, 12, 18         decimal integer in the type's range          the integer
//   7 float              decimal number, "." as decimal point         double
//   8 BCD                decimal number with at most four decimals    ten-thousandths (int64)
//   10 time              H:M[:S[.ms]], AM or PM anywhere              milliseconds of the day
//   11 date-time         "date time", a time alone, or a date alone   day number x 86400000 + ms
//   3 blob               only the empty text
//   1, 9, 15 and others  any text
//
// Keywords (whole text, case ignored): CURRENT_GUID for code 1; CURRENT_DATE for 2 and 11;
// CURRENT_TIME for 10 and 11; CURRENT_TIMESTAMP for 11.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cairn {

enum class TLiteralKeyword { None, CurrentGuid, CurrentDate, CurrentTime, CurrentTimestamp };

// The keyword the text names when that keyword is allowed for the type; None otherwise.
TLiteralKeyword FieldLiteralKeyword(uint8_t dataType, std::string_view text);

// Whether the text is a valid default, minimum or maximum of a field of the type: empty, an
// allowed keyword, or a literal of the type.
bool IsValidFieldLiteral(uint8_t dataType, std::string_view text);

// Literal parsers; each answers nullopt for a text that is not a literal of its form. Keywords
// are not literals.
std::optional<int32_t> ParseDateLiteral(std::string_view text);
std::optional<int32_t> ParseTimeLiteral(std::string_view text);
// The date-time value in its stored form, day number x 86400000 + milliseconds of the day; a
// time alone falls on 1899-12-30 (day 693594), a date alone at midnight.
std::optional<double> ParseDateTimeLiteral(std::string_view text);
std::optional<bool> ParseBooleanLiteral(std::string_view text);
// An integer within [minimum, maximum].
std::optional<int64_t> ParseIntegerLiteral(std::string_view text, int64_t minimum, int64_t maximum);
std::optional<double> ParseFloatLiteral(std::string_view text);
// A money value with at most four decimals, in ten-thousandths.
std::optional<int64_t> ParseBCDLiteral(std::string_view text);

}  // namespace cairn
