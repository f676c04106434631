// EventsArchi: the archive of events, with synchronisation and action fields.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& EventsArchiSchema() {
  static const TTableSchema schema = [] {
    TTableSchema s{"EventsArchi", SharedEventFields(), {
        {"", "EventID", {ixPrimary, ixUnique}},
        {"IDX_ActionDateTime", "ActionDateTime", {}},
        {"IDX_ActionGUID", "ActionGUID", {}},
    }};
    // After the 33 shared event fields:
    const TFieldSpec archiveFields[] = {
        {"OutlookSyncID",             ftMemo,      0,   false, ""},
        {"gCalSyncIDField",           ftMemo,      0,   false, ""},
        {"gCalSyncUpdatedField",      ftDateTime,  0,   false, ""},
        {"gCalSyncSynhronizedField",  ftBoolean,   0,   false, "False"},
        {"ActionType",                ftString,    255, false, ""},
        {"ActionDateTime",            ftDateTime,  0,   false, ""},
        {"ActionGUID",                ftString,    40,  false, ""},
    };
    s.Fields.insert(s.Fields.end(), std::begin(archiveFields), std::end(archiveFields));
    return s;
  }();
  return schema;
}

// clang-format on

}  // namespace kalvora
