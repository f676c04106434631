// The record-keeping fields: when a record was created, last changed and deleted, by whom, and
// its deletion mark. Seven tables end with them with the creation time first; four keep them with
// the creator first.
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

const std::vector<TFieldSpec>& CreatorRecordKeepingFields() {
  static const std::vector<TFieldSpec> fields{
      // name                 type         size required default
      {"Creator",             ftString,    255, false, ""},
      {"CreatorUserID",       ftGuid,      38,  false, ""},
      {"CreatedOn",           ftDateTime,  0,   false, ""},
      {"LastModifiedOn",      ftDateTime,  0,   false, ""},
      {"LastModifiedUser",    ftString,    255, false, ""},
      {"LastModifiedUserID",  ftGuid,      38,  false, ""},
      {"DeletedOn",           ftDateTime,  0,   false, ""},
      {"DeleteByUser",        ftString,    255, false, ""},
      {"DeleteByUserID",      ftGuid,      38,  false, ""},
      {"Delete",              ftBoolean,   0,   false, "False"},
  };
  return fields;
}

// clang-format on

std::vector<TFieldSpec> Joined(std::initializer_list<std::vector<TFieldSpec>> parts) {
  std::vector<TFieldSpec> fields;
  for (const std::vector<TFieldSpec>& part : parts) {
    fields.insert(fields.end(), part.begin(), part.end());
  }
  return fields;
}

}  // namespace kalvora
