// Verification of a database's tables, through the table verifier of the check room.
#include <algorithm>

#include "cairn/access/CairnDatabase.h"
#include "cairn/check/LockFileVerifier.h"
#include "cairn/check/TableVerifier.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

TCheckFindings TCairnDatabase::CheckTable(const std::string& tableName) {
  if (!Connected()) Open();
  TDataDirectory& directory = *FHandle;
  const std::string engineName = directory.EngineTableName(tableName);
  if (!directory.DataTableExists(engineName, false, false)) {
    TEngineErrorContext context;
    context.DatabaseName = directory.ProperDataDirectoryName();
    context.TableName = engineName;
    directory.Engine().RaiseError(CAIRN_OSENOENT, context);
  }
  return TTableVerifier(directory, engineName).Run();
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
  TCheckFindings lockFile = TLockFileVerifier(FHandle->Engine(), FHandle->Directory()).Run();
  findings.insert(findings.end(), lockFile.begin(), lockFile.end());
  return findings;
}

}  // namespace cairn
