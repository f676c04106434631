// Resources: the resources events and working hours are assigned to.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& ResourcesSchema() {
  static const TTableSchema schema{
      "Resources",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"ResourceID",                ftGuid,      38,  true,  "CURRENT_GUID"},
          {"ResourceName",              ftString,    255, false, ""},
          {"ResourceColor",             ftInteger,   0,   false, ""},
          {"ResourceImageGUID",         ftGuid,      38,  false, ""},
          {"SortID",                    ftInteger,   0,   true,  ""},
          {"ResourceEmail",             ftMemo,      0,   false, ""},
          {"EmailReminder",             ftBoolean,   0,   false, "False"},
          {"AllowConflict",             ftBoolean,   0,   false, "False"},
          {"HeaderColor",               ftInteger,   0,   false, ""},
          {"HeaderGradient",            ftBoolean,   0,   false, ""},
          {"HeaderGradientStartColor",  ftInteger,   0,   false, ""},
          {"HeaderGradientEndColor",    ftInteger,   0,   false, ""},
      }),
      {
          // name (empty for the primary index), fields, options
          {"", "ResourceID", {ixPrimary, ixUnique}},
          {"IDX_SortID", "SortID", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
