// Photos: pictures of resources.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& PhotosSchema() {
  static const TTableSchema schema{
      "Photos",
      {
          // name, type, size, required, default value
          {"PhotoGUID",           ftGuid,      38,  false, "CURRENT_GUID"},
          {"ResourceID",          ftGuid,      38,  false, ""},
          {"EnablePhoto",         ftBoolean,   0,   false, "False"},
          {"PhotoBlob",           ftBlob,      0,   false, ""},
          {"CreatedOn",           ftDateTime,  0,   false, ""},
          {"Creator",             ftString,    255, false, ""},
          {"CreatorUserID",       ftGuid,      38,  false, ""},
          {"LastModifiedOn",      ftDateTime,  0,   false, ""},
          {"LastModifiedUser",    ftString,    255, false, ""},
          {"LastModifiedUserID",  ftGuid,      38,  false, ""},
          {"DeletedOn",           ftDateTime,  0,   false, ""},
          {"DeleteByUser",        ftString,    255, false, ""},
          {"DeleteByUserID",      ftGuid,      38,  false, ""},
          {"Delete",              ftBoolean,   0,   false, "False"},
      },
      {
          // name (empty for the primary index), fields, options
          {"", "PhotoGUID", {ixPrimary, ixUnique}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
