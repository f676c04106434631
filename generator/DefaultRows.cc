#include "generator/DefaultRows.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/access/CairnField.h"
#include "cairn/access/CairnValue.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/host/DateTime.h"

namespace kalvora {

namespace {

using TKind = TRowValue::TKind;

// Today's date as a date-time value, its time part dropped.
double Today() {
  return cairn::host::Date();
}

void SetField(cairn::TCairnField& field, const TRowValue& value) {
  switch (value.Kind) {
    case TKind::Null:
      field.Clear();
      return;
    case TKind::Text:
      field.SetAsString(value.Text);
      return;
    case TKind::Integer:
      field.SetAsInteger(value.Integer);
      return;
    case TKind::Boolean:
      field.SetAsBoolean(value.Boolean);
      return;
    case TKind::TimeOfDay:
      field.SetAsDateTime(value.Fraction);
      return;
    case TKind::TodayAt:
      field.SetAsDateTime(Today() + value.Fraction);
      return;
    case TKind::TodayNumber:
      field.SetAsInteger(static_cast<int32_t>(Today()));
      return;
    case TKind::Now:
      field.SetAsDateTime(cairn::host::Now());
      return;
  }
}

cairn::TCairnValue RecordValue(const TRowValue& value) {
  switch (value.Kind) {
    case TKind::Null:
      return cairn::TNullValue{};
    case TKind::Text:
      return std::string(value.Text);
    case TKind::Integer:
      return value.Integer;
    case TKind::Boolean:
      return value.Boolean;
    case TKind::TimeOfDay:
      return cairn::TDateTimeValue{value.Fraction};
    case TKind::TodayAt:
      return cairn::TDateTimeValue{Today() + value.Fraction};
    case TKind::TodayNumber:
      return static_cast<int32_t>(Today());
    case TKind::Now:
      return cairn::TDateTimeValue{cairn::host::Now()};
  }
  return cairn::TNullValue{};
}

void InsertFieldByField(cairn::TCairnTable& table, const TRowSpec& row) {
  table.Insert();
  for (const TRowField& field : row) SetField(table.FieldByName(field.Field), field.Value);
  table.Post();
}

// One value per field of the schema, in field order; null for a field the row does not name.
void AppendWholeRecord(cairn::TCairnTable& table, const TTableSchema& schema, const TRowSpec& row) {
  std::vector<cairn::TCairnValue> values(schema.Fields.size(), cairn::TNullValue{});
  for (const TRowField& field : row) {
    size_t position = 0;
    while (position < schema.Fields.size() &&
           std::string(schema.Fields[position].Name) != field.Field)
      ++position;
    if (position == schema.Fields.size())
      throw std::logic_error(std::string("A default row of ") + schema.TableName +
                             " names the unknown field " + field.Field);
    values[position] = RecordValue(field.Value);
  }
  table.AppendRecord(values);
}

}  // namespace

void AppendDefaultRows(cairn::TCairnTable& table, const TTableSchema& schema) {
  table.Open();
  {
    // On a failure the table is closed on the way out; that close's own failure is not the one
    // to report.
    cairn::TScopeGuard close([&] { table.Close(); });
    for (const TRowSpec& row : schema.DefaultRows.Rows) {
      if (schema.DefaultRows.Style == TRowStyle::WholeRecord)
        AppendWholeRecord(table, schema, row);
      else
        InsertFieldByField(table, row);
    }
    close.Dismiss();
  }
  // The closing flush writes the rows out; its failure is reported.
  table.Close();
}

}  // namespace kalvora
