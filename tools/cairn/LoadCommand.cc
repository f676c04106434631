#include <CLI/CLI.hpp>

#include "tools/cairn/Commands.h"

namespace cairn::tools {

void AddLoadCommand(CLI::App& app, TToolContext&) {
  CLI::App* command = app.add_subcommand("load", "(not built yet)");
  command->callback([] { throw EToolError("load is not built yet"); });
}

}  // namespace cairn::tools
