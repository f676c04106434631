// The twelve tables of the Kalvora database: each table's fields, indexes and default rows as
// data, one table a unit (one file per table), in the order the fields are added, which is the
// order of the fields in the table. Every field not shown otherwise has no minimum, maximum or
// description, no case change and no compression; every index has no descending fields, no key
// compression and keeps key statistics.
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

// ---- Default rows -------------------------------------------------------------------------------

// One value of a default row. The values that depend on the moment of the run read the local
// clock when they are set, once per value: two fields that both take the current date and time
// read it twice.
struct TRowValue {
  enum class TKind : uint8_t {
    Null,
    Text,     // set as text; a memo's text goes through a blob stream
    Integer,  // set as a 32-bit integer
    Boolean,
    TimeOfDay,    // set as a date-time value without a date part: Fraction of a day
    TodayAt,      // today's date (time part dropped) plus Fraction of a day
    TodayNumber,  // set as an integer: days from 1899-12-30 to today
    Now,          // the current local date and time
  };
  TKind Kind = TKind::Null;
  const char* Text = "";
  int32_t Integer = 0;
  bool Boolean = false;
  double Fraction = 0;
};

constexpr TRowValue Null() {
  return {};
}
constexpr TRowValue Text(const char* text) {
  return {TRowValue::TKind::Text, text};
}
constexpr TRowValue Int(int32_t value) {
  return {TRowValue::TKind::Integer, "", value};
}
// A colour number (red + 256 x green + 65536 x blue; a top byte of FF names a system colour),
// stored in an integer field with its bit pattern: 4278190085 is kept as -16777211.
constexpr TRowValue Colour(uint32_t colour) {
  return {TRowValue::TKind::Integer, "", static_cast<int32_t>(colour)};
}
constexpr TRowValue Bool(bool value) {
  return {TRowValue::TKind::Boolean, "", 0, value};
}
constexpr TRowValue TimeOfDay(int hour) {
  return {TRowValue::TKind::TimeOfDay, "", 0, false, hour / 24.0};
}
constexpr TRowValue TodayAt(int hour) {
  return {TRowValue::TKind::TodayAt, "", 0, false, hour / 24.0};
}
constexpr TRowValue TodayNumber() {
  return {TRowValue::TKind::TodayNumber};
}
constexpr TRowValue Now() {
  return {TRowValue::TKind::Now};
}

struct TRowField {
  const char* Field;
  TRowValue Value;
};
using TRowSpec = std::vector<TRowField>;

enum class TRowStyle : uint8_t {
  // Insert a new record (fields with a default value get it), set the row's fields in the
  // listed order, Post. Fields the row does not name keep what the new record was given.
  FieldByField,
  // AppendRecord with one value for every field in field order. Fields the row does not name
  // are given null, which overrides a default value.
  WholeRecord,
};

struct TDefaultRows {
  TRowStyle Style = TRowStyle::FieldByField;
  std::vector<TRowSpec> Rows;  // in the order they are appended
};

struct TTableSchema {
  const char* TableName;
  std::vector<TFieldSpec> Fields;
  std::vector<TIndexSpec> Indexes;  // the primary index first
  TDefaultRows DefaultRows = {};    // none for a table that is created empty
};

// The product's web address, the place of the sample appointment.
inline constexpr const char* kProductWebAddress = "https://www.kalvora.example";

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
