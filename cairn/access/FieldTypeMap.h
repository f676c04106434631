// How the component layer's field types meet the engine's type codes.
//
// A definition's TFieldType becomes an engine data type and subtype when a table is created; an
// engine field read back from an open table becomes a TFieldType again. The way back is coarser:
// a wide string reads back as a string and a formatted memo as a memo, and engine types the
// component layer has no field type for are not surfaced at all.
#pragma once

#include <cstdint>
#include <optional>

#include "cairn/access/FieldTypes.h"

namespace cairn {

struct TFieldDefinition;

struct TEngineFieldType {
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  friend bool operator==(TEngineFieldType, TEngineFieldType) = default;
};

// The engine type of a field type; types the engine does not store give 0 and 0.
TEngineFieldType EngineFieldType(TFieldType fieldType);

// The field type of an engine type, refined by its subtype; none for a type without one.
std::optional<TFieldType> FieldTypeOf(uint8_t dataType, uint8_t subType);

// The size a definition read back from the engine carries: the declared length for the string
// codes (text, fixed text, GUID), bytes and variable bytes; the scale for BCD; else 0.
int32_t FieldSizeOf(TFieldType fieldType, const TFieldDefinition& definition);

// The declared length of a new engine field: the size for the sized text and byte types, 38 for
// a GUID whatever the size says; the low 16 bits only.
uint16_t EngineFieldLength(TFieldType fieldType, int32_t size);
// The BCD scale: the size's low 8 bits for ftBCD, else 0.
uint8_t EngineFieldDecimals(TFieldType fieldType, int32_t size);

}  // namespace cairn
