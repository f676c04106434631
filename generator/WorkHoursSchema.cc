// WorkHours: working-hour periods.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& WorkHoursSchema() {
  static const TTableSchema schema{
      "WorkHours",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"WorkHourID",          ftGuid,      38,  true,  "CURRENT_GUID"},
          {"ResourceID",          ftGuid,      38,  false, ""},
          {"WorkHourStart",       ftDateTime,  0,   false, ""},
          {"WorkHourFinish",      ftDateTime,  0,   false, ""},
          {"DayOfWeek",           ftInteger,   0,   false, "-1"},
      }),
      {
          // name (empty for the primary index), fields, options
          {"", "WorkHourID", {ixPrimary, ixUnique}},
          {"IDX_ResourceID", "ResourceID", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
