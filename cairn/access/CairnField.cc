#include "cairn/access/CairnField.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "cairn/access/CairnBlobStream.h"
#include "cairn/access/CairnDataSet.h"
#include "cairn/access/FieldTypeMap.h"
#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/data/FieldLiterals.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/DateTime.h"

namespace cairn {
namespace {

constexpr double kMSecsPerDay = 86400000.0;

// The literal forms the engine reads back: "yyyy-mm-dd", "hh:mm:ss.zzz".
std::string DateText(int32_t dayNumber) {
  int year = 0, month = 0, day = 0;
  if (!host::DayNumberToDate(dayNumber, year, month, day)) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TimeText(int32_t msecs) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", msecs / 3600000, msecs / 60000 % 60,
                msecs / 1000 % 60, msecs % 1000);
  return text;
}

std::string FloatText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

TCairnField::TCairnField(TCairnDataSet& dataSet, int32_t fieldNo, const std::string& name,
                         TFieldType dataType, int32_t size, bool required)
    : FDataSet(dataSet),
      FFieldNo(fieldNo),
      FFieldName(name),
      FDataType(dataType),
      FSize(size),
      FRequired(required) {}

TCairnField::~TCairnField() = default;

void TCairnField::MakeCalculated(int32_t offset) {
  FKind = fkCalculated;
  FCalcOffset = offset;
  auto descriptor = std::make_unique<TFieldDefinition>();
  const TEngineFieldType type = EngineFieldType(FDataType);
  descriptor->FieldName = host::Utf8ToAnsi(FFieldName);
  descriptor->DataType = type.DataType;
  descriptor->SubType = type.SubType;
  descriptor->Length = EngineFieldLength(FDataType, FSize);
  descriptor->Decimals = EngineFieldDecimals(FDataType, FSize);
  descriptor->DataDecimals = descriptor->Decimals;
  descriptor->DataSize = FieldDataSize(type.DataType, type.SubType, descriptor->Length);
  FCalcDescriptor = std::move(descriptor);
}

int32_t TCairnField::CalcDataSize() const {
  return FCalcDescriptor ? FCalcDescriptor->DataSize : 0;
}

const TFieldDefinition& TCairnField::Descriptor() const {
  if (FEngineDescriptor != nullptr) return *FEngineDescriptor;
  if (FCalcDescriptor) return *FCalcDescriptor;
  return FDataSet.EngineField(FFieldNo);
}

bool TCairnField::GetData(char* buffer) const {
  return FDataSet.GetFieldData(*this, buffer);
}

void TCairnField::SetData(const void* buffer) {
  FDataSet.SetFieldData(*this, buffer);
}

void TCairnField::ConvertError(const char* typeName) const {
  throw EConvertError("Cannot access field '" + FFieldName + "' as type " + typeName);
}

bool TCairnField::IsNull() const {
  char scratch[kFieldScratchSize];
  return FDataSet.FieldValue(*this, scratch) == nullptr;
}

// A memo's text is 8-bit; other blobs hand their bytes over as they are.
std::string TCairnField::BlobText() const {
  TCairnBlobStream stream(const_cast<TCairnField&>(*this), bmRead);
  std::string bytes(stream.Size(), '\0');
  bytes.resize(stream.Read(bytes.data(), bytes.size()));
  return FDataType == ftMemo ? host::AnsiToUtf8(bytes) : bytes;
}

void TCairnField::SetBlobText(const std::string& value) {
  const std::string bytes = FDataType == ftMemo ? host::Utf8ToAnsi(value) : value;
  TCairnBlobStream stream(*this, bmWrite);
  stream.Write(bytes.data(), bytes.size());
}

// ---- Getters ------------------------------------------------------------------------------------

// The getters read the value where it lies (FieldValue), or the bytes GetData copied (the field's
// whole value); text parsed up to its zero is copied into a cleared scratch.
std::string TCairnField::AsString() const {
  char scratch[kFieldScratchSize];
  const TFieldDefinition& d = Descriptor();
  if (d.IsBlob()) return BlobText();
  const char* value = FDataSet.FieldValue(*this, scratch);
  if (value == nullptr) return {};
  switch (d.DataType) {
    case fld::kString:
      return host::AnsiToUtf8(std::string_view(value, ::strnlen(value, d.DataSize)));
    case fld::kBoolean:
      return DecodeFixed16(value) != 0 ? "True" : "False";
    case fld::kFloat:
    case fld::kBCD:
      return FloatText(AsFloat());
    case fld::kDate:
      return DateText(DecodeInt32(value));
    case fld::kTime:
      return TimeText(DecodeInt32(value));
    case fld::kTimeStamp: {
      const double msecs = DecodeDouble(value);
      // A stored value no day number can hold (NaN, infinite, far out of range) shows as no date,
      // as a day number no date has does.
      const double days = std::floor(msecs / kMSecsPerDay);
      if (!(days >= INT32_MIN && days <= INT32_MAX)) return {};
      const auto day = static_cast<int32_t>(days);
      return DateText(day) + " " + TimeText(static_cast<int32_t>(msecs - day * kMSecsPerDay));
    }
    default:
      return std::to_string(AsLargeInt());
  }
}

int64_t TCairnField::AsLargeInt() const {
  char scratch[kFieldScratchSize];
  const TFieldDefinition& d = Descriptor();
  if (d.DataType == fld::kString) {
    std::memset(scratch, 0, sizeof scratch);
    if (!GetData(scratch) || scratch[0] == 0) return 0;
    const auto value = ParseIntegerLiteral(scratch, INT64_MIN, INT64_MAX);
    if (!value) throw EConvertError("'" + AsString() + "' is not a valid integer value");
    return *value;
  }
  const char* value = FDataSet.FieldValue(*this, scratch);
  switch (d.DataType) {
    case fld::kSmallInt:
      return value != nullptr ? DecodeInt16(value) : 0;
    case fld::kWord:
    case fld::kBoolean:
      return value != nullptr ? DecodeFixed16(value) : 0;
    case fld::kInteger:
      return value != nullptr ? DecodeInt32(value) : 0;
    case fld::kLargeInt:
      return value != nullptr ? DecodeInt64(value) : 0;
    default:
      ConvertError("Integer");
  }
}

int32_t TCairnField::AsInteger() const {
  const int64_t value = AsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) ConvertError("Integer");
  return static_cast<int32_t>(value);
}

