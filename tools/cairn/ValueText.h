// Field values as text in CSV and JSON lines, both ways.
//
// Text and memos are UTF-8 here and Windows-1252 in the table; integers are decimal; decimals use
// "." ; Booleans are true/false; dates, times and date-times are ISO 8601 ("2024-03-01",
// "09:30:00.250", "2024-03-01T09:30:00"); blobs are base64. An empty cell is null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cairn/access/CairnValue.h"
#include "cairn/access/FieldTypes.h"

namespace cairn {
class TCairnField;
}

namespace cairn::tools {

enum class TValueKind : uint8_t {
  Text,
  Integer,
  Decimal,
  Boolean,
  Date,
  Time,
  DateTime,
  Memo,
  Blob,
  Unsupported,  // a type the tool cannot show as text (bytes, nested types)
};

TValueKind ValueKindOf(TFieldType type);

// A value the text does not give; the message says why, without line or field.
class EValueError : public std::exception {
 public:
  explicit EValueError(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// How a text converts for one field.
struct TFieldTarget {
  TValueKind Kind = TValueKind::Unsupported;
  TFieldType Type = ftUnknown;
  // For text fields: characters kept (the engine cuts longer texts there); 0 for no limit.
  int32_t Size = 0;
};

// The value a cell gives; an empty cell is null. Sets cut when a text is longer than the field
// (the value is handed over whole, the field object cuts it). EValueError for anything else the
// field cannot take.
TCairnValue ParseValue(const TFieldTarget& target, std::string_view text, bool& cut);
// The same into value, leaving it as it was on EValueError. A text goes into the string value
// holds already, so that a loop over rows keeps reusing its storage.
void ParseValueInto(const TFieldTarget& target, std::string_view text, bool& cut,
                    TCairnValue& value);

// The field's value in the active record as a cell's text; null gives an empty text.
std::string FormatValue(TValueKind kind, const TCairnField& field);

// The count of characters of a UTF-8 text, after checking that each is one Windows-1252 holds.
// EValueError naming the first character that is not.
size_t CheckWindows1252(std::string_view utf8);

std::string Base64Encode(std::string_view bytes);
// EValueError for a text that is not base64.
std::string Base64Decode(std::string_view text);

// Shortest text that reads back as the same double.
std::string DecimalText(double value);

}  // namespace cairn::tools
