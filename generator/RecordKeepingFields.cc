// The record-keeping fields: when a record was created, last changed and deleted, by whom, and
// its deletion mark. Seven tables end with them in this order.
#include <iterator>

#include "generator/TableSchemas.h"

namespace kalvora {

// clang-format off

std::vector<TFieldSpec> WithRecordKeepingFields(std::vector<TFieldSpec> fields) {
  static const TFieldSpec recordKeeping[] = {
      // name                 type         size required default
      {"CreatedOn",           ftDateTime,  0,   false, ""},
      {"Creator",             ftString,    255, false, ""},
      {"CreatorUserID",       ftGuid,      38,  false, ""},
      {"LastModifiedOn",      ftDateTime,  0,   false, ""},
      {"LastModifiedUser",    ftString,    255, false, ""},
      {"LastModifiedUserID",  ftGuid,      38,  false, ""},
      {"DeletedOn",           ftDateTime,  0,   false, ""},
      {"DeleteByUser",        ftString,    255, false, ""},
      {"DeleteByUserID",      ftGuid,      38,  false, ""},
      {"Delete",              ftBoolean,   0,   false, "False"},
  };
  fields.insert(fields.end(), std::begin(recordKeeping), std::end(recordKeeping));
  return fields;
}

// clang-format on

}  // namespace kalvora
