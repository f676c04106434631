// The generator as a library call: the whole run over one data directory, with its dialogs and
// its exit status, for the program's entry and for in-process callers alike.
#pragma once

#include <string>

#include "cairn/host/Dialogs.h"

namespace kalvora {

// Runs the whole generator against dataDirectory (the folder that holds the tables, as the
// Data folder beside the executable does). Dialogs go through `application`. Returns the
// process exit status: 0 after a complete run, 1 after the standard error report.
int RunGenerator(const std::string& dataDirectory, cairn::host::TApplication& application);

}  // namespace kalvora
