// cairn schema DIR TABLE [--json]: a table's fields and indexes as the component layer reads them
// back; --json prints the document `create` reads.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/SchemaJson.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

struct TSchemaOptions {
  std::string Directory;
  std::string Table;
  std::string Password;
  bool Json = false;
};

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

void PrintText(TCairnTable& table) {
  const TTableSettings settings = ReadTableSettings(table);
  std::printf("table %s: locale %d, version %u.%u, index page size %d, blob block size %d, %s\n",
              table.TableName().c_str(), settings.LocaleID, settings.UserMajorVersion,
              settings.UserMinorVersion, settings.IndexPageSize, settings.BlobBlockSize,
              settings.Encrypted ? "encrypted" : "not encrypted");
  if (!settings.Description.empty()) std::printf("description: %s\n", settings.Description.c_str());
  std::printf("\nfields\n%4s  %-24s %-10s %5s %-8s %-16s %-12s %-12s %-6s %s\n", "no", "name",
              "type", "size", "required", "default", "minimum", "maximum", "case", "compression");
  for (int i = 0; i < table.FieldDefs().Count(); ++i) {
    const TCairnFieldDef& def = table.FieldDefs().Items(i);
    std::printf("%4d  %-24s %-10s %5d %-8s %-16s %-12s %-12s %-6s %u\n", def.FieldNo(),
                def.Name().c_str(), FieldTypeName(def.DataType()).c_str(), def.Size(),
                def.Required() ? "yes" : "no", OrDash(def.DefaultValue()).c_str(),
                OrDash(def.MinValue()).c_str(), OrDash(def.MaxValue()).c_str(),
                CharCaseName(def.CharCase()).c_str(), def.Compression());
  }
  std::printf("\nindexes\n%-24s %-32s %-28s %8s  %s\n", "name", "fields", "options", "key size",
              "compression");
  for (int i = 0; i < table.IndexDefs().Count(); ++i) {
    const TCairnIndexDef& def = table.IndexDefs().Items(i);
    std::string fields = def.Fields();
    if (!def.DescFields().empty()) fields += " (descending: " + def.DescFields() + ")";
    std::printf("%-24s %-32s %-28s %8u  %s\n", def.DisplayName().c_str(), fields.c_str(),
                OrDash(IndexOptionsText(def.Options())).c_str(),
                table.Handle()->IndexDefinition(i).KeySize,
                IndexCompressionName(def.Compression()).c_str());
  }
}

void RunSchema(const TSchemaOptions& options) {
  TToolDatabase database(options.Directory, options.Password);
  auto table = database.ExistingTable(options.Table);
  table->SetReadOnly(true);
  table->Open();
  if (options.Json)
    std::printf("%s\n", SchemaToJson(*table).dump(2).c_str());
  else
    PrintText(*table);
  table->Close();
}

}  // namespace

void AddSchemaCommand(CLI::App& app, TToolContext&) {
  auto options = std::make_shared<TSchemaOptions>();
  CLI::App* command =
      app.add_subcommand("schema", "Show a table's fields and indexes (--json: for create)");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "the table")->required();
  command->add_flag("--json", options->Json, "print one JSON document that create accepts");
  command->add_option("--password", options->Password, "password of an encrypted table");
  command->callback([options] { RunSchema(*options); });
}

}  // namespace cairn::tools
