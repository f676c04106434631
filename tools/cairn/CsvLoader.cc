#include "tools/cairn/CsvLoader.h"

#include <algorithm>
#include <exception>

#include "cairn/access/CairnTable.h"
#include "tools/cairn/ExitCodes.h"
#include "tools/cairn/SchemaJson.h"

namespace cairn::tools {

TCsvLoader::TCsvLoader(TCairnTable& table, std::string_view text, std::string fileName)
    : FTable(table), FText(text), FFileName(std::move(fileName)) {}

std::string TCsvLoader::Where(int64_t line) const {
  return FFileName + " line " + std::to_string(line);
}

void TCsvLoader::ReadHeader(TCsvReader& reader, TCsvRecord& record) {
  if (!reader.Next(record)) throw EToolError(FFileName + ": no header row");
  FColumns.clear();
  int last = -1;
  for (const std::string& name : record.Fields) {
    TCairnField* field = FTable.FindField(name);
    if (field == nullptr) {
      throw EToolError(Where(record.Line) + ": no field '" + name + "' in the table " +
                       FTable.TableName());
    }
    int position = 0;
    while (&FTable.Fields().Fields(position) != field) ++position;
    for (const TColumn& column : FColumns) {
      if (column.Position == position)
        throw EToolError(Where(record.Line) + ": the field '" + name + "' is named twice");
    }
    TFieldTarget target{ValueKindOf(field->DataType()), field->DataType(), 0};
    if (target.Kind == TValueKind::Unsupported) {
      throw EToolError(Where(record.Line) + ": the field '" + name + "' is of type " +
                       FieldTypeName(field->DataType()) + ", which load cannot fill");
    }
    if (target.Kind == TValueKind::Text) target.Size = field->Size();
    FColumns.push_back({position, field->FieldName(), target});
    last = std::max(last, position);
  }
  FValues.assign(static_cast<size_t>(last + 1), TUnassigned{});
}

void TCsvLoader::Convert(const TCsvRecord& record,
                         const std::function<void(const std::string&)>* warn) {
  if (record.Fields.size() != FColumns.size()) {
    throw EToolError(Where(record.Line) + ": " + std::to_string(record.Fields.size()) +
                     " values where the header names " + std::to_string(FColumns.size()));
  }
  for (size_t i = 0; i < FColumns.size(); ++i) {
    const TColumn& column = FColumns[i];
    bool cut = false;
    try {
      FValues[static_cast<size_t>(column.Position)] =
          ParseValue(column.Target, record.Fields[i], cut);
    } catch (const EValueError& error) {
      throw EToolError(Where(record.Line) + ", field '" + column.FieldName + "': " + error.what());
    }
    if (cut && warn != nullptr) {
      (*warn)(Where(record.Line) + ", field '" + column.FieldName + "': the text is cut to " +
              std::to_string(column.Target.Size) + " characters");
    }
  }
}

int64_t TCsvLoader::Check(const std::function<void(const std::string&)>& warn) {
  TCsvReader reader(FText);
  TCsvRecord record;
  try {
    ReadHeader(reader, record);
    int64_t rows = 0;
    while (reader.Next(record)) {
      Convert(record, &warn);
      ++rows;
    }
    return rows;
  } catch (const ECsvError& error) {
    throw EToolError(FFileName + " " + error.what());
  }
}

void TCsvLoader::Write(const std::function<void(int64_t)>& progress) {
  TCsvReader reader(FText);
  TCsvRecord record;
  ReadHeader(reader, record);
  FWritten = 0;
  while (reader.Next(record)) {
    Convert(record, nullptr);
    try {
      FTable.AppendRecord(FValues);
    } catch (const std::exception& error) {
      // The rows before stay: the message says how many, so the file can be resumed there.
      throw EToolError(Where(record.Line) + ": " + error.what() + "\n" + std::to_string(FWritten) +
                       (FWritten == 1 ? " row was" : " rows were") + " loaded before line " +
                       std::to_string(record.Line) + "; they stay in the table");
    }
    ++FWritten;
    progress(FWritten);
  }
}

}  // namespace cairn::tools
