// cairn generate DIR: the generator's run against any directory (made when missing), then the
// tables listing of what is there.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cairn/host/Dialogs.h"
#include "cairn/host/System.h"
#include "generator/GeneratorRun.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/TablesListing.h"

namespace cairn::tools {
namespace {

int RunGenerate(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) throw EToolError("cannot make the directory '" + directory + "': " + error.message());
  int status;
  {
    // The generator reports its failures through the application's dialogs, on standard error.
    host::TApplication application(host::ExecutablePath());
    status = kalvora::RunGenerator(directory, application);
  }
  // What is there now, also after a failure: the tables made before it stay.
  const bool listed = PrintTablesListing(directory);
  return status == 0 && listed ? kExitOk : kExitFailure;
}

}  // namespace

void AddGenerateCommand(CLI::App& app, TToolContext& context) {
  auto directory = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "generate",
      "Run the generator against a directory (made when missing), then list its tables");
  command->add_option("DIR", *directory, "the database directory")->required();
  command->callback([directory, &context] { context.ExitCode = RunGenerate(*directory); });
}

}  // namespace cairn::tools
