// EventCategory: the categories of events, templates and tasks.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& EventCategorySchema() {
  static const TTableSchema schema{
      "EventCategory",
      {
          // name, type, size, required, default value
          {"EventCategoryID",     ftGuid,      38,  false, "CURRENT_GUID"},
          {"EventCategoryName",   ftString,    255, false, ""},
          {"EventCategoryColor",  ftInteger,   0,   false, ""},
          {"Creator",             ftString,    255, false, ""},
          {"CreatorUserID",       ftGuid,      38,  false, ""},
          {"CreatedOn",           ftDateTime,  0,   false, ""},
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
          {"IDX_EVENTCATEGORYNAME", "EventCategoryName", {}},
          {"IDX_CREATEDON", "CreatedOn", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
