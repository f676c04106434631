// A table's structure as one JSON document: what `schema --json` prints and `create` reads.
//
//   { "table": "People", "description": "", "locale": 0, "userMajorVersion": 1,
//     "userMinorVersion": 0, "encrypted": false, "indexPageSize": 4096, "blobBlockSize": 512,
//     "fields": [ { "number": 1, "name": "ID", "type": "AutoInc", "size": 0, "required": false,
//                   "default": "", "minimum": "", "maximum": "", "description": "",
//                   "case": "none", "compression": 0 }, ... ],
//     "indexes": [ { "name": "", "fields": "ID", "options": ["primary", "unique"],
//                    "descFields": "", "compression": "none", "noKeyStatistics": false,
//                    "keySize": 5 }, ... ] }
//
// Reading back, "table", "number", "encrypted" and "keySize" are informational: a new table
// numbers its fields by position, is encrypted by the password it is given, and the engine
// computes key sizes. Every other key may be left out (its default is taken); an unknown key or a
// value of the wrong kind is refused, naming where it is.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "cairn/access/FieldTypes.h"

namespace cairn {
class TCairnTable;
}

namespace cairn::tools {

using TJson = nlohmann::ordered_json;

// The table-level settings CreateTable takes besides the definitions.
struct TTableSettings {
  int32_t LocaleID = 0;
  uint16_t UserMajorVersion = 1;
  uint16_t UserMinorVersion = 0;
  bool Encrypted = false;
  std::string Description;
  int32_t IndexPageSize = 4096;
  int32_t BlobBlockSize = 512;
};

// Names of field types, letter cases, index options and key compressions in the document.
std::string FieldTypeName(TFieldType type);
std::string CharCaseName(TFieldCharCase charCase);
std::string IndexOptionsText(TIndexOptions options);
std::string IndexCompressionName(TIndexCompression compression);

// The structure of an open table, as the component layer reads it back.
TTableSettings ReadTableSettings(const TCairnTable& openTable);
TJson SchemaToJson(TCairnTable& openTable);

// Fills the closed table object's field and index definitions from a document and returns its
// table-level settings. EToolError for a document that does not have the shape above.
TTableSettings SchemaFromJson(const TJson& schema, TCairnTable& table);

}  // namespace cairn::tools
