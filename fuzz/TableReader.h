// Reads all of a table through the component layer, the way a program that trusts nothing in
// the files would: open, then every record in slot order and through every index, every field of
// each record, every memo and blob value through a blob stream.
//
// Damaged files must end in an engine or database error; anything else (a crash, a sanitizer
// report, another exception) is a fault the caller reports.
#pragma once

#include <string>

namespace cairn::fuzz {

struct TReadOutcome {
  // 0 when the whole table was read; otherwise the engine error code that stopped it, or -1
  // for a database error of the component layer.
  int ErrorCode = 0;
  int RecordsRead = 0;
};

struct TReadOptions {
  bool Exclusive = true;
  // Shared opens retry a lock file they cannot read; one attempt keeps a damaged lock file from
  // costing a sleep per attempt.
  int LockFileOpenAttempts = 11;
  // Also post one new record before reading (a shared open then registers and writes the table
  // list, the data, index and blob files).
  bool AppendRow = false;
};

// Opens table tableName of directory under a fresh component layer and reads it all; finalizes
// the component layer afterwards.
TReadOutcome ReadWholeTable(const std::string& directory, const std::string& tableName,
                            const TReadOptions& options = {});

}  // namespace cairn::fuzz
