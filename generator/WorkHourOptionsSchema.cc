// WorkHourOptions: a resource's working-hour settings.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& WorkHourOptionsSchema() {
  static const TTableSchema schema{
      "WorkHourOptions",
      {
          // name, type, size, required, default value
          {"WorkHourOptionID",             ftGuid,      38,  true,  "CURRENT_GUID"},
          {"ResourceID",                   ftGuid,      38,  false, ""},
          {"DifferentWorkingHoursPerDay",  ftBoolean,   0,   false, "False"},
          {"WorkMon",                      ftBoolean,   0,   false, ""},
          {"WorkTue",                      ftBoolean,   0,   false, ""},
          {"WorkWed",                      ftBoolean,   0,   false, ""},
          {"WorkThu",                      ftBoolean,   0,   false, ""},
          {"WorkFri",                      ftBoolean,   0,   false, ""},
          {"WorkSat",                      ftBoolean,   0,   false, ""},
          {"WorkSun",                      ftBoolean,   0,   false, ""},
          {"CreatedOn",                    ftDateTime,  0,   false, ""},
          {"Creator",                      ftString,    255, false, ""},
          {"CreatorUserID",                ftGuid,      38,  false, ""},
          {"LastModifiedOn",               ftDateTime,  0,   false, ""},
          {"LastModifiedUser",             ftString,    255, false, ""},
          {"LastModifiedUserID",           ftGuid,      38,  false, ""},
          {"DeletedOn",                    ftDateTime,  0,   false, ""},
          {"DeleteByUser",                 ftString,    255, false, ""},
          {"DeleteByUserID",               ftGuid,      38,  false, ""},
          {"Delete",                       ftBoolean,   0,   false, "False"},
      },
      {
          // name (empty for the primary index), fields, options
          {"", "WorkHourOptionID", {ixPrimary, ixUnique}},
          {"IDX_ResourceID", "ResourceID", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
