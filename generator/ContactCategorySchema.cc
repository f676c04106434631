// ContactCategory: the categories contacts are filed under.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& ContactCategorySchema() {
  static const TTableSchema schema{
      "ContactCategory",
      {
          // name, type, size, required, default value
          {"ContactCategoryID",   ftGuid,      38,  false, "CURRENT_GUID"},
          {"CategoryDesc",        ftString,    250, false, ""},
          {"CategoryColor",       ftInteger,   0,   false, ""},
          {"CategoryBlank",       ftString,    50,  false, ""},
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
          {"", "RecordID", {ixPrimary, ixUnique}},
          {"IDX_CATEGORYDESC", "CategoryDesc", {}},
          {"IDX_CREATEDON", "CreatedOn", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
