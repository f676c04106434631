// cairn: looks inside a database directory, creates tables and loads and dumps their rows.
//
//   cairn <command> [options]     (cairn --help lists the commands, cairn <command> --help each
//   one)
//
// Exit codes: 0 ok, 1 an engine error, refused input or findings (the message on standard error),
// 2 a wrong command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "cairn/access/CairnEngine.h"
#include "cairn/error/EngineError.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/ExitCodes.h"

namespace {

using namespace cairn::tools;

int Run(int argc, char** argv) {
  CLI::App app{"cairn: look inside a Cairn database directory, create tables, load and dump rows"};
  app.name("cairn");
  app.require_subcommand(1);
  TToolContext context;
  AddTablesCommand(app, context);
  AddSchemaCommand(app, context);
  AddCreateCommand(app, context);
  AddLoadCommand(app, context);
  AddDumpCommand(app, context);
  AddGenerateCommand(app, context);
  AddCheckCommand(app, context);
  AddRepairCommand(app, context);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version are "errors" with exit code 0; the rest are usage mistakes.
    const int printed = app.exit(error);
    return printed == 0 ? kExitOk : kExitUsage;
  } catch (const EUsageError& error) {
    std::fprintf(stderr, "cairn: %s\nRun with --help for more information.\n", error.what());
    return kExitUsage;
  } catch (const std::exception& error) {
    // Engine errors carry their code in the message ("Cairn Engine Error # <code> ...").
    std::fprintf(stderr, "cairn: %s\n", error.what());
    return kExitFailure;
  }
  return context.ExitCode;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Run(argc, argv);
  cairn::FinalizeComponentLayer();
  return status;
}
