// Shared pieces of the table and table-creation tests: a small test table's definitions and a
// fixture with an engine, a session and a directory in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/table/TableCreateParams.h"
#include "tests/support/DirectoryTestSupport.h"
#include "tests/support/TempDir.h"

namespace cairn::test {

inline TFieldDefinition NewField(const std::string& name, uint8_t type, uint16_t length = 0,
                                 uint8_t subType = 0) {
  TFieldDefinition field;
  field.FieldName = name;
  field.DataType = type;
  field.SubType = subType;
  field.Length = length;
  return field;
}

// A secondary index over one field.
inline TIndexDefinition NewIndex(const std::string& name, uint16_t field, bool unique = false) {
  TIndexDefinition index;
  index.IndexName = name;
  index.KeyUnique = unique;
  index.KeyFields[0] = field;
  index.KeyFieldCount = 1;
  return index;
}

// The test table: Id (integer), Name (string of 20), and with a blob Notes (memo); the automatic
// primary index and a secondary index "ByName".
inline TTableCreateParams EventsParams(bool withBlob = false) {
  TTableCreateParams params;
  params.UserMajorVersion = 1;
  params.Fields = {NewField("Id", fld::kInteger), NewField("Name", fld::kString, 20)};
  if (withBlob) params.Fields.push_back(NewField("Notes", fld::kBlob, 0, fld::kSubMemo));
  for (size_t k = 0; k < params.Fields.size(); ++k) {
    params.Fields[k].FieldNum = static_cast<uint16_t>(k + 1);
  }
  params.SecondaryIndexes = {NewIndex("ByName", 2)};
  return params;
}

inline int64_t SizeOf(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

// An engine, a session and a directory on a temporary folder. Lock waits end quickly.
class TableFixture : public ::testing::Test {
 protected:
  TableFixture() {
    FEngine.Initialize();
    UseQuickRetries(FEngine, FSession);
    FSession.SetLockRetries(2);
    FSession.SetLockWait(1);
  }

  std::string File(const std::string& name) const { return FDir.File(name); }
  TDataDirectory& OpenDirectory(TDataSession& session) {
    return session.OpenDataDirectory("db", FDir.Path(), false, false, false);
  }

  TTempDir FDir;
  TDataEngine FEngine;
  TDataSession& FSession = FEngine.StartDataSession();
  TDataDirectory& FDirectory = OpenDirectory(FSession);
};

}  // namespace cairn::test
