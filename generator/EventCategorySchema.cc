// EventCategory: the categories of events, templates and tasks.
#include "generator/TableSchemas.h"

namespace kalvora {

namespace {

// Inserted field by field: the identifier, the name and the colour, the creation and last change
// times (the clock read for each), and false for Delete.
TRowSpec Category(const char* id, const char* name, uint32_t colour) {
  return {{"EventCategoryID", Text(id)},
          {"EventCategoryName", Text(name)},
          {"EventCategoryColor", Colour(colour)},
          {"CreatedOn", Now()},
          {"LastModifiedOn", Now()},
          {"Delete", Bool(false)}};
}

}  // namespace

// clang-format off

const TTableSchema& EventCategorySchema() {
  static const TTableSchema schema{
      "EventCategory",
      Joined({{
          // name, type, size, required, default value
          {"EventCategoryID",     ftGuid,      38,  false, "CURRENT_GUID"},
          {"EventCategoryName",   ftString,    255, false, ""},
          {"EventCategoryColor",  ftInteger,   0,   false, ""},
      }, CreatorRecordKeepingFields()}),
      {
          // name (empty for the primary index), fields, options
          {"", "RecordID", {ixPrimary, ixUnique}},
          {"IDX_EVENTCATEGORYNAME", "EventCategoryName", {}},
          {"IDX_CREATEDON", "CreatedOn", {}},
      },
      {TRowStyle::FieldByField, {
          // identifier                                         name                 colour
          Category("{07280630-744D-41A6-9183-069856A497A3}", "None",              4278190085),  // window
          Category("{56EE2E80-4F01-4F40-B391-D79428718696}", "Important",         2443458),     // 194, 72, 37
          Category("{E0680A84-8E72-43CE-9A14-2DDB590B21D7}", "Business",          16744576),    // 128, 128, 255
          Category("{B7C24494-D8A7-4555-9B7F-90024DBDD6C8}", "Personal",          9568145),     // 145, 255, 145
          Category("{2430C4E0-7962-4D65-B8E5-734DC8EE5C80}", "Vacation",          771226),      // 154, 196, 11
          Category("{5B1662C6-0E90-4AA8-92BB-F2670EB7DC72}", "Must Attend",       33023),       // 255, 128, 0
          Category("{DB988CF3-7CC6-4F3C-A61B-2E735BE062E3}", "Travel Required",   16776960),    // aqua
          Category("{D1F80700-4DED-48A8-833C-7D0E0F7E80FD}", "Needs Preparation", 8454143),     // 255, 255, 128
          Category("{D5B2A645-82AC-4037-A32C-E62AFC8ED673}", "Birthday",          12615935),    // 255, 128, 192
          Category("{EAC98642-816C-494F-82DF-995319A34C24}", "Anniversary",       46939),       // 91, 183, 0
          Category("{0903B478-6EDE-4E1B-8404-ADF73FDD927C}", "Phone Call",        47545),       // 185, 185, 0
      }},
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
