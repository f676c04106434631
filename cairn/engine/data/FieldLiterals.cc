#include "cairn/engine/data/FieldLiterals.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/DateTime.h"

namespace cairn {
namespace {

constexpr std::string_view kCurrentGuid = "CURRENT_GUID";
constexpr std::string_view kCurrentDate = "CURRENT_DATE";
constexpr std::string_view kCurrentTime = "CURRENT_TIME";
constexpr std::string_view kCurrentTimestamp = "CURRENT_TIMESTAMP";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// A run of 1 to 9 decimal digits and nothing else.
std::optional<int32_t> ParseDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Removes one "AM" or "PM" (case ignored) from the text; 0 none, 1 AM, 2 PM, -1 more than one.
int TakeMeridiem(std::string& text) {
  int found = 0;
  size_t at = std::string::npos;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const char first = host::AnsiUpperChar(text[i]);
    if ((first != 'A' && first != 'P') || host::AnsiUpperChar(text[i + 1]) != 'M') continue;
    if (found != 0) return -1;
    found = first == 'A' ? 1 : 2;
    at = i;
  }
  if (found != 0) text.erase(at, 2);
  return found;
}

bool IsTimeText(std::string_view text) {
  return text.find(':') != std::string_view::npos;
}

}  // namespace

TLiteralKeyword FieldLiteralKeyword(uint8_t dataType, std::string_view text) {
  const auto is = [&](std::string_view word) { return host::AnsiSameText(text, word); };
  switch (dataType) {
    case fld::kString:
      if (is(kCurrentGuid)) return TLiteralKeyword::CurrentGuid;
      break;
    case fld::kDate:
      if (is(kCurrentDate)) return TLiteralKeyword::CurrentDate;
      break;
    case fld::kTime:
      if (is(kCurrentTime)) return TLiteralKeyword::CurrentTime;
      break;
    case fld::kTimeStamp:
      if (is(kCurrentDate)) return TLiteralKeyword::CurrentDate;
      if (is(kCurrentTime)) return TLiteralKeyword::CurrentTime;
      if (is(kCurrentTimestamp)) return TLiteralKeyword::CurrentTimestamp;
      break;
    default:
      break;
  }
  return TLiteralKeyword::None;
}

bool IsValidFieldLiteral(uint8_t dataType, std::string_view text) {
  if (text.empty()) return true;
  if (FieldLiteralKeyword(dataType, text) != TLiteralKeyword::None) return true;
  switch (dataType) {
    case fld::kDate:
      return ParseDateLiteral(text).has_value();
    case fld::kBlob:
      return false;
    case fld::kBoolean:
      return ParseBooleanLiteral(text).has_value();
    case fld::kSmallInt:
      return ParseIntegerLiteral(text, INT16_MIN, INT16_MAX).has_value();
    case fld::kInteger:
      return ParseIntegerLiteral(text, INT32_MIN, INT32_MAX).has_value();
    case fld::kWord:
      return ParseIntegerLiteral(text, 0, UINT16_MAX).has_value();
    case fld::kLargeInt:
      return ParseIntegerLiteral(text, INT64_MIN, INT64_MAX).has_value();
    case fld::kFloat:
      return ParseFloatLiteral(text).has_value();
    case fld::kBCD:
      return ParseBCDLiteral(text).has_value();
    case fld::kTime:
      return ParseTimeLiteral(text).has_value();
    case fld::kTimeStamp:
      return ParseDateTimeLiteral(text).has_value();
    default:
      return true;  // strings, bytes and the types without values take any text
  }
}

