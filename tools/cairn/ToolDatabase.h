// One database directory as the tool uses it: a database object bound to the directory for the
// whole run, the session's passwords, and table objects bound to it.
//
// Which tables a directory holds is read from the file names (the data files), never from their
// contents: everything inside a table is read through the component layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"

namespace cairn {
struct TDataHeader;
}

namespace cairn::tools {

class TToolDatabase {
 public:
  // The directory must exist (EToolError otherwise). A non-empty password is added to the
  // default session, so that encrypted tables open.
  explicit TToolDatabase(const std::string& directory, const std::string& password = {});
  ~TToolDatabase();
  TToolDatabase(const TToolDatabase&) = delete;
  TToolDatabase& operator=(const TToolDatabase&) = delete;

  const std::string& Directory() const { return FDatabase.Directory(); }
  // The database object itself (verification and repair are its operations).
  TCairnDatabase& Database() { return FDatabase; }

  // The tables of the directory, by the names of their data files, sorted without regard to case.
  std::vector<std::string> TableNames() const;
  // The path of one of a table's files; extension is one of the engine's table extensions.
  std::string TableFile(const std::string& tableName, const std::string& extension) const;

  // A closed table object bound to this database.
  std::unique_ptr<TCairnTable> Table(const std::string& tableName) const;
  // The same, checked to exist (EToolError "no table ..." otherwise).
  std::unique_ptr<TCairnTable> ExistingTable(const std::string& tableName) const;

 private:
  TCairnDatabase FDatabase;
};

// The engine's own reading of an open table's data-file header.
const TDataHeader& TableHeader(const TCairnTable& table);

}  // namespace cairn::tools
