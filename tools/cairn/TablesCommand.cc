// cairn tables DIR: one line per table with its record, field and index counts, the sizes of its
// three files and whether it is encrypted.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/error/EngineError.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/TablesListing.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

// Bytes of a file, or -1 when it is missing.
int64_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

std::string SizeText(int64_t size) {
  return size < 0 ? "-" : std::to_string(size);
}

}  // namespace

bool PrintTablesListing(const std::string& directory, const std::string& password) {
  bool allOpened = true;
  TToolDatabase database(directory, password);
  const TCairnEngine& engine = CairnEngine();
  std::printf("%-24s %10s %6s %7s %12s %12s %12s  %s\n", "table", "records", "fields", "indexes",
              "data", "index", "blob", "encrypted");
  for (const std::string& name : database.TableNames()) {
    const std::string data =
        SizeText(FileSize(database.TableFile(name, engine.TableDataExtension())));
    const std::string index =
        SizeText(FileSize(database.TableFile(name, engine.TableIndexExtension())));
    const std::string blob =
        SizeText(FileSize(database.TableFile(name, engine.TableBlobExtension())));
    auto table = database.Table(name);
    table->SetReadOnly(true);
    try {
      table->Open();
    } catch (const ECairnEngineError& error) {
      // One table that cannot be opened (no password, damage) does not hide the others.
      std::printf("%-24s %10s %6s %7s %12s %12s %12s  %s\n", name.c_str(), "-", "-", "-",
                  data.c_str(), index.c_str(), blob.c_str(), error.what());
      allOpened = false;
      continue;
    }
    std::printf("%-24s %10d %6d %7d %12s %12s %12s  %s\n", name.c_str(), table->RecordCount(),
                table->FieldDefs().Count(), table->IndexDefs().Count(), data.c_str(), index.c_str(),
                blob.c_str(), TableHeader(*table).Encrypted ? "yes" : "no");
    table->Close();
  }
  return allOpened;
}

void AddTablesCommand(CLI::App& app, TToolContext& context) {
  struct TOptions {
    std::string Directory;
    std::string Password;
  };
  auto options = std::make_shared<TOptions>();
  CLI::App* command = app.add_subcommand(
      "tables", "List the tables of a database directory: records, fields, indexes, file sizes");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("--password", options->Password, "password of encrypted tables");
  command->callback([options, &context] {
    if (!PrintTablesListing(options->Directory, options->Password)) context.ExitCode = kExitFailure;
  });
}

}  // namespace cairn::tools