bool TCairnField::AsBoolean() const {
  const TFieldDefinition& d = Descriptor();
  if (d.DataType == fld::kString) {
    char buffer[kFieldScratchSize] = {};
    if (!GetData(buffer) || buffer[0] == 0) return false;
    const auto value = ParseBooleanLiteral(buffer);
    if (!value) throw EConvertError("'" + AsString() + "' is not a valid boolean value");
    return *value;
  }
  if (d.DataType == fld::kFloat || d.DataType == fld::kBCD) return AsFloat() != 0;
  return AsLargeInt() != 0;
}

double TCairnField::AsFloat() const {
  const TFieldDefinition& d = Descriptor();
  switch (d.DataType) {
    case fld::kFloat:
    case fld::kBCD: {
      char scratch[kFieldScratchSize];
      const char* value = FDataSet.FieldValue(*this, scratch);
      if (value == nullptr) return 0;
      return d.DataType == fld::kFloat ? DecodeDouble(value)
                                       : static_cast<double>(DecodeBCDToMoney(value)) / 10000.0;
    }
    case fld::kDate:
    case fld::kTime:
    case fld::kTimeStamp:
      return AsDateTime();
    case fld::kString: {
      char buffer[kFieldScratchSize] = {};
      if (!GetData(buffer) || buffer[0] == 0) return 0;
      const auto value = ParseFloatLiteral(buffer);
      if (!value) throw EConvertError("'" + AsString() + "' is not a valid floating point value");
      return *value;
    }
    default:
      return static_cast<double>(AsLargeInt());
  }
}

double TCairnField::AsDateTime() const {
  char scratch[kFieldScratchSize];
  const TFieldDefinition& d = Descriptor();
  if (d.DataType != fld::kDate && d.DataType != fld::kTime && d.DataType != fld::kTimeStamp)
    ConvertError("DateTime");
  const char* value = FDataSet.FieldValue(*this, scratch);
  if (value == nullptr) return 0;
  switch (d.DataType) {
    case fld::kDate:
      return DecodeInt32(value) - host::kDateDelta;
    case fld::kTime:
      return DecodeInt32(value) / kMSecsPerDay;
    default:
      return host::MSecsToDateTime(DecodeDouble(value));
  }
}

// ---- Setters ------------------------------------------------------------------------------------

void TCairnField::Clear() {
  SetData(nullptr);
}

