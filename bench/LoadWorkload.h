// L1: loading a CSV of contacts from the shell, timed as whole processes: `cairn load` into an
// empty Contacts table against sqlite3 importing into a plain table and one INSERT ... SELECT
// into the 130-column table with its 13 indexes.
#pragma once

#include <cstdint>
#include <string>

namespace cairn::bench {

// Prints the L1 table, or why it did not run (no cairn tool given).
void RunLoadWorkload(const std::string& cairnTool, const std::string& directory, int64_t rows);

}  // namespace cairn::bench
