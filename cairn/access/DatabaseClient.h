// What a database object asks of the datasets that use it.
//
// A dataset registers with its database object while it holds the database; when the database
// object disconnects it closes every registered dataset, the most recent first, and each close
// must unregister the dataset.
#pragma once

namespace cairn {

class TDatabaseClient {
 public:
  virtual ~TDatabaseClient() = default;

  // Closes the dataset because its database goes down; the dataset unregisters itself.
  virtual void CloseForDisconnect() = 0;
  // Told that the connection came up (true) or is about to go down (false).
  virtual void ConnectionChanged(bool /*connected*/) {}
};

}  // namespace cairn
