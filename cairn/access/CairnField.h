// A field object: one field of an open dataset, read and written in the value forms callers use.
//
// The value a field object shows lives in the dataset's active record buffer; the object only
// knows its field and converts. Values cross to the record in the engine's native forms: 8-bit
// text cut at the field's size, 16-bit Booleans, day numbers for dates, milliseconds of the day
// for times, milliseconds since 0001-01-01 (as a double) for date-times. Date-time values here
// are days since 1899-12-30 with the time as the fraction.
//
// A calculated field (kind fkCalculated, field number below 1) has no engine field: its value
// lives in the row's calculated-field area, in the native form of the engine type its field type
// maps to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
  ~TCairnField();
  TCairnField(const TCairnField&) = delete;
  TCairnField& operator=(const TCairnField&) = delete;

  // Runs with the native value (null for none) before it reaches the record; throwing refuses it.
  std::function<void(TCairnField&, const void* value)> OnValidate;

  TCairnDataSet& DataSet() const { return FDataSet; }
  int32_t FieldNo() const { return FFieldNo; }
  const std::string& FieldName() const { return FFieldName; }
  const std::string& DisplayName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  TFieldKind FieldKind() const { return FKind; }
  // Makes this a calculated field whose flag byte is at offset in the calculated-field area.
  void MakeCalculated(int32_t offset);
  int32_t CalcOffset() const { return FCalcOffset; }
  // Bytes of the native value of a calculated field.
  int32_t CalcDataSize() const;
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

  friend class TCairnDataSet;

  TCairnDataSet& FDataSet;
  // The open cursor's definition of a data field, taken when the dataset made the field: the
  // cursor keeps its definitions unchanged while open, and the dataset frees its fields at close.
  // Null for a field made otherwise, which then looks its definition up at every use.
  const TFieldDefinition* FEngineDescriptor = nullptr;
  int32_t FFieldNo;
  std::string FFieldName;
  TFieldType FDataType;
  int32_t FSize;
  bool FRequired;
  bool FReadOnly = false;
  TFieldKind FKind = fkData;
  int32_t FCalcOffset = 0;
  // The engine form of a calculated field's value.
  std::unique_ptr<TFieldDefinition> FCalcDescriptor;
};

}  // namespace cairn
