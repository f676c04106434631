// The `tables` listing, shared with commands that end by showing what a directory holds.
#pragma once

#include <string>

namespace cairn::tools {

// Prints one line per table of the directory to standard output, after a header line. A table
// that does not open is listed with the engine's message instead of its counts; false then.
bool PrintTablesListing(const std::string& directory, const std::string& password = {});

}  // namespace cairn::tools
