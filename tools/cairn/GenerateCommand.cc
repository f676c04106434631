#include <CLI/CLI.hpp>

#include "tools/cairn/Commands.h"

namespace cairn::tools {

void AddGenerateCommand(CLI::App& app, TToolContext&) {
  CLI::App* command = app.add_subcommand("generate", "(not built yet)");
  command->callback([] { throw EToolError("generate is not built yet"); });
}

}  // namespace cairn::tools
