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
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
