// The checks a new table's definitions pass before any of its files is made.
//
// ValidateTableCreateParams runs the table-level checks, then the field checks field by field,
// then the index checks (primary, secondaries in order, full-text slot), and raises the first
// failure as an engine error carrying the database and table names, plus the field or index
// name where the message names one ("Primary" for the primary index). When every check passes
// it normalises the definitions in place:
//
//   - index page size and blob block size rounded up to a multiple of 8;
//   - field names and secondary index names trimmed and cut to 60 characters;
//   - per field: Length 0 for all but the string-like codes 1, 9 and 15, Decimals 0 for all but
//     BCD, DataSize by FieldDataSize, DataDecimals = Decimals, and the record layout: Offset
//     starts at 25 (the record's system area) and grows by DataSize + 1 (null flag + value);
//   - slot 0 made unique with an empty name, or the automatic primary index on RecordID when it
//     has no key fields;
//   - every index's key field list ends at its first 0 (later entries cleared), KeyFieldCount
//     and KeySize stored;
//   - slot 31 set to the full-text index "Sys Text".
//
// On failure params is left exactly as it was handed in.
//
// Two limits are not checked here because they follow from the whole record: more than 256
// blob fields (CAIRN_BLOBLIMIT) and a record longer than 65534 bytes (CAIRN_RECTOOBIG). The data
// file raises them when it takes the field definitions; a definition list that passes this
// validation may still fail there, so a field's Offset beyond 65535 is stored as 65535 rather than
// wrapped.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/engine/table/TableCreateParams.h"

namespace cairn {

class TEngineServices;

void ValidateTableCreateParams(TEngineServices& engine, TTableCreateParams& params,
                               const std::string& databaseName, const std::string& tableName);

// The size rounded up to a multiple of 8. A negative size, or one too large to round within 32
// bits, is returned unchanged: either is outside every valid range and is refused by the range
// check that follows.
int32_t RoundUpToMultipleOf8(int32_t size);

}  // namespace cairn
