// A database object: a named connection to one database directory.
//
// It is bound to exactly one session at a time and listed there. Opening it binds and activates
// that session and opens the directory (or the in-memory database, for the name "Memory") in the
// session's storage-engine session; closing it first closes every dataset registered with it.
// Names containing ":" or "/" are paths, allowed only for the temporary objects a session
// creates on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cairn/access/Component.h"
#include "cairn/access/EngineVersion.h"
#include "cairn/check/CheckFinding.h"

namespace cairn {

class TCairnSession;
class TDataDirectory;
class TDatabaseClient;

class TCairnDatabase : public TComponent {
 public:
  using TConnectEvent = std::function<void(TCairnDatabase& sender)>;

  // Bound to the owner when it is a session, else to the default session.
  explicit TCairnDatabase(TComponent* owner = nullptr);
  // Disconnects and leaves the session's list.
  ~TCairnDatabase() override;

  // ---- Connection -----------------------------------------------------------------------------
  bool Connected() const { return FHandle != nullptr; }
  // While loading only records the value; Loaded applies it.
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  // Ends loading: an object read as connected is opened, any other is bound to its session.
  void Loaded();
  TDataDirectory* Handle() const { return FHandle; }
  TCairnSession* Session() const { return FSession; }
  bool Temporary() const { return FTemporary; }
  // Transactions are not available: never in one.
  bool InTransaction() const { return false; }
  int32_t RefCount() const { return FRefCount; }

  void SetBeforeConnect(TConnectEvent handler) { FBeforeConnect = std::move(handler); }
  void SetAfterConnect(TConnectEvent handler) { FAfterConnect = std::move(handler); }
  void SetBeforeDisconnect(TConnectEvent handler) { FBeforeDisconnect = std::move(handler); }
  void SetAfterDisconnect(TConnectEvent handler) { FAfterDisconnect = std::move(handler); }

  // ---- Properties -------------------------------------------------------------------------------
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& value);
  const std::string& Directory() const { return FDirectory; }
  // Stored trimmed of surrounding blanks and of trailing "/" (a lone "/" stays the root).
  void SetDirectory(const std::string& value);
  // Always "4.00 Build 1"; writes are ignored.
  std::string EngineVersion() const { return kEngineVersion; }
  void SetEngineVersion(const std::string&) {}
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& value);
  bool KeepConnection() const { return FKeepConnection; }
  // False on an object nobody has acquired closes it.
  void SetKeepConnection(bool value);
  bool KeepTablesOpen() const { return FKeepTablesOpen; }
  void SetKeepTablesOpen(bool value);

  // ---- Verification -----------------------------------------------------------------------------
  // Verifies one table (named with or without extension) the way a careful reader would, reading
  // its files shared and read-only and changing nothing; connects first when needed. Each finding
  // names table, file and byte offset; none for a sound table. A table that does not exist fails
  // with CAIRN_OSENOENT.
  TCheckFindings CheckTable(const std::string& tableName);
  // The directory's lock file (its table list), read without taking its locks.
  TCheckFindings CheckLockFile();
  // Every table of the directory in name order, then the directory's lock file.
  TCheckFindings CheckTables();
  // Repairs one table, holding its files exclusively: the index file is rebuilt from the live
  // records under the definitions it held, the header counters are recounted, and damage that
  // would keep a record from being read is mended; no readable record is dropped. What was
  // mended, one line each. A table open in this session fails with CAIRN_TABLEOPEN, one open
  // elsewhere with the engine error of its exclusive open; a missing table with CAIRN_OSENOENT.
  std::vector<std::string> RepairTable(const std::string& tableName);

  // ---- Clients ----------------------------------------------------------------------------------
  void RegisterClient(TDatabaseClient& client);
  void UnregisterClient(TDatabaseClient& client);
  size_t ClientCount() const { return FClients.size(); }

 private:
  friend class TCairnSession;

  void Connect();
  void Disconnect();
  void DoConnect();
  void DoDisconnect();
  // Close for the destructors: disconnects even when an event handler or a dataset fails.
  void ForceClose();
  // Disconnects without the events; when even that fails, just lets go of the directory.
  void AbandonConnection();
  // Looks the session up by SessionName, moves to it and checks the database name there; for a
  // connect an unknown session fails and the session is activated.
  void BindSession(bool forConnect);
  void MoveToSession(TCairnSession* session);
  // Path names only on temporary objects; a name held by another object of the session fails
  // unless that one is temporary and unused, which is then freed.
  void ValidateName(const std::string& name);
  void NotifyClients(bool connected);
  // Told by a session being destroyed.
  void SessionDestroyed(TCairnSession* fallback);

  bool FKeepConnection = true;
  bool FKeepTablesOpen = false;
  bool FTemporary = false;
  int32_t FRefCount = 0;
  TDataDirectory* FHandle = nullptr;
  TCairnSession* FSession = nullptr;
  std::string FSessionName;
  std::string FDatabaseName;
  std::string FDirectory;
  TConnectEvent FBeforeConnect;
  TConnectEvent FAfterConnect;
  TConnectEvent FBeforeDisconnect;
  TConnectEvent FAfterDisconnect;

  bool FStreamedConnected = false;
  // While set, releasing the last acquisition neither closes nor frees the object: it is already
  // on its way down.
  bool FDisconnecting = false;
  bool FDestroying = false;
  std::vector<TDatabaseClient*> FClients;
};

// Names and paths as the component layer compares them.
namespace dbname {
// Contains ":" or "/".
bool IsPath(const std::string& name);
// "Memory" in any case, after trimming and stripping leading and trailing "/".
bool IsMemory(const std::string& name);
// Without regard to case, through the 8-bit code page.
bool SameName(const std::string& a, const std::string& b);
// Paths compare trimmed, without trailing "/" and without regard to case.
bool SamePath(const std::string& a, const std::string& b);
}  // namespace dbname

}  // namespace cairn
