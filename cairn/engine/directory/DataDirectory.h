// A session's handle on one database directory.
//
// A database is a directory of table files. The directory object knows its path, whether it can
// be written, which of its tables are open in this session (shared by all cursors of the session
// on a table), and which cursors and query statements use it. A local directory has a lock file
// (TDataDirectoryLocks) with the table list and the locks through which processes share the
// tables. The session owns its directories and counts their users.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/directory/DirectoryCursor.h"
#include "cairn/engine/directory/DirectorySession.h"
#include "cairn/engine/table/DataDirectoryTable.h"
#include "cairn/engine/table/TableDirectory.h"

namespace cairn {

class TDataDirectoryLocks;
class TDataTable;
class TQueryStatement;
struct TTableCreateParams;

// Database names are cut to this length.
inline constexpr size_t kMaxDatabaseNameLength = 60;
// Engine table names are cut to this length.
inline constexpr size_t kMaxTableNameLength = 60;

class TDataDirectory : public TTableDirectory {
 public:
  // path is the directory as the session worked it out: trimmed and ending in "/" (empty for the
  // in-memory database without a path). Opens the lock file of a local directory; a directory
  // that cannot be written becomes read-only instead of failing.
  TDataDirectory(TDirectorySession& session, std::string path, const std::string& name);
  // Frees the open tables and closes the lock file (which stays on disk).
  ~TDataDirectory() override;
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  TDirectorySession& DataSession() const { return FDataSession; }
  TEngineServices& Engine() const override;
  TTableSession& TableSession() const override { return FDataSession; }
  const std::string& Name() const { return FName; }
  const std::string& Directory() const override { return FDirectory; }
  // The in-memory database: the name "Memory" in any letter case.
  bool InMemory() const override;
  // The database named in the errors of the directory and its tables: the path without its
  // trailing "/", or the name when the directory has no path.
  std::string ProperDataDirectoryName() const override;
  bool ReadOnly() const { return FReadOnly; }
  bool KeepTablesOpen() const override { return FKeepTablesOpen; }
  void SetKeepTablesOpen(bool value) { FKeepTablesOpen = value; }
  // The lock file's owner; null for a directory without one.
  TDataDirectoryLocks* Locks() const { return FLocks.get(); }
  // The table's entry in the lock file (registered when missing); null without a lock file.
  TTableLocks* AddTableLocks(const std::string& tableName) override;
  // Set while the directory frees its tables, cursors and statements: removals they ask for on
  // the way out are ignored.
  bool Freeing() const { return FFreeing; }

  uint16_t UseCount() const { return FUseCount; }
  void IncUseCount() { ++FUseCount; }
  void DecUseCount() {
    if (FUseCount > 0) --FUseCount;
  }
  // Detaches the registered cursors (each closes first, giving its table back), then frees the
  // open tables that remain and forgets the query statements.
  void Reset();

  // The names, without extension, of the directory's data files (of its memory files when
  // InMemory), in listing order.
  void ListTableNames(std::vector<std::string>& list) const;
  // The engine table name of a table name: its file-name part with the extension replaced by
  // the data extension (the temporary one when asked), cut to 60 characters.
  std::string EngineTableName(const std::string& tableName, bool temporary = false) const;
  // Whether the table is open in this directory or, unless openOnly, its data file exists.
  // Index and blob files play no part.
  bool DataTableExists(const std::string& tableName, bool openOnly = false,
                       bool temporary = false) const;
  // CAIRN_OSEACCES naming the database and the table when the directory is read-only.
  void CheckNotReadOnly(const std::string& tableName) const;
  // A table name no table of the directory has yet: the first five digits of the calling
  // thread's identifier, a counter from 0 and the data extension.
  std::string GetTempDataTableName() const;

  // ---- Open tables, sorted by engine table name (compared without regard to case) ----------
  // Opening, closing and creating a table (OpenDataTable, CloseDataTable, CreateDataTable, below)
  // keep this list: a table is inserted once opened or created and removed when freed.
  TDataDirectoryTable* FindDataTable(const std::string& tableName) const;
  // Takes ownership; a table of the same name must not be in the list.
  TDataDirectoryTable& InsertDataTable(std::unique_ptr<TDataDirectoryTable> table);
  // Gives up ownership of the table of that name; null when it is not listed or while freeing.
  std::unique_ptr<TDataDirectoryTable> RemoveDataTable(const std::string& tableName);
  size_t DataTableCount() const { return FDataTableList.size(); }

  // ---- Opening, closing and creating tables (the table objects are TDataTable) ---------------
  // The open table of that engine table name, or a new table object (read-only when the
  // directory is), opened with one user more. CAIRN_OSEACCES when the session holds the table
  // exclusively or asks for it exclusively while it is in use. A new object whose open fails is
  // freed.
  TDataTable& OpenDataTable(const std::string& tableName, const std::string& errorTableName,
                            bool exclusive, bool temporary, bool headerChecks = true);
  // One user less; the last one closes the table, which is then removed and freed unless it
  // stays in a transaction or the directory keeps shared tables open. CAIRN_OSENOENT for a table
  // object that is not in the list. A close that fails still frees an unused table.
  void CloseDataTable(TDataTable& table, bool freeIfTemporary = true);
  // Creates the files of a new table from validated parameters and returns it open, with one
  // user. CAIRN_OSEACCES when the directory is read-only, or when an object of that name is still
  // in use or in a transaction (an unused one is reused). A new object whose creation fails is
  // freed.
  TDataTable& CreateDataTable(const std::string& tableName, const std::string& errorTableName,
                              const TTableCreateParams& params, bool exclusive, bool temporary,
                              bool resultSet = false);

  // ---- Cursors and query statements using the directory (not owned) ------------------------
  // A registered cursor is detached when the directory is reset or freed.
  void AddDataCursor(TDirectoryCursor* cursor);
  void RemoveDataCursor(TDirectoryCursor* cursor);
  size_t DataCursorCount() const { return FDataCursorList.size(); }
  void AddQueryStatement(TQueryStatement* statement);
  void RemoveQueryStatement(TQueryStatement* statement);
  size_t QueryStatementCount() const { return FQueryStatementList.size(); }

 private:
  // The position of the table of that name in the sorted list; found tells whether it is there.
  size_t FindPosition(const std::string& tableName, bool& found) const;
  // The listed table object of that name; CAIRN_OSEACCES when the name is held by another kind of
  // entry.
  TDataTable* FindTableObject(const std::string& tableName) const;
  [[noreturn]] void RaiseTableError(uint16_t errorCode, const std::string& tableName) const;

  TDirectorySession& FDataSession;
  std::string FName;
  std::string FDirectory;
  bool FReadOnly = false;
  bool FKeepTablesOpen = false;
  std::unique_ptr<TDataDirectoryLocks> FLocks;
  bool FFreeing = false;
  std::vector<std::unique_ptr<TDataDirectoryTable>> FDataTableList;
  std::vector<TDirectoryCursor*> FDataCursorList;
  std::vector<TQueryStatement*> FQueryStatementList;
  uint16_t FUseCount = 0;
};

}  // namespace cairn
