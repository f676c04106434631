#include "tools/cairn/ToolDatabase.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/host/CodePage.h"
#include "tools/cairn/ExitCodes.h"

namespace cairn::tools {
namespace {

namespace fs = std::filesystem;

// The name tables reach the directory by; any name not used elsewhere in the process does.
constexpr const char* kDatabaseName = "CairnTool";

bool EndsWithNoCase(const std::string& name, const std::string& suffix) {
  return name.size() > suffix.size() &&
         host::AnsiSameText(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

}  // namespace

TToolDatabase::TToolDatabase(const std::string& directory, const std::string& password) {
  std::error_code error;
  if (!fs::is_directory(directory, error))
    throw EToolError("'" + directory + "' is not a directory");
  if (!password.empty()) {
    DefaultSession().Open();
    DefaultSession().AddPassword(password);
  }
  FDatabase.SetDatabaseName(kDatabaseName);
  FDatabase.SetDirectory(directory);
}

TToolDatabase::~TToolDatabase() = default;

std::vector<std::string> TToolDatabase::TableNames() const {
  const std::string& extension = CairnEngine().TableDataExtension();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Directory())) {
    const std::string file = entry.path().filename().string();
    if (entry.is_regular_file() && EndsWithNoCase(file, extension))
      names.push_back(file.substr(0, file.size() - extension.size()));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return host::AnsiCompareText(a, b) < 0;
  });
  return names;
}

std::string TToolDatabase::TableFile(const std::string& tableName,
                                     const std::string& extension) const {
  return (fs::path(Directory()) / (tableName + extension)).string();
}

std::unique_ptr<TCairnTable> TToolDatabase::Table(const std::string& tableName) const {
  // A name with a path would move the table object to another directory.
  if (tableName.empty() || tableName.find_first_of(":/") != std::string::npos)
    throw EUsageError("'" + tableName + "' is not a table name");
  auto table = std::make_unique<TCairnTable>();
  table->SetDatabaseName(kDatabaseName);
  table->SetTableName(tableName);
  return table;
}

std::unique_ptr<TCairnTable> TToolDatabase::ExistingTable(const std::string& tableName) const {
  auto table = Table(tableName);
  if (!table->Exists()) throw EToolError("no table '" + tableName + "' in '" + Directory() + "'");
  return table;
}

const TDataHeader& TableHeader(const TCairnTable& table) {
  return table.Handle()->DataTable()->DataFile().GetHeader();
}

}  // namespace cairn::tools
