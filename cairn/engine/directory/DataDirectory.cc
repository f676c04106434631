#include "cairn/engine/directory/DataDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TDataDirectory::TDataDirectory(TDirectorySession& session, std::string path,
                               const std::string& name)
    : FDataSession(session),
      FName(name.substr(0, kMaxDatabaseNameLength)),
      FDirectory(std::move(path)) {
  FLocks = std::make_unique<TDataDirectoryLocks>(*this);
  FLocks->Open();
  FReadOnly = FLocks->ReadOnly();
}

TDataDirectory::~TDataDirectory() {
  Reset();
  FLocks.reset();
}

TEngineServices& TDataDirectory::Engine() const {
  return FDataSession.Engine();
}

TTableLocks* TDataDirectory::AddTableLocks(const std::string& tableName) {
  if (FLocks == nullptr) return nullptr;
  return &FLocks->AddDataTable(tableName);
}

bool TDataDirectory::InMemory() const {
  return host::AnsiSameText(host::TrimBlanks(FName), "Memory");
}

std::string TDataDirectory::ProperDataDirectoryName() const {
  if (FDirectory.empty()) return FName;
  return host::ExcludeTrailingDelimiter(FDirectory);
}

void TDataDirectory::Reset() {
  // Cursors first, while their tables are intact: each closes the ordinary way and lets go of
  // the directory, so that none is left holding a directory or table about to be freed.
  std::vector<TDirectoryCursor*> cursors;
  cursors.swap(FDataCursorList);
  for (auto it = cursors.rbegin(); it != cursors.rend(); ++it) (*it)->DetachFromDirectory();
  FFreeing = true;
  // Back to front; a table that asks to be removed on its way out is ignored while freeing.
  while (!FDataTableList.empty()) {
    std::unique_ptr<TDataDirectoryTable> table = std::move(FDataTableList.back());
    FDataTableList.pop_back();
    table.reset();
  }
  FQueryStatementList.clear();
  FFreeing = false;
}

void TDataDirectory::ListTableNames(std::vector<std::string>& list) const {
  const std::string mask = FDirectory + "*" + Engine().Settings().DataExtension;
  Engine().FileRegistry().GetFileNames(InMemory(), mask, false, false, list);
}

std::string TDataDirectory::EngineTableName(const std::string& tableName, bool temporary) const {
  const std::string fileName = host::ExtractFileName(host::TrimBlanks(tableName));
  const std::string extension = host::ExtractFileExt(fileName);
  std::string name = fileName.substr(0, fileName.size() - extension.size());
  const TEngineSettings& settings = Engine().Settings();
  name += temporary ? settings.DataTempExtension : settings.DataExtension;
  return name.substr(0, kMaxTableNameLength);
}

bool TDataDirectory::DataTableExists(const std::string& tableName, bool openOnly,
                                     bool temporary) const {
  if (FindDataTable(EngineTableName(tableName, temporary)) != nullptr) return true;
  if (openOnly) return false;
  const TEngineSettings& settings = Engine().Settings();
  const std::string& extension = temporary ? settings.DataTempExtension : settings.DataExtension;
  const std::string fileName = Engine().TableFilePath(FDirectory, tableName, extension);
  return Engine().FileRegistry().FileExists(fileName, InMemory(), false);
}

void TDataDirectory::CheckNotReadOnly(const std::string& tableName) const {
  if (!FReadOnly) return;
  TEngineErrorContext context;
  context.DatabaseName = ProperDataDirectoryName();
  context.TableName = tableName;
  Engine().RaiseError(CAIRN_OSEACCES, context);
}

std::string TDataDirectory::GetTempDataTableName() const {
  const std::string threadPart =
      std::to_string(std::llabs(static_cast<long long>(host::CurrentThreadId()))).substr(0, 5);
  for (int64_t counter = 0;; ++counter) {
    std::string name = threadPart + std::to_string(counter) + Engine().Settings().DataExtension;
    if (!DataTableExists(name, false, true)) return name;
  }
}

// ---- Open tables ----------------------------------------------------------------------------

size_t TDataDirectory::FindPosition(const std::string& tableName, bool& found) const {
  size_t low = 0, high = FDataTableList.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int c = host::AnsiCompareText(FDataTableList[mid]->TableName(), tableName);
    if (c == 0) {
      found = true;
      return mid;
    }
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  found = false;
  return low;
}

TDataDirectoryTable* TDataDirectory::FindDataTable(const std::string& tableName) const {
  bool found = false;
  const size_t position = FindPosition(tableName, found);
  return found ? FDataTableList[position].get() : nullptr;
}

TDataDirectoryTable& TDataDirectory::InsertDataTable(std::unique_ptr<TDataDirectoryTable> table) {
  bool found = false;
  const size_t position = FindPosition(table->TableName(), found);
  if (found) throw std::logic_error("Table " + table->TableName() + " is open already");
  TDataDirectoryTable& inserted = *table;
  FDataTableList.insert(FDataTableList.begin() + static_cast<ptrdiff_t>(position),
                        std::move(table));
  return inserted;
}

