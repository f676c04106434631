// The commands of the `cairn` tool. Each Add...Command registers one subcommand with its options
// and its action on the application; main calls them all. A new command is one more file and one
// more line here and in main.cc.
#pragma once

#include "tools/cairn/ExitCodes.h"

namespace CLI {
class App;
}

namespace cairn::tools {

void AddTablesCommand(CLI::App& app, TToolContext& context);
void AddSchemaCommand(CLI::App& app, TToolContext& context);
void AddCreateCommand(CLI::App& app, TToolContext& context);
void AddLoadCommand(CLI::App& app, TToolContext& context);
void AddDumpCommand(CLI::App& app, TToolContext& context);
void AddGenerateCommand(CLI::App& app, TToolContext& context);
void AddCheckCommand(CLI::App& app, TToolContext& context);
void AddRepairCommand(CLI::App& app, TToolContext& context);

}  // namespace cairn::tools
