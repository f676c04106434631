// Events: the calendar's events (appointments).
//
// Events and EventsArchi share their first 33 fields; the archive keeps OutlookSyncID as a memo and
// adds synchronisation and action fields.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const std::vector<TFieldSpec>& SharedEventFields() {
  static const std::vector<TFieldSpec> fields = Joined({{
      // name                 type         size required default
      {"EventID",             ftGuid,      38,  false, "CURRENT_GUID"},
      {"ParentID",            ftGuid,      38,  false, ""},
      {"Type",                ftInteger,   0,   false, ""},
      {"ActualFinish",        ftInteger,   0,   false, ""},
      {"ActualStart",         ftInteger,   0,   false, ""},
      {"Caption",             ftString,    255, false, ""},
      {"Start",               ftDateTime,  0,   false, ""},
      {"Finish",              ftDateTime,  0,   false, ""},
      {"Options",             ftInteger,   0,   false, ""},
      {"RecurrenceIndex",     ftInteger,   0,   false, ""},
      {"RecurrenceInfo",      ftBlob,      0,   false, ""},
      {"ResourceID",          ftMemo,      0,   false, ""},
      {"Location",            ftString,    255, false, ""},
      {"Message",             ftMemo,      0,   false, ""},
      {"ReminderDate",        ftDateTime,  0,   false, ""},
      {"ReminderMinutes",     ftInteger,   0,   false, ""},
      {"State",               ftInteger,   0,   false, ""},
      {"LabelColor",          ftInteger,   0,   false, ""},
      {"CategoryID",          ftGuid,      38,  false, ""},
      {"TypeID",              ftGuid,      38,  false, ""},
      {"ImageIndex",          ftInteger,   0,   false, ""},
      {"Contacts",            ftMemo,      0,   false, ""},
      {"Attachments",         ftMemo,      0,   false, ""},
  }, CreatorRecordKeepingFields()});
  return fields;
}

const TTableSchema& EventsSchema() {
  static const TTableSchema schema = [] {
    TTableSchema s{"Events", SharedEventFields(), {
        {"", "EventID", {ixPrimary, ixUnique}},
    }};
    s.Fields.push_back({"OutlookSyncID",  ftString,    255, false, ""});
    return s;
  }();
  return schema;
}

// clang-format on

}  // namespace kalvora
