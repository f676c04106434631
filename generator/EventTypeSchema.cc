// EventType: the types of events.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& EventTypeSchema() {
  static const TTableSchema schema{
      "EventType",
      {
          // name, type, size, required, default value
          {"EventTypeID",         ftGuid,      38,  false, "CURRENT_GUID"},
          {"EventTypeName",       ftString,    32,  false, ""},
          {"IconIndex",           ftGuid,      38,  false, ""},
          {"Location",            ftString,    150, false, ""},
          {"Subject",             ftString,    250, false, ""},
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
          {"", "EventTypeID", {ixPrimary, ixUnique}},
          {"IDX_EVENTTYPENAME", "EventTypeName", {}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
