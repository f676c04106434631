// cairn repair DIR TABLE [--password P]: holds the table exclusively, rebuilds its index file and
// header counters from the live records (keeping the index definitions) and mends what keeps a
// record from being read; no readable record is dropped. Prints what was mended, one line each,
// then checks the table again: exit code 1 when findings remain.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cairn/check/CheckFinding.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

struct TRepairOptions {
  std::string Directory;
  std::string Table;
  std::string Password;
};

// Whether the table checks sound afterwards.
bool RunRepair(const TRepairOptions& options) {
  TToolDatabase database(options.Directory, options.Password);
  database.ExistingTable(options.Table);
  for (const std::string& action : database.Database().RepairTable(options.Table)) {
    std::printf("%s: %s\n", options.Table.c_str(), action.c_str());
  }
  const TCheckFindings findings = database.Database().CheckTable(options.Table);
  for (const TCheckFinding& finding : findings) {
    std::printf("still: %s\n", finding.ToString().c_str());
  }
  std::printf("%s: %s\n", options.Table.c_str(),
              findings.empty() ? "sound" : "findings remain after repair");
  return findings.empty();
}

}  // namespace

void AddRepairCommand(CLI::App& app, TToolContext& context) {
  auto options = std::make_shared<TRepairOptions>();
  CLI::App* command = app.add_subcommand(
      "repair",
      "Rebuild a table's index file and header counters from its live records, keeping the index "
      "definitions and every readable record; needs the table exclusively");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "the table to repair")->required();
  command->add_option("--password", options->Password, "password of encrypted tables");
  command->callback([options, &context] {
    if (!RunRepair(*options)) context.ExitCode = kExitFailure;
  });
}

}  // namespace cairn::tools
