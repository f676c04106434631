// A table with a field of every type the tool reads and writes as text, made through `create`.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/DiskFiles.h"
#include "tests/tools/ToolRun.h"

namespace cairn::test {

inline const char* const kEveryTypeSchema = R"({"fields": [
  {"name": "Id", "type": "AutoInc"},
  {"name": "Name", "type": "String", "size": 40},
  {"name": "Fixed", "type": "FixedChar", "size": 10},
  {"name": "Small", "type": "Smallint"},
  {"name": "Int", "type": "Integer"},
  {"name": "W", "type": "Word"},
  {"name": "Big", "type": "Largeint"},
  {"name": "Flag", "type": "Boolean"},
  {"name": "F", "type": "Float"},
  {"name": "Money", "type": "Currency"},
  {"name": "Dec", "type": "BCD", "size": 4},
  {"name": "D", "type": "Date"},
  {"name": "T", "type": "Time"},
  {"name": "DT", "type": "DateTime"},
  {"name": "Notes", "type": "Memo"},
  {"name": "Data", "type": "Blob"},
  {"name": "Pic", "type": "Graphic"},
  {"name": "G", "type": "Guid"}],
 "indexes": [{"name": "", "fields": "Id", "options": ["primary", "unique"]},
             {"name": "ByName", "fields": "Name", "options": ["caseInsensitive"]}]})";

// Creates the table in directory (which must exist) from a schema file in scratch.
inline void CreateEveryTypeTable(const std::string& directory, const std::string& table,
                                 const std::string& scratch) {
  const std::string file = scratch + "/every-type.json";
  WriteDiskFile(file, kEveryTypeSchema);
  const TToolRun run = RunCairn({"create", directory, table, "--schema", file});
  ASSERT_EQ(run.Status, 0) << run.Err;
}

}  // namespace cairn::test
