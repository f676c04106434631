#include "cairn/access/CairnDatabase.h"

#include <algorithm>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnEngineInstance.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/DatabaseClient.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/System.h"

namespace cairn {

namespace {

std::string StripDelimiters(const std::string& name) {
  size_t first = name.find_first_not_of(host::kPathDelimiter);
  if (first == std::string::npos) return {};
  size_t last = name.find_last_not_of(host::kPathDelimiter);
  return name.substr(first, last - first + 1);
}

// Trimmed and without trailing "/"; the root itself stays "/", which an empty path (the current
// directory) would not mean.
std::string NormalizeDirectory(const std::string& directory) {
  std::string path = host::TrimBlanks(directory);
  size_t last = path.find_last_not_of(host::kPathDelimiter);
  if (last == std::string::npos) return path.empty() ? path : std::string(1, host::kPathDelimiter);
  return path.substr(0, last + 1);
}

}  // namespace

namespace dbname {

bool IsPath(const std::string& name) {
  return name.find_first_of(":/") != std::string::npos;
}

bool IsMemory(const std::string& name) {
  return SameName(StripDelimiters(host::TrimBlanks(name)), "Memory");
}

bool SameName(const std::string& a, const std::string& b) {
  return host::AnsiSameText(host::Utf8ToAnsi(a), host::Utf8ToAnsi(b));
}

bool SamePath(const std::string& a, const std::string& b) {
  return SameName(NormalizeDirectory(a), NormalizeDirectory(b));
}

}  // namespace dbname

TCairnDatabase::TCairnDatabase(TComponent* owner) : TComponent(owner) {
  auto* session = dynamic_cast<TCairnSession*>(owner);
  FSession = session ? session : &DefaultSession();
  FSessionName = FSession->SessionName();
  FSession->AddDatabase(*this);
}

TCairnDatabase::~TCairnDatabase() {
  FDestroying = true;
  ForceClose();
  if (FSession) FSession->RemoveDatabase(*this);
}

void TCairnDatabase::ForceClose() {
  try {
    Close();
  } catch (...) {
    // Closing is forced: a failure only means the connection is given up without ceremony.
    AbandonConnection();
  }
}

void TCairnDatabase::AbandonConnection() {
  try {
    DoDisconnect();
  } catch (...) {
    // The directory stays with the storage session, which frees it when it goes.
    FClients.clear();
    FHandle = nullptr;
    FRefCount = 0;
  }
}

// ---- Connection ---------------------------------------------------------------------------------

void TCairnDatabase::SetConnected(bool value) {
  if (Loading()) {
    FStreamedConnected = value;
    return;
  }
  if (value == Connected()) return;
  if (value) {
    Connect();
  } else {
    Disconnect();
  }
}

void TCairnDatabase::Loaded() {
  SetLoading(false);
  if (FStreamedConnected) {
    SetConnected(true);
  } else {
    BindSession(false);
  }
}

void TCairnDatabase::Connect() {
  if (FBeforeConnect) FBeforeConnect(*this);
  DoConnect();
  NotifyClients(true);
  if (FAfterConnect) FAfterConnect(*this);
}

void TCairnDatabase::Disconnect() {
  if (FBeforeDisconnect) FBeforeDisconnect(*this);
  NotifyClients(false);
  DoDisconnect();
  if (FAfterDisconnect) FAfterDisconnect(*this);
}

void TCairnDatabase::DoConnect() {
  if (FHandle) return;
  if (FDatabaseName.empty() && !FTemporary) DatabaseError(SDatabaseNameMissing, this);
  BindSession(true);
  TDataSession& session = *FSession->Handle();
  std::string name = StripDelimiters(host::TrimBlanks(FDatabaseName));
  // The in-memory database ignores Directory.
  std::string path = dbname::IsMemory(name) ? session.DoGetPath() : host::Utf8ToAnsi(FDirectory);
  FHandle = &session.OpenDataDirectory(host::Utf8ToAnsi(name), path, FKeepTablesOpen,
                                       /*noRemoteCall=*/false, /*compareNames=*/false);
}

void TCairnDatabase::DoDisconnect() {
  if (!FHandle) return;
  struct TDisconnecting {
    bool& flag;
    explicit TDisconnecting(bool& f) : flag(f) { flag = true; }
    ~TDisconnecting() { flag = false; }
  } disconnecting(FDisconnecting);
  // A dataset's close unregisters it; one that does not is dropped all the same.
  while (!FClients.empty()) {
    TDatabaseClient* client = FClients.back();
    client->CloseForDisconnect();
    UnregisterClient(*client);
  }
  TDataDirectory* directory = FHandle;
  FHandle = nullptr;
  FRefCount = 0;
  if (FSession && FSession->Handle())
    FSession->Handle()->CloseDataDirectory(*directory, /*noRemoteCall=*/false);
}

void TCairnDatabase::NotifyClients(bool connected) {
  std::vector<TDatabaseClient*> clients = FClients;
  for (TDatabaseClient* client : clients) client->ConnectionChanged(connected);
}

// ---- Session binding
// ------------------------------------------------------------------------------

void TCairnDatabase::BindSession(bool forConnect) {
  TCairnSession* found = CairnEngineInstance().FindSession(FSessionName);
  if (found == nullptr && forConnect) DatabaseErrorFmt(SInvalidSessionName, {FSessionName}, this);
  if (found != nullptr && found != FSession) MoveToSession(found);
  TScopeGuard clear([&] { FDatabaseName.clear(); });
  ValidateName(FDatabaseName);
  clear.Dismiss();
  if (forConnect) FSession->Open();
}

void TCairnDatabase::MoveToSession(TCairnSession* session) {
  if (FSession) FSession->RemoveDatabase(*this);
  FSession = session;
  if (FSession) FSession->AddDatabase(*this);
}

void TCairnDatabase::SessionDestroyed(TCairnSession* fallback) {
  ForceClose();
  FSession = fallback;
  if (fallback == nullptr) return;
  FSessionName.clear();
  fallback->AddDatabase(*this);
}

void TCairnDatabase::ValidateName(const std::string& name) {
  if (name.empty()) return;
  if (!FTemporary && dbname::IsPath(name)) DatabaseErrorFmt(SInvalidDatabaseName, {name}, this);
  if (FSession == nullptr) return;
  while (TCairnDatabase* other = FSession->FindOtherDatabase(name, this)) {
    // A temporary object nobody uses gives its name up.
    if (!other->Temporary() || other->FRefCount != 0 || !FSession->FreeTemporary(*other))
      DatabaseErrorFmt(SDuplicateDatabaseName, {name}, this);
  }
}

// ---- Properties
// -----------------------------------------------------------------------------------

void TCairnDatabase::SetDatabaseName(const std::string& value) {
  if (Loading()) {
    FDatabaseName = value;
    return;
  }
  if (value == FDatabaseName) return;
  if (Connected()) DatabaseError(SDatabaseOpen, this);
  ValidateName(value);
  FDatabaseName = value;
}

void TCairnDatabase::SetDirectory(const std::string& value) {
  if (Loading()) {
    FDirectory = value;
    return;
  }
  std::string directory = NormalizeDirectory(value);
  if (directory == FDirectory) return;
  if (Connected()) DatabaseError(SDatabaseOpen, this);
  FDirectory = directory;
}

void TCairnDatabase::SetSessionName(const std::string& value) {
  if (Loading()) {
    FSessionName = value;
    return;
  }
  if (value == FSessionName) return;
  if (Connected()) DatabaseError(SDatabaseOpen, this);
  FSessionName = value;
  BindSession(false);
}

void TCairnDatabase::SetKeepConnection(bool value) {
  FKeepConnection = value;
  if (!value && FRefCount == 0) Close();
}

void TCairnDatabase::SetKeepTablesOpen(bool value) {
  if (value == FKeepTablesOpen) return;
  if (Connected()) DatabaseError(SDatabaseOpen, this);
  FKeepTablesOpen = value;
}

// ---- Clients
// --------------------------------------------------------------------------------------

void TCairnDatabase::RegisterClient(TDatabaseClient& client) {
  if (std::find(FClients.begin(), FClients.end(), &client) == FClients.end())
    FClients.push_back(&client);
}

void TCairnDatabase::UnregisterClient(TDatabaseClient& client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), &client), FClients.end());
}

}  // namespace cairn
