#include "tools/cairn/ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <variant>

#include "cairn/access/CairnField.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/DateTime.h"

namespace cairn::tools {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The next code point of a UTF-8 text, advancing pos; -1 for a malformed sequence (overlong forms,
// surrogates and values beyond U+10FFFF included).
int32_t NextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra;
  int32_t code;
  int32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return -1;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return -1;
    code = (code << 6) | (next & 0x3F);
    ++pos;
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  return code;
}

// Digits of a fixed count at pos; -1 when they are not all there.
int Digits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return -1;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

struct TDateParts {
  int Year, Month, Day;
};
struct TTimeParts {
  int Hour, Minute, Second, Millisecond;
};

// "yyyy-mm-dd" at the start of text; false when it is not there or not a real date.
bool ParseDate(std::string_view text, TDateParts& date) {
  date = {Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2)};
  return text.size() >= 10 && text[4] == '-' && text[7] == '-' && date.Year >= 0 &&
         date.Month >= 0 && date.Day >= 0 &&
         host::DateToDayNumber(date.Year, date.Month, date.Day) != 0;
}

// "hh:mm", "hh:mm:ss" or "hh:mm:ss" with a fraction of 1 to 3 digits, the whole text.
bool ParseTime(std::string_view text, TTimeParts& time) {
  time = {Digits(text, 0, 2), Digits(text, 3, 2), 0, 0};
  if (text.size() < 5 || text[2] != ':' || time.Hour < 0 || time.Minute < 0) return false;
  size_t pos = 5;
  if (pos < text.size()) {
    time.Second = Digits(text, 6, 2);
    if (text[pos] != ':' || time.Second < 0) return false;
    pos = 8;
    if (pos < text.size()) {
      const size_t digits = text.size() - pos - 1;
      if (text[pos] != '.' || digits < 1 || digits > 3) return false;
      time.Millisecond = Digits(text, pos + 1, digits);
      if (time.Millisecond < 0) return false;
      for (size_t i = digits; i < 3; ++i) time.Millisecond *= 10;
    }
  }
  return time.Hour < 24 && time.Minute < 60 && time.Second < 60;
}

double TimeValue(const TTimeParts& t) {
  return (t.Hour * 3600000.0 + t.Minute * 60000.0 + t.Second * 1000.0 + t.Millisecond) /
         host::kMSecsPerDay;
}

TCairnValue ParseInteger(const TFieldTarget& target, std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range)
    throw EValueError("'" + std::string(text) + "' is out of range");
  if (error != std::errc() || end != text.data() + text.size())
    throw EValueError("'" + std::string(text) + "' is not an integer");
  int64_t minimum = INT32_MIN, maximum = INT32_MAX;
  if (target.Type == ftSmallint) minimum = INT16_MIN, maximum = INT16_MAX;
  if (target.Type == ftWord) minimum = 0, maximum = UINT16_MAX;
  if (target.Type == ftLargeint) minimum = INT64_MIN, maximum = INT64_MAX;
  if (value < minimum || value > maximum) {
    throw EValueError(std::string(text) + " is out of range (" + std::to_string(minimum) + " to " +
                      std::to_string(maximum) + ")");
  }
  return value;
}

TCairnValue ParseDecimal(const TFieldTarget& target, std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    throw EValueError("'" + std::string(text) + "' is not a decimal number");
  if (target.Type == ftCurrency) return TCurrencyValue{value};
  return value;
}

TCairnValue ParseBoolean(std::string_view text) {
  if (host::AnsiSameText(text, "true")) return true;
  if (host::AnsiSameText(text, "false")) return false;
  throw EValueError("'" + std::string(text) + "' is not true or false");
}

TCairnValue ParseDateValue(std::string_view text) {
  TDateParts date;
  if (text.size() != 10 || !ParseDate(text, date))
    throw EValueError("'" + std::string(text) + "' is not a date (yyyy-mm-dd)");
  return TDateTimeValue{host::EncodeDateTime(date.Year, date.Month, date.Day, 0, 0, 0, 0)};
}

TCairnValue ParseTimeValue(std::string_view text) {
  TTimeParts time;
  if (!ParseTime(text, time))
    throw EValueError("'" + std::string(text) + "' is not a time (hh:mm:ss.zzz)");
  return TDateTimeValue{TimeValue(time)};
}

TCairnValue ParseDateTimeValue(std::string_view text) {
  TDateParts date;
  TTimeParts time{0, 0, 0, 0};
  const bool valid =
      ParseDate(text, date) &&
      (text.size() == 10 || (text.size() > 11 && (text[10] == 'T' || text[10] == ' ') &&
                             ParseTime(text.substr(11), time)));
  if (!valid) {
    throw EValueError("'" + std::string(text) + "' is not a date-time (yyyy-mm-ddThh:mm:ss.zzz)");
  }
  return TDateTimeValue{host::EncodeDateTime(date.Year, date.Month, date.Day, time.Hour,
                                             time.Minute, time.Second, time.Millisecond)};
}

// "hh:mm:ss.000" loses its zero fraction.
std::string WithoutZeroFraction(std::string text) {
  if (text.size() >= 4 && text.compare(text.size() - 4, 4, ".000") == 0)
    text.resize(text.size() - 4);
  return text;
}

}  // namespace

