// EventCategory: the categories of events, templates and tasks.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& EventCategorySchema() {
  static const TTableSchema schema{
      "EventCategory",
      Joined({{
          // name, type, size, required, default value
          {"EventCategoryID",     ftGuid,      38,  false, "CURRENT_GUID"},
          {"EventCategoryName",   ftString,    255, false, ""},
          {"EventCategoryColor",  ftInteger,   0,   false, ""},
      }, CreatorRecordKeepingFields()}),
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
