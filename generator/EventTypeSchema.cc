// EventType: the types of events.
#include "generator/TableSchemas.h"

namespace kalvora {

namespace {

// A whole record: the identifier, the name and the icon's identifier; false for Delete; null for
// the rest, the record-keeping times included.
TRowSpec Type(const char* id, const char* name, const char* iconId) {
  return {{"EventTypeID", Text(id)},
          {"EventTypeName", Text(name)},
          {"IconIndex", Text(iconId)},
          {"Delete", Bool(false)}};
}

}  // namespace

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
      {TRowStyle::WholeRecord, {
          // identifier                                     name       icon
          Type("{1538F157-17B6-46D6-BC08-71726196B994}", "Travel",  "{311287D0-B377-4121-A8B6-CD5E56950581}"),
          Type("{1FF41F07-0BF4-4640-888F-6F4B88916C7B}", "Meeting", "{91106AD3-817E-4550-A5A4-A09356C47633}"),
          Type("{3F45EF02-1462-4E80-90CA-D3BE70583EC8}", "Todo",    "{33F7DEF0-AF14-4ECB-A17E-5D8BB1013589}"),
          Type("{67B33F0C-9E1B-4351-996E-55F236B055CC}", "Appt",    "{4DD57286-0888-4DD8-8B62-8DC0E6ED9B39}"),
          Type("{DC7DA742-7A0C-408E-AC41-94E784F2B7DC}", "Call",    "{54603E5E-6867-48A1-8798-7028BBD3E989}"),
      }},
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