TValueKind ValueKindOf(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
      return TValueKind::Text;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      return TValueKind::Integer;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      return TValueKind::Decimal;
    case ftBoolean:
      return TValueKind::Boolean;
    case ftDate:
      return TValueKind::Date;
    case ftTime:
      return TValueKind::Time;
    case ftDateTime:
      return TValueKind::DateTime;
    case ftMemo:
    case ftFmtMemo:
      return TValueKind::Memo;
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return TValueKind::Blob;
    default:
      return TValueKind::Unsupported;
  }
}

size_t CheckWindows1252(std::string_view utf8) {
  // ASCII, by far the most common, is a character a byte and all of it is in Windows-1252.
  size_t ascii = 0;
  while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
  size_t count = ascii;
  for (size_t pos = ascii; pos < utf8.size(); ++count) {
    const size_t start = pos;
    const int32_t code = NextCodePoint(utf8, pos);
    if (code < 0) throw EValueError("not valid UTF-8 at byte " + std::to_string(start + 1));
    if (code >= 0x80 && host::UnicodeToAnsiChar(static_cast<char32_t>(code)) == '?') {
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      throw EValueError("character " + std::string(name) + " '" +
                        std::string(utf8.substr(start, pos - start)) + "' is not in Windows-1252");
    }
  }
  return count;
}

TCairnValue ParseValue(const TFieldTarget& target, std::string_view text, bool& cut) {
  cut = false;
  if (text.empty()) return TNullValue{};
  switch (target.Kind) {
    case TValueKind::Text: {
      const size_t characters = CheckWindows1252(text);
      cut = target.Size > 0 && characters > static_cast<size_t>(target.Size);
      return std::string(text);
    }
    case TValueKind::Memo:
      CheckWindows1252(text);
      return std::string(text);
    case TValueKind::Integer:
      return ParseInteger(target, text);
    case TValueKind::Decimal:
      return ParseDecimal(target, text);
    case TValueKind::Boolean:
      return ParseBoolean(text);
    case TValueKind::Date:
      return ParseDateValue(text);
    case TValueKind::Time:
      return ParseTimeValue(text);
    case TValueKind::DateTime:
      return ParseDateTimeValue(text);
    case TValueKind::Blob:
      return Base64Decode(text);
    case TValueKind::Unsupported:
      break;
  }
  throw EValueError("a field of this type cannot be loaded from text");
}

void ParseValueInto(const TFieldTarget& target, std::string_view text, bool& cut,
                    TCairnValue& value) {
  const bool isText = target.Kind == TValueKind::Text || target.Kind == TValueKind::Memo;
  if (!isText || text.empty()) {
    value = ParseValue(target, text, cut);
    return;
  }
  const size_t characters = CheckWindows1252(text);
  cut = target.Kind == TValueKind::Text && target.Size > 0 &&
        characters > static_cast<size_t>(target.Size);
  if (auto* held = std::get_if<std::string>(&value)) {
    held->assign(text);
  } else {
    value.emplace<std::string>(text);
  }
}

std::string FormatValue(TValueKind kind, const TCairnField& field) {
  if (field.IsNull()) return {};
  switch (kind) {
    case TValueKind::Text:
    case TValueKind::Memo:
    case TValueKind::Date:
      return field.AsString();
    case TValueKind::Integer:
      return std::to_string(field.AsLargeInt());
    case TValueKind::Decimal:
      return DecimalText(field.AsFloat());
    case TValueKind::Boolean:
      return field.AsBoolean() ? "true" : "false";
    case TValueKind::Time:
      return WithoutZeroFraction(field.AsString());
    case TValueKind::DateTime: {
      std::string text = WithoutZeroFraction(field.AsString());
      if (text.size() > 10 && text[10] == ' ') text[10] = 'T';
      return text;
    }
    case TValueKind::Blob:
      return Base64Encode(field.AsString());
    case TValueKind::Unsupported:
      break;
  }
  return {};
}

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t group = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) text += kBase64Alphabet[(group >> shift) & 63];
  }
  if (i < bytes.size()) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    text += kBase64Alphabet[(group >> 18) & 63];
    text += kBase64Alphabet[(group >> 12) & 63];
    text += i + 1 < bytes.size() ? kBase64Alphabet[(group >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

std::string Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) throw EValueError("not base64: the length is not a multiple of 4");
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    int padding = 0;
    for (size_t j = i; j < i + 4; ++j) {
      const char c = text[j];
      int value;
      if (c >= 'A' && c <= 'Z')
        value = c - 'A';
      else if (c >= 'a' && c <= 'z')
        value = c - 'a' + 26;
      else if (c >= '0' && c <= '9')
        value = c - '0' + 52;
      else if (c == '+')
        value = 62;
      else if (c == '/')
        value = 63;
      else if (c == '=' && i + 4 == text.size() && j >= i + 2)
        value = 0, ++padding;
      else
        throw EValueError("not base64: character " + std::to_string(j + 1));
      // Padding only at the end: nothing but "=" may follow one.
      if (padding > 0 && c != '=')
        throw EValueError("not base64: character " + std::to_string(j + 1));
      group = group << 6 | static_cast<uint32_t>(value);
    }
    bytes += static_cast<char>(group >> 16);
    if (padding < 2) bytes += static_cast<char>(group >> 8 & 0xFF);
    if (padding < 1) bytes += static_cast<char>(group & 0xFF);
  }
  return bytes;
}

std::string DecimalText(double value) {
  char text[40];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace cairn::tools
