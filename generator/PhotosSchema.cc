// Photos: pictures of resources.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& PhotosSchema() {
  static const TTableSchema schema{
      "Photos",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"PhotoGUID",           ftGuid,      38,  false, "CURRENT_GUID"},
          {"ResourceID",          ftGuid,      38,  false, ""},
          {"EnablePhoto",         ftBoolean,   0,   false, "False"},
          {"PhotoBlob",           ftBlob,      0,   false, ""},
      }),
      {
          // name (empty for the primary index), fields, options
          {"", "PhotoGUID", {ixPrimary, ixUnique}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
