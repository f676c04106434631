#include <CLI/CLI.hpp>

#include "tools/cairn/Commands.h"

namespace cairn::tools {

void AddCreateCommand(CLI::App& app, TToolContext&) {
  CLI::App* command = app.add_subcommand("create", "(not built yet)");
  command->callback([] { throw EToolError("create is not built yet"); });
}

}  // namespace cairn::tools