void TCairnField::SetAsString(const std::string& value) {
  const TFieldDefinition& d = Descriptor();
  if (d.IsBlob()) {
    SetBlobText(value);
    return;
  }
  if (value.empty()) {
    Clear();
    return;
  }
  std::string ansi = host::Utf8ToAnsi(value);
  if (d.DataType == fld::kString) {
    if (FSize > 0 && ansi.size() > static_cast<size_t>(FSize)) ansi.resize(FSize);
    SetData(ansi.c_str());
    return;
  }
  // Other types take the literal forms the engine reads for defaults.
  char scratch[kFieldScratchSize] = {};
  if (!EncodeFieldText(d, ansi, scratch)) ConvertError("String");
  SetData(scratch);
}

void TCairnField::PutInteger(int64_t value, int64_t minimum, int64_t maximum) {
  if (value < minimum || value > maximum) {
    throw EConvertError(std::to_string(value) + " is not a valid value for field '" + FFieldName +
                        "'. The allowed range is " + std::to_string(minimum) + " to " +
                        std::to_string(maximum));
  }
  char scratch[8];
  EncodeInt64(scratch, value);  // little-endian: the low bytes are the narrower forms
  SetData(scratch);
}

void TCairnField::SetAsLargeInt(int64_t value) {
  const TFieldDefinition& d = Descriptor();
  switch (d.DataType) {
    case fld::kSmallInt:
      return PutInteger(value, INT16_MIN, INT16_MAX);
    case fld::kWord:
      return PutInteger(value, 0, UINT16_MAX);
    case fld::kInteger:
      return PutInteger(value, INT32_MIN, INT32_MAX);
    case fld::kLargeInt:
      return PutInteger(value, INT64_MIN, INT64_MAX);
    case fld::kBoolean:
      return SetAsBoolean(value != 0);
    case fld::kFloat:
    case fld::kBCD:
      return SetAsFloat(static_cast<double>(value));
    case fld::kString:
      return SetAsString(std::to_string(value));
    default:
      ConvertError("Integer");
  }
}

void TCairnField::SetAsBoolean(bool value) {
  const TFieldDefinition& d = Descriptor();
  if (d.DataType == fld::kBoolean) {
    char scratch[2];
    EncodeFixed16(scratch, value ? 1 : 0);
    SetData(scratch);
  } else if (d.DataType == fld::kString) {
    SetAsString(value ? "True" : "False");
  } else {
    SetAsLargeInt(value ? 1 : 0);
  }
}

void TCairnField::SetAsFloat(double value) {
  const TFieldDefinition& d = Descriptor();
  char scratch[kFieldScratchSize] = {};
  switch (d.DataType) {
    case fld::kFloat:
      EncodeDouble(scratch, value);
      return SetData(scratch);
    case fld::kBCD: {
      const long double scaled = std::round(static_cast<long double>(value) * 10000);
      if (!std::isfinite(value) || std::fabs(scaled) > static_cast<long double>(INT64_MAX))
        ConvertError("BCD");
      EncodeBCD(static_cast<int64_t>(scaled), d.DataDecimals, scratch);
      return SetData(scratch);
    }
    case fld::kDate:
    case fld::kTime:
    case fld::kTimeStamp:
      return SetAsDateTime(value);
    case fld::kString:
      return SetAsString(FloatText(value));
    default: {
      const double rounded = std::round(value);
      if (!std::isfinite(rounded) || std::fabs(rounded) >= 9.2e18) ConvertError("Integer");
      return SetAsLargeInt(static_cast<int64_t>(rounded));
    }
  }
}

void TCairnField::SetAsDateTime(double value) {
  const TFieldDefinition& d = Descriptor();
  char scratch[8];
  switch (d.DataType) {
    case fld::kDate:
      EncodeInt32(scratch, host::DateTimeToDayNumber(value));
      return SetData(scratch);
    case fld::kTime:
      EncodeInt32(scratch, host::DateTimeToTimeMSecs(value));
      return SetData(scratch);
    case fld::kTimeStamp:
      EncodeDouble(scratch, host::DateTimeToMSecs(value));
      return SetData(scratch);
    case fld::kString: {
      const double msecs = host::DateTimeToMSecs(value);
      const auto day = static_cast<int32_t>(std::floor(msecs / kMSecsPerDay));
      return SetAsString(DateText(day) + " " +
                         TimeText(static_cast<int32_t>(msecs - day * kMSecsPerDay)));
    }
    default:
      ConvertError("DateTime");
  }
}

}  // namespace cairn
