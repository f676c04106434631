// cairn create DIR TABLE --schema FILE.json [--password P] [--locale LCID]: a new table from the
// document `schema --json` prints, through the table object's CreateTable (its checks, its
// errors).
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "cairn/access/CairnTable.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/SchemaJson.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

struct TCreateOptions {
  std::string Directory;
  std::string Table;
  std::string SchemaFile;
  std::string Password;
  std::optional<int32_t> Locale;
};

TJson ReadSchemaFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EToolError("cannot read '" + path + "'");
  try {
    return TJson::parse(in);
  } catch (const nlohmann::json::exception& error) {
    throw EToolError(path + ": not a JSON document: " + error.what());
  }
}

void RunCreate(const TCreateOptions& options) {
  const TJson schema = ReadSchemaFile(options.SchemaFile);
  TToolDatabase database(options.Directory);
  auto table = database.Table(options.Table);
  TTableSettings settings;
  try {
    settings = SchemaFromJson(schema, *table);
  } catch (const EToolError& error) {
    throw EToolError(options.SchemaFile + ": " + error.what());
  }
  if (settings.Encrypted && options.Password.empty())
    throw EToolError(options.SchemaFile + ": the schema is of an encrypted table: give --password");
  if (options.Locale) settings.LocaleID = *options.Locale;
  // A password encrypts the new table.
  const bool encrypted = !options.Password.empty();
  table->CreateTable(settings.LocaleID, settings.UserMajorVersion, settings.UserMinorVersion,
                     encrypted, options.Password, settings.Description, settings.IndexPageSize,
                     settings.BlobBlockSize, 0, "", nullptr, "", "");
  std::printf("created table %s: %d fields, %d indexes%s\n", options.Table.c_str(),
              table->FieldDefs().Count(), table->IndexDefs().Count(),
              encrypted ? ", encrypted" : "");
}

}  // namespace

void AddCreateCommand(CLI::App& app, TToolContext&) {
  auto options = std::make_shared<TCreateOptions>();
  CLI::App* command =
      app.add_subcommand("create", "Create a table from a JSON schema (as schema --json prints)");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "the new table")->required();
  command->add_option("--schema", options->SchemaFile, "the JSON schema file")->required();
  command->add_option("--password", options->Password, "encrypt the table with this password");
  command->add_option("--locale", options->Locale, "locale ID of the table (0: plain byte order)");
  command->callback([options] { RunCreate(*options); });
}

}  // namespace cairn::tools
