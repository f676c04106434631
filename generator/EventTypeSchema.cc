// EventType: the types of events.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& EventTypeSchema() {
  static const TTableSchema schema{
      "EventType",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"EventTypeID",         ftGuid,      38,  false, "CURRENT_GUID"},
          {"EventTypeName",       ftString,    32,  false, ""},
          {"IconIndex",           ftGuid,      38,  false, ""},
          {"Location",            ftString,    150, false, ""},
          {"Subject",             ftString,    250, false, ""},
      }),
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
