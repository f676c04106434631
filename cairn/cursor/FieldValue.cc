#include "cairn/cursor/FieldValue.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "cairn/engine/data/FieldLiterals.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/host/DateTime.h"
#include "cairn/host/System.h"

namespace cairn {

namespace {

constexpr double kMSecsPerDay = 86400000.0;
// 1899-12-30, the day a time alone falls on.
constexpr int32_t kTimeOnlyDay = 693594;
// A BCD record: precision, sign and scale, then 32 bytes of packed digits.
constexpr size_t kBCDDigits = 32;

[[noreturn]] void Fail(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

int32_t TodayDayNumber(const host::TSystemTime& now) {
  return host::DateToDayNumber(now.Year, now.Month, now.Day);
}

int32_t TimeOfDay(const host::TSystemTime& now) {
  return ((now.Hour * 60 + now.Minute) * 60 + now.Second) * 1000 + now.Milliseconds;
}

bool EncodeKeyword(const TFieldDefinition& field, TLiteralKeyword keyword, char* scratch) {
  if (keyword == TLiteralKeyword::CurrentGuid) {
    const std::string guid = host::NewGuidString();
    const size_t length =
        std::min<size_t>(guid.size(), field.DataSize > 0 ? field.DataSize - 1 : 0);
    std::memcpy(scratch, guid.data(), length);
    scratch[length] = 0;
    return true;
  }
  const host::TSystemTime now = host::GetLocalTime();
  const int32_t today = TodayDayNumber(now);
  const int32_t time = TimeOfDay(now);
  if (field.DataType == fld::kDate) {
    EncodeInt32(scratch, today);
  } else if (field.DataType == fld::kTime) {
    EncodeInt32(scratch, time);
  } else {
    double value = 0;
    switch (keyword) {
      case TLiteralKeyword::CurrentDate:
        value = today * kMSecsPerDay;
        break;
      case TLiteralKeyword::CurrentTime:
        value = kTimeOnlyDay * kMSecsPerDay + time;
        break;
      default:
        value = today * kMSecsPerDay + time;
    }
    EncodeDouble(scratch, value);
  }
  return true;
}

int64_t Integer(std::string_view text, int64_t minimum, int64_t maximum) {
  const auto value = ParseIntegerLiteral(text, minimum, maximum);
  if (!value) Fail(text, "integer value");
  return *value;
}

}  // namespace

bool EncodeFieldText(const TFieldDefinition& field, std::string_view text, char* scratch) {
  const TLiteralKeyword keyword = FieldLiteralKeyword(field.DataType, text);
  if (keyword != TLiteralKeyword::None) return EncodeKeyword(field, keyword, scratch);
  switch (field.DataType) {
    case fld::kString: {
      const size_t length = std::min<size_t>(text.size(), kFieldScratchSize - 1);
      std::memcpy(scratch, text.data(), length);
      scratch[length] = 0;
      return true;
    }
    case fld::kDate: {
      const auto day = ParseDateLiteral(text);
      if (!day) Fail(text, "date");
      EncodeInt32(scratch, *day);
      return true;
    }
    case fld::kBoolean: {
      const auto value = ParseBooleanLiteral(text);
      if (!value) Fail(text, "boolean");
      EncodeFixed16(scratch, *value ? 1 : 0);
      return true;
    }
    case fld::kSmallInt:
      EncodeInt16(scratch, static_cast<int16_t>(Integer(text, INT16_MIN, INT16_MAX)));
      return true;
    case fld::kInteger:
      EncodeInt32(scratch, static_cast<int32_t>(Integer(text, INT32_MIN, INT32_MAX)));
      return true;
    case fld::kWord:
      EncodeFixed16(scratch, static_cast<uint16_t>(Integer(text, 0, UINT16_MAX)));
      return true;
    case fld::kLargeInt:
      EncodeInt64(scratch, Integer(text, INT64_MIN, INT64_MAX));
      return true;
    case fld::kFloat: {
      const auto value = ParseFloatLiteral(text);
      if (!value) Fail(text, "floating point value");
      EncodeDouble(scratch, *value);
      return true;
    }
    case fld::kBCD: {
      const auto value = ParseBCDLiteral(text);
      if (!value) Fail(text, "BCD value");
      EncodeBCD(*value, field.DataDecimals, scratch);
      return true;
    }
    case fld::kTime: {
      const auto value = ParseTimeLiteral(text);
      if (!value) Fail(text, "time");
      EncodeInt32(scratch, *value);
      return true;
    }
    case fld::kTimeStamp: {
      const auto value = ParseDateTimeLiteral(text);
      if (!value) Fail(text, "date and time");
      EncodeDouble(scratch, *value);
      return true;
    }
    default:
      return false;
  }
}

// Packed digits are the number's 32 digits, the last `scale` of them after the point, two per
// byte with the high nibble first.
void EncodeBCD(int64_t tenThousandths, uint8_t scale, char* record) {
  std::memset(record, 0, 2 + kBCDDigits);
  scale = std::min<uint8_t>(scale, 63);
  const bool negative = tenThousandths < 0;
  // The magnitude as decimal digits with `scale` digits after the point.
  uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(tenThousandths) : static_cast<uint64_t>(tenThousandths);
  char digits[kBCDDigits];
  std::memset(digits, 0, sizeof digits);
  int shift = static_cast<int>(scale) - 4;  // > 0: append zeros; < 0: drop digits, rounding
  for (; shift < 0; ++shift) {
    const uint64_t rest = magnitude % 10;
    magnitude = magnitude / 10 + (rest >= 5 ? 1 : 0);
  }
  int position = static_cast<int>(kBCDDigits) - 1 - std::max(shift, 0);
  for (; position >= 0 && magnitude > 0; --position) {
    digits[position] = static_cast<char>(magnitude % 10);
    magnitude /= 10;
  }
  record[0] = static_cast<char>(kBCDDigits);
  record[1] = static_cast<char>((negative && tenThousandths != 0 ? 0x80 : 0) | (scale & 0x3F));
  for (size_t i = 0; i < kBCDDigits; i += 2) {
    record[2 + i / 2] = static_cast<char>((digits[i] << 4) | digits[i + 1]);
  }
}

int64_t DecodeBCDToMoney(const char* record) {
  const int precision = std::min<int>(static_cast<uint8_t>(record[0]), 64);
  if (precision == 0) return 0;
  const uint8_t signScale = static_cast<uint8_t>(record[1]);
  const int scale = std::min(signScale & 0x3F, precision);
  // Integer digits, then four decimals, then one more for rounding.
  const int wanted = precision - scale + 4;
  long double value = 0;
  int roundingDigit = 0;
  for (int i = 0; i < precision && i <= wanted; ++i) {
    const uint8_t byte = static_cast<uint8_t>(record[2 + i / 2]);
    const int digit = std::min((i % 2 == 0) ? byte >> 4 : byte & 0x0F, 9);
    if (i < wanted) {
      value = value * 10 + digit;
    } else {
      roundingDigit = digit;
    }
  }
  for (int i = precision; i < wanted; ++i) value *= 10;  // fewer than four decimals stored
  if (roundingDigit >= 5) value += 1;
  const long double limit = static_cast<long double>(std::numeric_limits<int64_t>::max());
  if (value > limit) value = limit;
  const int64_t result = static_cast<int64_t>(value);
  return (signScale & 0x80) != 0 ? -result : result;
}

}  // namespace cairn
