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
    // One sample appointment, today from 09:00 to 12:00, for the resource "Untitled Resource 1",
    // the event category "Business" and the event type "Appt".
    s.DefaultRows = {TRowStyle::FieldByField, {{
        {"EventID",         Text("{7272B7D5-ED2D-422E-8609-9E28E80906A5}")},
        {"Start",           TodayAt(9)},
        {"Finish",          TodayAt(12)},
        {"Type",            Int(0)},
        {"ActualFinish",    TodayNumber()},
        {"ActualStart",     TodayNumber()},
        {"Caption",         Text("This is a sample appointment generated on the first run of Kalvora")},
        {"Location",        Text(kProductWebAddress)},
        {"Options",         Int(2)},
        {"ResourceID",      Text("{F503BB94-945F-4AE3-8AFD-225C4F66F68D}")},
        {"CategoryID",      Text("{E0680A84-8E72-43CE-9A14-2DDB590B21D7}")},
        {"TypeID",          Text("{67B33F0C-9E1B-4351-996E-55F236B055CC}")},
        {"CreatedOn",       Now()},
        {"LastModifiedOn",  Now()},
        {"Delete",          Bool(false)},
        {"LabelColor",      Colour(16744576)},  // red 128, green 128, blue 255
    }}};
    return s;
  }();
  return schema;
}

// clang-format on

}  // namespace kalvora