std::unique_ptr<TDataDirectoryTable> TDataDirectory::RemoveDataTable(const std::string& tableName) {
  if (FFreeing) return nullptr;
  bool found = false;
  const size_t position = FindPosition(tableName, found);
  if (!found) return nullptr;
  std::unique_ptr<TDataDirectoryTable> table = std::move(FDataTableList[position]);
  FDataTableList.erase(FDataTableList.begin() + static_cast<ptrdiff_t>(position));
  return table;
}

// ---- Opening, closing and creating tables ---------------------------------------------------

void TDataDirectory::RaiseTableError(uint16_t errorCode, const std::string& tableName) const {
  TEngineErrorContext context;
  context.DatabaseName = ProperDataDirectoryName();
  context.TableName = tableName;
  Engine().RaiseError(errorCode, context);
}

TDataTable* TDataDirectory::FindTableObject(const std::string& tableName) const {
  TDataDirectoryTable* listed = FindDataTable(tableName);
  if (listed == nullptr) return nullptr;
  auto* table = dynamic_cast<TDataTable*>(listed);
  if (table == nullptr) RaiseTableError(CAIRN_OSEACCES, tableName);
  return table;
}

TDataTable& TDataDirectory::OpenDataTable(const std::string& tableName,
                                          const std::string& errorTableName, bool exclusive,
                                          bool temporary, bool headerChecks) {
  if (TDataTable* table = FindTableObject(tableName)) {
    if (table->UseCount() > 0 && (table->Exclusive() || exclusive)) {
      RaiseTableError(CAIRN_OSEACCES, tableName);
    }
    // An unused object still open is a shared table kept open: asked for exclusively, it lets
    // go of its shared files first.
    if (table->UseCount() == 0 && table->IsOpen() && table->Exclusive() != exclusive) {
      table->CloseTable(false, true);
    }
    if (!table->IsOpen()) {
      table->SetExclusive(exclusive);
      table->SetTemporary(temporary);
      table->SetReadOnly(FReadOnly);
    }
    TScopeGuard forget([&] {
      if (table->UseCount() == 0 && !table->IsOpen()) RemoveDataTable(tableName);
    });
    table->OpenTable(false, headerChecks);
    forget.Dismiss();
    return *table;
  }
  auto table = std::make_unique<TDataTable>(*this, tableName, errorTableName);
  table->SetExclusive(exclusive);
  table->SetTemporary(temporary);
  table->SetReadOnly(FReadOnly);
  table->OpenTable(false, headerChecks);
  TDataTable& opened = *table;
  InsertDataTable(std::move(table));
  return opened;
}

void TDataDirectory::CloseDataTable(TDataTable& table, bool freeIfTemporary) {
  if (FindDataTable(table.TableName()) != &table)
    RaiseTableError(CAIRN_OSENOENT, table.TableName());
  // An unused table object goes from the list even when closing it failed.
  auto removeUnused = [&] {
    const bool keptOpen = FKeepTablesOpen && table.IsOpen();
    if (table.UseCount() == 0 && !table.InTransaction() && !keptOpen) {
      RemoveDataTable(table.TableName());
    }
  };
  TScopeGuard remove(removeUnused);
  table.CloseTable(freeIfTemporary, false);
  remove.Dismiss();
  removeUnused();
}

TDataTable& TDataDirectory::CreateDataTable(const std::string& tableName,
                                            const std::string& errorTableName,
                                            const TTableCreateParams& params, bool exclusive,
                                            bool temporary, bool resultSet) {
  CheckNotReadOnly(tableName);
  std::unique_ptr<TDataTable> fresh;
  TDataTable* table = FindTableObject(tableName);
  if (table != nullptr) {
    if (table->UseCount() > 0 || table->InTransaction()) {
      RaiseTableError(CAIRN_OSEACCES, tableName);
    }
    // A shared table kept open lets go of its files before they are replaced.
    if (table->IsOpen()) table->CloseTable(false, true);
  } else {
    fresh = std::make_unique<TDataTable>(*this, tableName, errorTableName);
    table = fresh.get();
  }
  table->SetExclusive(exclusive);
  table->SetTemporary(temporary);
  table->SetReadOnly(false);
  table->CreateTable(params, resultSet);
  if (fresh) InsertDataTable(std::move(fresh));
  return *table;
}

// ---- Cursors and query statements -----------------------------------------------------------

namespace {

template <typename T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  const auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

}  // namespace

void TDataDirectory::AddDataCursor(TDirectoryCursor* cursor) {
  FDataCursorList.push_back(cursor);
}

void TDataDirectory::RemoveDataCursor(TDirectoryCursor* cursor) {
  if (!FFreeing) RemoveFrom(FDataCursorList, cursor);
}

void TDataDirectory::AddQueryStatement(TQueryStatement* statement) {
  FQueryStatementList.push_back(statement);
}

void TDataDirectory::RemoveQueryStatement(TQueryStatement* statement) {
  if (!FFreeing) RemoveFrom(FQueryStatementList, statement);
}

}  // namespace cairn
