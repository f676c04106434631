#include <CLI/CLI.hpp>

#include "tools/cairn/Commands.h"

namespace cairn::tools {

void AddSchemaCommand(CLI::App& app, TToolContext&) {
  CLI::App* command = app.add_subcommand("schema", "(not built yet)");
  command->callback([] { throw EToolError("schema is not built yet"); });
}

}  // namespace cairn::tools
