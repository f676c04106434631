// WorkHourOptions: a resource's working-hour settings.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& WorkHourOptionsSchema() {
  static const TTableSchema schema{
      "WorkHourOptions",
      WithRecordKeepingFields({
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
      }),
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
