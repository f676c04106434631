// What a database directory knows of one of its open tables.
//
// The directory keeps its open tables sorted by engine table name and owns them; the table
// object (TDataTable) derives from this and closes its files when it is freed.
#pragma once

#include <string>

namespace cairn {

class TDataDirectoryTable {
 public:
  virtual ~TDataDirectoryTable() = default;
  // The engine table name ("Events.dat"), by which the directory finds the table.
  virtual const std::string& TableName() const = 0;
};

}  // namespace cairn
