// What a table needs of the database directory it belongs to.
//
// The directory (TDataDirectory) implements it and hands it to each table it opens; the table
// reads the directory's path and names, the session and engine behind it, and registers itself
// in the directory's lock file through it.
#pragma once

#include <string>

namespace cairn {

class TEngineServices;
class TTableLocks;
class TTableSession;

class TTableDirectory {
 public:
  virtual ~TTableDirectory() = default;

  virtual TEngineServices& Engine() const = 0;
  virtual TTableSession& TableSession() const = 0;
  // The directory path, ending in "/" (empty for the in-memory database without a path).
  virtual const std::string& Directory() const = 0;
  virtual bool InMemory() const = 0;
  // The database named in the errors of the directory and its tables.
  virtual std::string ProperDataDirectoryName() const = 0;
  // A shared table of such a directory keeps its files open on a normal close.
  virtual bool KeepTablesOpen() const = 0;
  // The table's entry in the lock file, registered when missing; null for a directory without a
  // lock file.
  virtual TTableLocks* AddTableLocks(const std::string& tableName) = 0;
};

}  // namespace cairn
