#include "cairn/access/FieldTypeMap.h"

#include <algorithm>
#include <iterator>

#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {
namespace {

struct TTypeMapping {
  TFieldType FieldType;
  TEngineFieldType Engine;
};

constexpr TTypeMapping kTypeMap[] = {
    {ftString, {fld::kString, 0}},
    {ftSmallint, {fld::kSmallInt, 0}},
    {ftInteger, {fld::kInteger, 0}},
    {ftWord, {fld::kWord, 0}},
    {ftBoolean, {fld::kBoolean, 0}},
    {ftFloat, {fld::kFloat, 0}},
    {ftCurrency, {fld::kFloat, fld::kSubMoney}},
    {ftBCD, {fld::kBCD, 0}},
    {ftDate, {fld::kDate, 0}},
    {ftTime, {fld::kTime, 0}},
    {ftDateTime, {fld::kTimeStamp, 0}},
    {ftBytes, {fld::kBytes, 0}},
    {ftVarBytes, {fld::kVarBytes, 0}},
    {ftAutoInc, {fld::kInteger, fld::kSubAutoInc}},
    {ftBlob, {fld::kBlob, 0}},
    {ftMemo, {fld::kBlob, fld::kSubMemo}},
    {ftGraphic, {fld::kBlob, fld::kSubGraphic}},
    {ftFmtMemo, {fld::kBlob, fld::kSubMemo}},
    {ftParadoxOle, {fld::kBlob, 0}},
    {ftDBaseOle, {fld::kBlob, 0}},
    {ftTypedBinary, {fld::kBlob, 0}},
    {ftOraBlob, {fld::kBlob, 0}},
    {ftOraClob, {fld::kBlob, 0}},
    {ftCursor, {fld::kCursor, 0}},
    {ftFixedChar, {fld::kString, fld::kSubFixed}},
    {ftWideString, {fld::kString, 0}},
    {ftLargeint, {fld::kLargeInt, 0}},
    {ftADT, {fld::kADT, 0}},
    {ftArray, {fld::kArray, 0}},
    {ftReference, {fld::kReference, 0}},
    {ftDataSet, {fld::kDataSet, 0}},
    {ftGuid, {fld::kString, fld::kSubGuid}},
};

// The way back: the field type of each engine code before its subtype is looked at. Codes 0,
// 14, 16, 17 and anything above 23 have none.
constexpr std::optional<TFieldType> kBaseTypeOf[] = {
    std::nullopt,  // 0
    ftString,      // 1
    ftDate,        // 2
    ftBlob,        // 3
    ftBoolean,     // 4
    ftSmallint,    // 5
    ftInteger,     // 6
    ftFloat,       // 7
    ftBCD,         // 8
    ftBytes,       // 9
    ftTime,        // 10
    ftDateTime,    // 11
    ftWord,        // 12
    ftInteger,     // 13
    std::nullopt,  // 14
    ftVarBytes,    // 15
    std::nullopt,  // 16
    std::nullopt,  // 17
    ftLargeint,    // 18
    ftLargeint,    // 19
    ftADT,         // 20
    ftArray,       // 21
    ftReference,   // 22
    ftDataSet,     // 23
};

// Subtypes that change the field type of a code: (code, subtype) -> field type.
struct TSubTypeMapping {
  uint8_t DataType;
  uint8_t SubType;
  TFieldType FieldType;
};

constexpr TSubTypeMapping kSubTypeMap[] = {
    {fld::kString, fld::kSubFixed, ftFixedChar},
    {fld::kString, fld::kSubGuid, ftGuid},
    {fld::kBlob, 22, ftMemo},
    {fld::kBlob, 24, ftMemo},
    {fld::kBlob, 33, ftMemo},
    {fld::kBlob, fld::kSubGraphic, ftGraphic},
    {fld::kInteger, fld::kSubAutoInc, ftAutoInc},
    {fld::kFloat, fld::kSubMoney, ftCurrency},
};

}  // namespace

TEngineFieldType EngineFieldType(TFieldType fieldType) {
  auto it = std::find_if(std::begin(kTypeMap), std::end(kTypeMap),
                         [fieldType](const TTypeMapping& m) { return m.FieldType == fieldType; });
  return it == std::end(kTypeMap) ? TEngineFieldType{} : it->Engine;
}

std::optional<TFieldType> FieldTypeOf(uint8_t dataType, uint8_t subType) {
  if (dataType >= std::size(kBaseTypeOf)) return std::nullopt;
  for (const TSubTypeMapping& m : kSubTypeMap) {
    if (m.DataType == dataType && m.SubType == subType) return m.FieldType;
  }
  return kBaseTypeOf[dataType];
}

int32_t FieldSizeOf(TFieldType fieldType, const TFieldDefinition& definition) {
  switch (fieldType) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
    case ftBytes:
    case ftVarBytes:
      return definition.Length;
    case ftBCD:
      return definition.Decimals;
    default:
      return 0;
  }
}

uint16_t EngineFieldLength(TFieldType fieldType, int32_t size) {
  switch (fieldType) {
    case ftString:
    case ftBytes:
    case ftVarBytes:
    case ftFixedChar:
    case ftWideString:
      return static_cast<uint16_t>(size & 0xFFFF);
    case ftGuid:
      return 38;
    default:
      return 0;
  }
}

uint8_t EngineFieldDecimals(TFieldType fieldType, int32_t size) {
  return fieldType == ftBCD ? static_cast<uint8_t>(size & 0xFF) : 0;
}

}  // namespace cairn
