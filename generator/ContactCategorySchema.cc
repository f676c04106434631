// ContactCategory: the categories contacts are filed under.
#include "generator/TableSchemas.h"

namespace kalvora {

namespace {

// A whole record: the identifier, the description and the colour; false for Delete; null for
// the rest, the record-keeping times included.
TRowSpec Category(const char* id, const char* description, uint32_t colour) {
  return {{"ContactCategoryID", Text(id)},
          {"CategoryDesc", Text(description)},
          {"CategoryColor", Colour(colour)},
          {"Delete", Bool(false)}};
}

}  // namespace

// clang-format off

const TTableSchema& ContactCategorySchema() {
  static const TTableSchema schema{
      "ContactCategory",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"ContactCategoryID",   ftGuid,      38,  false, "CURRENT_GUID"},
          {"CategoryDesc",        ftString,    250, false, ""},
          {"CategoryColor",       ftInteger,   0,   false, ""},
          {"CategoryBlank",       ftString,    50,  false, ""},
      }),
      {
          // name (empty for the primary index), fields, options
          {"", "RecordID", {ixPrimary, ixUnique}},
          {"IDX_CATEGORYDESC", "CategoryDesc", {}},
          {"IDX_CREATEDON", "CreatedOn", {}},
      },
      {TRowStyle::WholeRecord, {
          // identifier                                         description          colour
          Category("{3C5ACE59-E5D1-48F4-A55F-6BD1F0FA613B}", "None",              0),         // black
          Category("{45934F92-E21E-44EB-9A23-CFA9C339622E}", "Important",         2443458),   // 194, 72, 37
          Category("{BB46AE4A-1B49-473B-99D2-038B643C328D}", "Business",          12045269),  // 213, 203, 183
          Category("{9604E303-880D-434D-B505-4434B520877C}", "Personal",          9568145),   // 145, 255, 145
          Category("{A0EA9334-35A8-4A16-9EF5-FAA64AD6C345}", "Golfing Buddies",   771226),    // 154, 196, 11
          Category("{2E54CFE4-A9F7-42A5-8FC6-F8B51DE4582E}", "Pool Buddies",      33023),     // 255, 128, 0
          Category("{CE57C589-6480-42D0-8A82-87EE70A7287E}", "Drinking Budies",   16776960),  // aqua
          Category("{49AE7F6C-CC45-471E-BFD0-2D084ED7FE09}", "Top Secret",        8454143),   // 255, 255, 128
          Category("{4A7060DC-6FE5-4335-8EEC-FDF788E57A1A}", "Party Animals",     12615935),  // 255, 128, 192
          Category("{33DBCB6D-7D21-41C5-A6B0-AC40F065ECFD}", "Dart Team Members", 46939),     // 91, 183, 0
          Category("{33EEF6D3-0942-477F-A4CA-8873E951996B}", "Family",            47545),     // 185, 185, 0
      }},
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
