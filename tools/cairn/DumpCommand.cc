// cairn dump DIR TABLE [--index NAME] [--format csv|json] [--limit N] [--password P]: the records
// in slot order or in the order of an index, as CSV with a header row (the form load reads) or as
// JSON lines.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/CsvWriter.h"
#include "tools/cairn/Progress.h"
#include "tools/cairn/SchemaJson.h"
#include "tools/cairn/ToolDatabase.h"
#include "tools/cairn/ValueText.h"

namespace cairn::tools {
namespace {

struct TDumpOptions {
  std::string Directory;
  std::string Table;
  std::optional<std::string> Index;
  std::string Format = "csv";
  std::optional<int64_t> Limit;
  std::string Password;
};

struct TDumpColumn {
  TCairnField* Field;
  TValueKind Kind;
};

std::vector<TDumpColumn> DumpColumns(TCairnTable& table) {
  std::vector<TDumpColumn> columns;
  for (int i = 0; i < table.Fields().Count(); ++i) {
    TCairnField& field = table.Fields().Fields(i);
    const TValueKind kind = ValueKindOf(field.DataType());
    if (kind == TValueKind::Unsupported) {
      std::fprintf(stderr, "cairn: note: the field '%s' (%s) is left out\n",
                   field.FieldName().c_str(), FieldTypeName(field.DataType()).c_str());
      continue;
    }
    columns.push_back({&field, kind});
  }
  return columns;
}

// One record as a JSON object: numbers and Booleans as such, null as null, the rest as text.
TJson JsonRecord(const std::vector<TDumpColumn>& columns) {
  TJson record = TJson::object();
  for (const TDumpColumn& column : columns) {
    const TCairnField& field = *column.Field;
    TJson& value = record[field.FieldName()];
    if (field.IsNull()) continue;  // stays null
    switch (column.Kind) {
      case TValueKind::Integer:
        value = field.AsLargeInt();
        break;
      case TValueKind::Decimal:
        value = field.AsFloat();
        break;
      case TValueKind::Boolean:
        value = field.AsBoolean();
        break;
      default:
        value = FormatValue(column.Kind, field);
    }
  }
  return record;
}

void RunDump(const TDumpOptions& options) {
  TToolDatabase database(options.Directory, options.Password);
  auto table = database.ExistingTable(options.Table);
  table->SetReadOnly(true);
  table->Open();
  if (options.Index)
    table->SetIndexName(*options.Index);
  else
    table->Handle()->SetSlotOrder(true);

  const std::vector<TDumpColumn> columns = DumpColumns(*table);
  const bool csv = options.Format == "csv";
  TCsvWriter writer(stdout);
  std::vector<std::string> cells;
  if (csv) {
    for (const TDumpColumn& column : columns) cells.push_back(column.Field->FieldName());
    writer.Write(cells);
  }
  const int64_t limit = options.Limit.value_or(INT64_MAX);
  TProgress progress("dumping " + options.Table, std::min<int64_t>(limit, table->RecordCount()));
  int64_t done = 0;
  for (table->First(); !table->Eof() && done < limit; table->Next()) {
    if (csv) {
      for (size_t i = 0; i < columns.size(); ++i)
        cells[i] = FormatValue(columns[i].Kind, *columns[i].Field);
      writer.Write(cells);
    } else {
      const std::string line = JsonRecord(columns).dump() + "\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    progress.Update(++done);
  }
  table->Close();
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw EToolError("writing the output failed");
}

}  // namespace

void AddDumpCommand(CLI::App& app, TToolContext&) {
  auto options = std::make_shared<TDumpOptions>();
  CLI::App* command = app.add_subcommand(
      "dump", "Print a table's records as CSV (the form load reads) or JSON lines");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "the table")->required();
  command->add_option("--index", options->Index,
                      "in the order of this index (default: slot order)");
  command->add_option("--format", options->Format, "csv (default) or json (one object a line)")
      ->check(CLI::IsMember({"csv", "json"}));
  command->add_option("--limit", options->Limit, "at most this many records")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--password", options->Password, "password of an encrypted table");
  command->callback([options] { RunDump(*options); });
}

}  // namespace cairn::tools
