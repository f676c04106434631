#include "tools/cairn/CsvLoader.h"

#include <algorithm>
#include <exception>

#include "cairn/access/CairnTable.h"
#include "tools/cairn/ExitCodes.h"
#include "tools/cairn/SchemaJson.h"

namespace cairn::tools {

TCsvLoader::TCsvLoader(TCairnTable& table, std::string_view text, std::string fileName)
    : FTable(table), FText(text), FFileName(std::move(fileName)) {}

TCsvLoader::TCsvLoader(TCairnTable& table, std::istream& in, std::string fileName)
    : FTable(table), FIn(&in), FStart(in.tellg()), FFileName(std::move(fileName)) {}

TCsvReader TCsvLoader::Reader() {
  if (FIn == nullptr) return TCsvReader(FText);
  FIn->clear();
  FIn->seekg(FStart);
  if (!*FIn) throw EToolError(FFileName + ": cannot be read again from its start");
  return TCsvReader(*FIn);
}

std::string TCsvLoader::Where(int64_t line) const {
  return FFileName + " line " + std::to_string(line);
}

std::string TCsvLoader::RowsThatStay(int64_t line) const {
  return std::to_string(FWritten) + (FWritten == 1 ? " row was" : " rows were") +
         " loaded before line " + std::to_string(line) + "; they stay in the table";
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
      ParseValueInto(column.Target, record.Fields[i], cut,
                     FValues[static_cast<size_t>(column.Position)]);
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
  try {
    TCsvReader reader = Reader();
    TCsvRecord record;
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

bool TCsvLoader::NextRow(TCsvReader& reader, TCsvRecord& record) {
  // Check read the whole file: a fault found now is one of a file changed since (or one that can
  // no longer be read), after rows may have been written.
  try {
    if (!reader.Next(record)) return false;
    Convert(record, nullptr);
    return true;
  } catch (const ECsvError& error) {
    throw EToolError(FFileName + " " + error.what() + "\n" + RowsThatStay(record.Line));
  } catch (const EToolError& error) {
    throw EToolError(std::string(error.what()) + "\n" + RowsThatStay(record.Line));
  }
}

void TCsvLoader::Write(const std::function<void(int64_t)>& progress) {
  FWritten = 0;
  TCsvRecord record;
  TCsvReader reader = Reader();
  try {
    ReadHeader(reader, record);
  } catch (const ECsvError& error) {
    throw EToolError(FFileName + " " + error.what());
  }
  while (NextRow(reader, record)) {
    try {
      FTable.AppendRecord(FValues);
    } catch (const std::exception& error) {
      // The message says how many rows stay, so the file can be resumed there.
      throw EToolError(Where(record.Line) + ": " + error.what() + "\n" + RowsThatStay(record.Line));
    }
    ++FWritten;
    progress(FWritten);
  }
}

}  // namespace cairn::tools
