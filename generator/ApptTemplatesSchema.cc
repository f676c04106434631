// ApptTemplates: appointment templates.
#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

const TTableSchema& ApptTemplatesSchema() {
  static const TTableSchema schema{
      "ApptTemplates",
      {
          // name, type, size, required, default value
          {"ApptTemplateID",      ftGuid,      38,  false, "CURRENT_GUID"},
          {"ApptTemplateName",    ftString,    255, false, ""},
          {"ApptTemplateDesc",    ftMemo,      0,   false, ""},
          {"Caption",             ftString,    255, false, ""},
          {"Start",               ftTime,      0,   false, ""},
          {"Finish",              ftTime,      0,   false, ""},
          {"Options",             ftInteger,   0,   false, ""},
          {"Location",            ftString,    255, false, ""},
          {"Message",             ftMemo,      0,   false, ""},
          {"TimeOption",          ftInteger,   0,   false, ""},
          {"Duration",            ftDateTime,  0,   false, ""},
          {"State",               ftInteger,   0,   false, ""},
          {"LabelColor",          ftInteger,   0,   false, ""},
          {"CategoryID",          ftGuid,      38,  false, ""},
          {"TypeID",              ftGuid,      38,  false, ""},
          {"ImageIndex",          ftInteger,   0,   false, ""},
          {"Contacts",            ftMemo,      0,   false, ""},
          {"Creator",             ftSmallint,  0,   false, ""},
          {"CreatorUserID",       ftGuid,      38,  false, ""},
          {"CreatedOn",           ftDateTime,  0,   false, ""},
          {"LastModifiedOn",      ftDateTime,  0,   false, ""},
          {"LastModifiedUser",    ftString,    255, false, ""},
          {"LastModifiedUserID",  ftGuid,      38,  false, ""},
          {"DeletedOn",           ftDateTime,  0,   false, ""},
          {"DeleteByUser",        ftSmallint,  0,   false, ""},
          {"DeleteByUserID",      ftGuid,      38,  false, ""},
          {"Delete",              ftBoolean,   0,   false, ""},
      },
      {
          // name (empty for the primary index), fields, options
          {"", "ApptTemplateID", {ixPrimary, ixUnique}},
          {"IDX_ApptTemplateName", "ApptTemplateName", {}},
      },
      // One template: a weekly meeting from 11:00 to 13:00, of the event category "Must Attend"
      // and the event type "Meeting".
      {TRowStyle::FieldByField, {{
          {"ApptTemplateID",    Text("{97C49D72-61C3-4DFD-8206-3E98D2798D57}")},
          {"ApptTemplateName",  Text("Weekly Meeting")},
          {"ApptTemplateDesc",  Text("Weekly Meeting Template.")},
          {"Caption",           Text("Marketing Department Weekly Meeting")},
          {"Start",             TimeOfDay(11)},
          {"Finish",            TimeOfDay(13)},
          {"Location",          Text("Meeting Room 3535")},
          {"TimeOption",        Int(2)},
          {"State",             Int(2)},
          {"CategoryID",        Text("{5B1662C6-0E90-4AA8-92BB-F2670EB7DC72}")},
          {"TypeID",            Text("{1FF41F07-0BF4-4640-888F-6F4B88916C7B}")},
          {"CreatedOn",         Now()},
          {"LastModifiedOn",    Now()},
          {"Delete",            Bool(false)},
      }}},
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
