// Resources: the resources events and working hours are assigned to.
#include "generator/TableSchemas.h"

namespace kalvora {

namespace {

constexpr uint32_t kWindowColour = 4278190085;  // the system colour of a window's background

// Inserted field by field, every colour the window colour.
TRowSpec Resource(const char* id, const char* name, const char* imageId, int32_t sortId) {
  return {{"ResourceID", Text(id)},
          {"ResourceName", Text(name)},
          {"ResourceColor", Colour(kWindowColour)},
          {"ResourceImageGUID", Text(imageId)},
          {"SortID", Int(sortId)},
          {"EmailReminder", Bool(false)},
          {"AllowConflict", Bool(false)},
          {"HeaderColor", Colour(kWindowColour)},
          {"HeaderGradient", Bool(false)},
          {"HeaderGradientStartColor", Colour(kWindowColour)},
          {"HeaderGradientEndColor", Colour(kWindowColour)},
          {"CreatedOn", Now()},
          {"LastModifiedOn", Now()},
          {"Delete", Bool(false)}};
}

}  // namespace

// clang-format off

const TTableSchema& ResourcesSchema() {
  static const TTableSchema schema{
      "Resources",
      WithRecordKeepingFields({
          // name, type, size, required, default value
          {"ResourceID",                ftGuid,      38,  true,  "CURRENT_GUID"},
          {"ResourceName",              ftString,    255, false, ""},
          {"ResourceColor",             ftInteger,   0,   false, ""},
          {"ResourceImageGUID",         ftGuid,      38,  false, ""},
          {"SortID",                    ftInteger,   0,   true,  ""},
          {"ResourceEmail",             ftMemo,      0,   false, ""},
          {"EmailReminder",             ftBoolean,   0,   false, "False"},
          {"AllowConflict",             ftBoolean,   0,   false, "False"},
          {"HeaderColor",               ftInteger,   0,   false, ""},
          {"HeaderGradient",            ftBoolean,   0,   false, ""},
          {"HeaderGradientStartColor",  ftInteger,   0,   false, ""},
          {"HeaderGradientEndColor",    ftInteger,   0,   false, ""},
      }),
      {
          // name (empty for the primary index), fields, options
          {"", "ResourceID", {ixPrimary, ixUnique}},
          {"IDX_SortID", "SortID", {}},
      },
      // Inserted second but sorted first: "Untitled Resource 1" has SortID 0.
      {TRowStyle::FieldByField, {
          // identifier                                         name                   image                                     sort
          Resource("{BA464DB9-C1AE-4921-8F6F-61EB89F63F06}", "Untitled Resource 2", "{6FB0F475-DDC6-4819-B5D9-72E164189468}", 1),
          Resource("{F503BB94-945F-4AE3-8AFD-225C4F66F68D}", "Untitled Resource 1", "{925A310F-7D68-48FF-B5D9-26AEBBB47622}", 0),
      }},
  };
  return schema;
}

// clang-format on

}  // namespace kalvora
