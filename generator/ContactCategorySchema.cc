// ContactCategory: the categories contacts are filed under.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& ContactCategorySchema() {
  static const TTableSchema schema{
      "ContactCategory",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"ContactCategoryID",   ftGuid,      38,  false, "CURRENT_GUID"},
          {"CategoryDesc",        ftString,    250, false, ""},
          {"CategoryColor",       ftInteger,   0,   false, ""},
          {"CategoryBlank",       ftString,    50,  false, ""},
      }),
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
