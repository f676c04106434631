// A field object: one field of an open dataset, read and written in the value forms callers use.
//
// The value a field object shows lives in the dataset's active record buffer; the object only
// knows its field and converts. Values cross to the record in the engine's native forms: 8-bit
// text cut at the field's size, 16-bit Booleans, day numbers for dates, milliseconds of the day
// for times, milliseconds since 0001-01-01 (as a double) for date-times. Date-time values here
// are days since 1899-12-30 with the time as the fraction.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/access/FieldTypes.h"

namespace cairn {

class TCairnDataSet;
struct TFieldDefinition;

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

class TCairnField {
 public:
  TCairnField(TCairnDataSet& dataSet, int32_t fieldNo, const std::string& name, TFieldType dataType,
              int32_t size, bool required);
  TCairnField(const TCairnField&) = delete;
  TCairnField& operator=(const TCairnField&) = delete;

  TCairnDataSet& DataSet() const { return FDataSet; }
  int32_t FieldNo() const { return FFieldNo; }
  const std::string& FieldName() const { return FFieldName; }
  const std::string& DisplayName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  TFieldKind FieldKind() const { return fkData; }
  bool Required() const { return FRequired; }
  void SetRequired(bool value) { FRequired = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }

  // Getters report the value of the active record; a null value reads as empty text, 0 or false.
  bool IsNull() const;
  std::string AsString() const;
  int32_t AsInteger() const;
  int64_t AsLargeInt() const;
  bool AsBoolean() const;
  double AsFloat() const;
  double AsCurrency() const { return AsFloat(); }
  double AsDateTime() const;

  // Setters need an editing state. A value the field's type cannot take fails with
  // EConvertError; an empty text sets null.
  void SetAsString(const std::string& value);
  void SetAsInteger(int32_t value) { SetAsLargeInt(value); }
  void SetAsLargeInt(int64_t value);
  void SetAsBoolean(bool value);
  void SetAsFloat(double value);
  void SetAsCurrency(double value) { SetAsFloat(value); }
  void SetAsDateTime(double value);
  // Sets null.
  void Clear();

 private:
  const TFieldDefinition& Descriptor() const;
  // Copies the native value into buffer (kFieldScratchSize bytes); false when null.
  bool GetData(char* buffer) const;
  void SetData(const void* buffer);
  std::string BlobText() const;
  void SetBlobText(const std::string& value);
  [[noreturn]] void ConvertError(const char* typeName) const;
  void PutInteger(int64_t value, int64_t minimum, int64_t maximum);

  TCairnDataSet& FDataSet;
  int32_t FFieldNo;
  std::string FFieldName;
  TFieldType FDataType;
  int32_t FSize;
  bool FRequired;
  bool FReadOnly = false;
};

}  // namespace cairn
