// The twelve tables of the Kalvora database: each table's fields and indexes as data, one table a
// unit (one file per table), in the order the fields are added, which is the order of the fields in
// the table. Every field not shown otherwise has no minimum, maximum or description, no case
// change and no compression; every index has no descending fields, no key compression and keeps
// key statistics.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "cairn/access/FieldTypes.h"

namespace kalvora {

using cairn::TFieldType;
using cairn::TIndexOptions;
using enum cairn::TFieldType;
using enum cairn::TIndexOption;

struct TFieldSpec {
  const char* Name;
  TFieldType DataType;
  int32_t Size;  // 0 for the types without a size
  bool Required;
  const char* DefaultValue;  // empty: no default value
};

struct TIndexSpec {
  const char* Name;    // empty for the primary index
  const char* Fields;  // field names separated by ";"
  TIndexOptions Options;
};

struct TTableSchema {
  const char* TableName;
  std::vector<TFieldSpec> Fields;
  std::vector<TIndexSpec> Indexes;  // the primary index first
};

// Fields 1 to 33 of Events and EventsArchi.
const std::vector<TFieldSpec>& SharedEventFields();
// A table's own fields followed by the ten record-keeping fields (CreatedOn ... Delete) that
// close ContactCategory, Contacts, EventType, Photos, Resources, WorkHourOptions and WorkHours.
std::vector<TFieldSpec> WithRecordKeepingFields(std::vector<TFieldSpec> fields);
// The same ten fields with the creator first (Creator, CreatorUserID, CreatedOn, ... Delete), as
// Events, EventsArchi, Tasks and EventCategory keep them.
const std::vector<TFieldSpec>& CreatorRecordKeepingFields();
// The parts one after another.
std::vector<TFieldSpec> Joined(std::initializer_list<std::vector<TFieldSpec>> parts);

const TTableSchema& EventsArchiSchema();
const TTableSchema& EventsSchema();
const TTableSchema& ApptTemplatesSchema();
const TTableSchema& ContactCategorySchema();
const TTableSchema& ContactsSchema();
const TTableSchema& EventCategorySchema();
const TTableSchema& EventTypeSchema();
const TTableSchema& ResourcesSchema();
const TTableSchema& TasksSchema();
const TTableSchema& WorkHourOptionsSchema();
const TTableSchema& WorkHoursSchema();
const TTableSchema& PhotosSchema();

}  // namespace kalvora
