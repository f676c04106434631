#include <CLI/CLI.hpp>

#include "tools/cairn/Commands.h"

namespace cairn::tools {

void AddDumpCommand(CLI::App& app, TToolContext&) {
  CLI::App* command = app.add_subcommand("dump", "(not built yet)");
  command->callback([] { throw EToolError("dump is not built yet"); });
}

}  // namespace cairn::tools
