// Verification of a database's tables, through the table verifier of the check room.
#include <algorithm>

#include "cairn/access/CairnDatabase.h"
#include "cairn/check/LockFileVerifier.h"
#include "cairn/check/TableRepair.h"
#include "cairn/check/TableVerifier.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

namespace {

[[noreturn]] void RaiseTableError(TDataDirectory& directory, uint16_t code,
                                  const std::string& tableName) {
  TEngineErrorContext context;
  context.DatabaseName = directory.ProperDataDirectoryName();
  context.TableName = tableName;
  directory.Engine().RaiseError(code, context);
}

}  // namespace

TCheckFindings TCairnDatabase::CheckTable(const std::string& tableName) {
  if (!Connected()) Open();
  TDataDirectory& directory = *FHandle;
  const std::string engineName = directory.EngineTableName(tableName);
  if (!directory.DataTableExists(engineName, false, false)) {
    RaiseTableError(directory, CAIRN_OSENOENT, engineName);
  }
  return TTableVerifier(directory, engineName).Run();
}

std::vector<std::string> TCairnDatabase::RepairTable(const std::string& tableName) {
  if (!Connected()) Open();
  TDataDirectory& directory = *FHandle;
  const std::string engineName = directory.EngineTableName(tableName);
  if (directory.DataTableExists(engineName, true, false)) {
    RaiseTableError(directory, CAIRN_TABLEOPEN, engineName);
  }
  if (!directory.DataTableExists(engineName, false, false)) {
    RaiseTableError(directory, CAIRN_OSENOENT, engineName);
  }
  return TTableRepair(directory, engineName).Run();
}

TCheckFindings TCairnDatabase::CheckTables() {
  if (!Connected()) Open();
  std::vector<std::string> names;
  FHandle->ListTableNames(names);
  std::sort(names.begin(), names.end());
  TCheckFindings findings;
  for (const std::string& name : names) {
    TCheckFindings table = CheckTable(name);
    findings.insert(findings.end(), table.begin(), table.end());
  }
  TCheckFindings lockFile = CheckLockFile();
  findings.insert(findings.end(), lockFile.begin(), lockFile.end());
  return findings;
}

TCheckFindings TCairnDatabase::CheckLockFile() {
  if (!Connected()) Open();
  return TLockFileVerifier(FHandle->Engine(), FHandle->Directory()).Run();
}

}  // namespace cairn
