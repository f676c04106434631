// cairn check DIR [TABLE] [--password P]: verifies every table of the directory (or one), reading
// their files without changing them, and the directory's lock file. Each finding is one line:
//
//   TABLE  FILE  offset N: what is wrong
//
// followed by a summary line. Exit code 1 when there is any finding.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cairn/check/CheckFinding.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/Progress.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

struct TCheckOptions {
  std::string Directory;
  std::string Table;
  std::string Password;
};

// The number of findings.
size_t RunCheck(const TCheckOptions& options) {
  TToolDatabase database(options.Directory, options.Password);
  const std::vector<std::string> tables =
      options.Table.empty() ? database.TableNames() : std::vector<std::string>{options.Table};
  if (!options.Table.empty()) database.ExistingTable(options.Table);
  TCheckFindings findings;
  {
    TProgress progress("check", static_cast<int64_t>(tables.size()));
    int64_t done = 0;
    for (const std::string& table : tables) {
      TCheckFindings found = database.Database().CheckTable(table);
      findings.insert(findings.end(), found.begin(), found.end());
      progress.Update(++done);
    }
    // The lock file belongs to the whole directory.
    if (options.Table.empty()) {
      const TCheckFindings lockFile = database.Database().CheckLockFile();
      findings.insert(findings.end(), lockFile.begin(), lockFile.end());
    }
  }
  for (const TCheckFinding& finding : findings) {
    std::printf("%s\n", finding.ToString().c_str());
  }
  std::printf("%zu table(s) checked, %zu finding(s)\n", tables.size(), findings.size());
  return findings.size();
}

}  // namespace

void AddCheckCommand(CLI::App& app, TToolContext& context) {
  auto options = std::make_shared<TCheckOptions>();
  CLI::App* command = app.add_subcommand(
      "check",
      "Verify every table (or one): headers, record hashes, index keys and pages, free chains, "
      "blob chains, the lock file; changes nothing. Exit code 1 on any finding");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "only this table");
  command->add_option("--password", options->Password, "password of encrypted tables");
  command->callback([options, &context] {
    if (RunCheck(*options) > 0) context.ExitCode = kExitFailure;
  });
}

}  // namespace cairn::tools
