// The component layer's fixed error texts. "%s" marks where a name is filled in (FormatMessage).
#pragma once

namespace cairn {

// Field and index definitions.
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SDuplicateName = "Duplicate name '%s' in %s";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";

}  // namespace cairn
