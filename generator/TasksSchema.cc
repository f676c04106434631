// Tasks: to-do items.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& TasksSchema() {
  static const TTableSchema schema{
      "Tasks",
      Joined({{
          // name, type, size, required, default value
          {"TaskID",              ftGuid,      38,  false, "CURRENT_GUID"},
          {"Caption",             ftString,    255, false, ""},
          {"StartDate",           ftDateTime,  0,   false, ""},
          {"DueDate",             ftDateTime,  0,   false, ""},
          {"Complete",            ftBoolean,   0,   false, ""},
          {"Priority",            ftString,    10,  false, ""},
          {"Status",              ftInteger,   0,   false, ""},
          {"Progress",            ftFloat,     0,   false, ""},
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
      }, CreatorRecordKeepingFields(), {
          {"OutlookSyncID",       ftString,    255, false, ""},
      }}),
      {
          // name (empty for the primary index), fields, options
          {"", "TaskID", {ixPrimary, ixUnique}},
      },
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
