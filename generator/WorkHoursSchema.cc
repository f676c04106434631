// WorkHours: working-hour periods.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& WorkHoursSchema() {
  static const TTableSchema schema{
      "WorkHours",
      {
          // name, type, size, required, default value
          {"WorkHourID",          ftGuid,      38,  true,  "CURRENT_GUID"},
          {"ResourceID",          ftGuid,      38,  false, ""},
          {"WorkHourStart",       ftDateTime,  0,   false, ""},
          {"WorkHourFinish",      ftDateTime,  0,   false, ""},
          {"DayOfWeek",           ftInteger,   0,   false, "-1"},
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
          {"", "WorkHourID", {ixPrimary, ixUnique}},
          {"IDX_ResourceID", "ResourceID", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