// Y-M-D: three runs of digits separated by "-", forming a date of 0001-01-01 ... 9999-12-31.
std::optional<int32_t> ParseDateLiteral(std::string_view text) {
  const size_t first = text.find('-');
  if (first == std::string_view::npos) return std::nullopt;
  const size_t second = text.find('-', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto year = ParseDigits(text.substr(0, first));
  const auto month = ParseDigits(text.substr(first + 1, second - first - 1));
  const auto day = ParseDigits(text.substr(second + 1));
  if (!year || !month || !day) return std::nullopt;
  const int32_t dayNumber = host::DateToDayNumber(*year, *month, *day);
  if (dayNumber == 0) return std::nullopt;
  return dayNumber;
}

// H:M[:S[.ms]] with an optional AM or PM anywhere: with AM, hour 12 is 0; with PM, 12 is added to
// hours other than 12.
std::optional<int32_t> ParseTimeLiteral(std::string_view text) {
  std::string rest(text);
  const int meridiem = TakeMeridiem(rest);
  if (meridiem < 0) return std::nullopt;
  std::string_view clock = TrimBlanks(rest);
  if (!IsTimeText(clock)) return std::nullopt;

  std::optional<int32_t> parts[4] = {std::nullopt, std::nullopt, 0, 0};
  const size_t dot = clock.find('.');
  if (dot != std::string_view::npos) {
    parts[3] = ParseDigits(clock.substr(dot + 1));
    clock = clock.substr(0, dot);
  }
  size_t count = 0;
  while (count < 3) {
    const size_t colon = clock.find(':');
    parts[count++] = ParseDigits(clock.substr(0, colon));
    if (colon == std::string_view::npos) break;
    clock.remove_prefix(colon + 1);
    if (count == 3) return std::nullopt;  // a fourth part
  }
  // Milliseconds need seconds before them.
  if (count < 2 || (dot != std::string_view::npos && count < 3)) return std::nullopt;
  for (const auto& part : parts) {
    if (!part) return std::nullopt;
  }
  int32_t hour = *parts[0];
  if (meridiem == 1 && hour == 12) hour = 0;
  if (meridiem == 2 && hour != 12) hour += 12;
  if (hour > 23 || *parts[1] > 59 || *parts[2] > 59 || *parts[3] > 999) return std::nullopt;
  return ((hour * 60 + *parts[1]) * 60 + *parts[2]) * 1000 + *parts[3];
}

std::optional<double> ParseDateTimeLiteral(std::string_view text) {
  constexpr double kMSecsPerDay = host::kMSecsPerDay;
  const size_t space = text.find(' ');
  if (space != std::string_view::npos) {
    // "date time"; a time with a blank before AM or PM has no date in front.
    if (const auto day = ParseDateLiteral(text.substr(0, space))) {
      const auto time = ParseTimeLiteral(text.substr(space + 1));
      if (!time) return std::nullopt;
      return *day * kMSecsPerDay + *time;
    }
  }
  if (IsTimeText(text)) {
    const auto time = ParseTimeLiteral(text);
    if (!time) return std::nullopt;
    return host::kDateDelta * kMSecsPerDay + *time;
  }
  const auto day = ParseDateLiteral(text);
  if (!day) return std::nullopt;
  return *day * kMSecsPerDay;
}

std::optional<bool> ParseBooleanLiteral(std::string_view text) {
  if (host::AnsiSameText(text, "TRUE")) return true;
  if (host::AnsiSameText(text, "FALSE")) return false;
  return std::nullopt;
}

// An optional sign and decimal digits, blanks around them ignored.
std::optional<int64_t> ParseIntegerLiteral(std::string_view text, int64_t minimum,
                                           int64_t maximum) {
  text = TrimBlanks(text);
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

// [sign] digits [. digits] [E [sign] digits], or [sign] . digits ...; finite.
std::optional<double> ParseFloatLiteral(std::string_view text) {
  text = TrimBlanks(text);
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t numberStart = i;
  size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // from_chars takes no leading "+".
  const bool negative = numberStart > 0 && text[0] == '-';
  double value = 0;
  const char* first = text.data() + numberStart;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return negative ? -value : value;
}

// [sign] digits [. up to four digits], or [sign] . digits; within the 64-bit range of
// ten-thousandths.
std::optional<int64_t> ParseBCDLiteral(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (fraction.size() > 4) return std::nullopt;
  // Accumulated as a negative number, whose range reaches one further.
  int64_t value = 0;
  const auto add = [&](char c) {
    return IsDigit(c) && !__builtin_mul_overflow(value, 10, &value) &&
           !__builtin_sub_overflow(value, c - '0', &value);
  };
  for (char c : whole) {
    if (!add(c)) return std::nullopt;
  }
  for (size_t k = 0; k < 4; ++k) {
    if (!add(k < fraction.size() ? fraction[k] : '0')) return std::nullopt;
  }
  if (negative) return value;
  if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
  return -value;
}

}  // namespace cairn
