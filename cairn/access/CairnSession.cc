#include "cairn/access/CairnSession.h"

#include <algorithm>
#include <exception>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnEngineInstance.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/System.h"

namespace cairn {

TCairnSession::TCairnSession(TComponent* owner) : TCairnSession(owner, CairnEngineInstance()) {}

TCairnSession::TCairnSession(TComponent* owner, TCairnEngineInstance& engine)
    : TComponent(owner), FPrivateDir(host::TempDirectory()), FEngine(&engine) {
  engine.AddSession(*this);
}

TCairnSession::~TCairnSession() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the storage engine frees what is left at its reset.
  }
  TCairnSession* fallback = !FDefault && FEngine ? FEngine->DefaultSession() : nullptr;
  if (fallback == this) fallback = nullptr;
  while (!FTemporaryDatabases.empty()) FTemporaryDatabases.pop_back();
  while (!FDatabases.empty()) {
    TCairnDatabase* database = FDatabases.back();
    FDatabases.pop_back();
    database->SessionDestroyed(fallback);
  }
  if (FEngine) {
    if (FSessionNumber >= 0) FEngine->ReleaseSessionNumber(FSessionNumber);
    FEngine->RemoveSession(*this);
  }
}

TCairnEngineInstance& TCairnSession::Engine() {
  // A session that outlived the component layer joins the current one.
  if (FEngine == nullptr) {
    FEngine = &CairnEngineInstance();
    FEngine->AddSession(*this);
  }
  return *FEngine;
}

// ---- Activation
// -----------------------------------------------------------------------------------

void TCairnSession::SetActive(bool value) {
  if (Loading()) {
    FStreamedActive = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    StartSession();
  } else {
    StopSession();
  }
}

void TCairnSession::Loaded() {
  SetLoading(false);
  if (FStreamedActive) SetActive(true);
}

void TCairnSession::StartSession() {
  TCairnEngineInstance& engine = Engine();
  if (engine.EngineType() == etServer && FSessionType == stRemote)
    DatabaseError(SRemoteSessionOnServer, this);
  if (FSessionType == stRemote) DatabaseError(SRemoteNotAvailable, this);
  engine.SetActive(true);
  if (FOnStartup) FOnStartup(*this);
  if (FSessionName.empty()) DatabaseError(SSessionNameMissing, this);
  if (!FDefault && engine.DefaultSession() != nullptr) engine.DefaultSession()->Open();
  TDataSession& handle = engine.Handle().StartDataSession();
  FHandle = &handle;
  TScopeGuard stop([&] { StopSession(); });
  Configure(handle);
  stop.Dismiss();
}

void TCairnSession::Configure(TDataSession& handle) {
  handle.SetName(host::Utf8ToAnsi(FSessionName) + "_" + std::to_string(FSessionNumber));
  handle.SetPrivateDirectory(host::Utf8ToAnsi(FPrivateDir));
  handle.SetStrictChangeDetection(FStrictChangeDetection);
  handle.SetForceBufferFlush(FForceBufferFlush);
  handle.SetLockRetries(FLockRetryCount);
  handle.SetLockWait(FLockWaitTime);
  handle.SetLockProtocol(FLockProtocol);
  handle.SetProgress(FProgressSteps);
  handle.SetPasswordCallback([this](TDataSession&) { return AnswerPassword(); });
  handle.SetInsideEngine(true);
  handle.SetIsRemote(false);
}

bool TCairnSession::AnswerPassword() {
  // Without a handler nobody can supply a password: do not ask again.
  return FOnPassword ? FOnPassword(*this) : false;
}

void TCairnSession::StopSession() {
  // The storage session goes in any case, taking its directories along: no database object may
  // keep a handle into it. The first failure is reported afterwards.
  std::exception_ptr failure;
  for (size_t i = FDatabases.size(); i-- > 0;) {
    if (i >= FDatabases.size()) continue;  // closing one may have freed others
    TCairnDatabase& database = *FDatabases[i];
    try {
      if (!database.Temporary() || !FreeTemporary(database)) database.Close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
      database.AbandonConnection();
    }
  }
  TDataSession* handle = FHandle;
  FHandle = nullptr;
  Engine().Handle().CloseDataSession(*handle);
  if (FOnShutdown) FOnShutdown(*this);
  if (failure) std::rethrow_exception(failure);
}

// ---- Names
// ----------------------------------------------------------------------------------------

void TCairnSession::SetSessionName(const std::string& value) {
  if (value == FSessionName) return;
  if (Active()) DatabaseError(SSessionActive, this);
  if (FAutoSessionName && !FUpdatingAutoSessionName) DatabaseError(SAutoSessionActive, this);
  TCairnSession* other = Engine().FindSession(value);
  if (!value.empty() && other != nullptr && other != this)
    DatabaseErrorFmt(SDuplicateSessionName, {value}, this);
  FSessionName = value;
}

void TCairnSession::SetAutoSessionName(bool value) {
  if (value == FAutoSessionName) return;
  if (Active()) DatabaseError(SSessionActive, this);
  TCairnEngineInstance& engine = Engine();
  if (!value) {
    engine.ReleaseSessionNumber(FSessionNumber);
    FSessionNumber = -1;
    FAutoSessionName = false;
    return;
  }
  engine.CheckAutoSession(*this);
  FSessionNumber = engine.AcquireSessionNumber();
  FAutoSessionName = true;
  TScopeGuard undo([&] {
    engine.ReleaseSessionNumber(FSessionNumber);
    FSessionNumber = -1;
    FAutoSessionName = false;
  });
  WriteAutoSessionName();
  undo.Dismiss();
}

void TCairnSession::SetName(const std::string& name) {
  TComponent::SetName(name);
  if (FAutoSessionName) WriteAutoSessionName();
}

void TCairnSession::WriteAutoSessionName() {
  FUpdatingAutoSessionName = true;
  TScopeGuard done([&] { FUpdatingAutoSessionName = false; });
  SetSessionName(Name() + "_" + std::to_string(FSessionNumber + 1));
}

// ---- Settings
// -------------------------------------------------------------------------------------

void TCairnSession::SetSessionType(TSessionType value) {
  if (value == FSessionType) return;
  if (Active()) DatabaseError(SSessionActive, this);
  FSessionType = value;
}

void TCairnSession::SetPrivateDir(const std::string& value) {
  FPrivateDir = value;
  if (FHandle) FHandle->SetPrivateDirectory(host::Utf8ToAnsi(value));
}

void TCairnSession::SetProgressSteps(uint16_t value) {
  if (value > 100) return;
  FProgressSteps = value;
  if (FHandle) FHandle->SetProgress(value);
}

void TCairnSession::SetForceBufferFlush(bool value) {
  FForceBufferFlush = value;
  if (FHandle) FHandle->SetForceBufferFlush(value);
}

void TCairnSession::SetStrictChangeDetection(bool value) {
  FStrictChangeDetection = value;
  if (FHandle) FHandle->SetStrictChangeDetection(value);
}

void TCairnSession::SetLockRetryCount(uint8_t value) {
  FLockRetryCount = value;
  if (FHandle) FHandle->SetLockRetries(value);
}

void TCairnSession::SetLockWaitTime(uint16_t value) {
  FLockWaitTime = value;
  if (FHandle) FHandle->SetLockWait(value);
}

void TCairnSession::SetLockProtocol(TLockProtocol value) {
  FLockProtocol = value;
  if (FHandle) FHandle->SetLockProtocol(value);
}

// ---- Passwords
// ------------------------------------------------------------------------------------

void TCairnSession::AddPassword(const std::string& password) {
  if (!Active()) DatabaseError(SSessionInactive, this);
  FHandle->AddPassword(host::Utf8ToAnsi(password));
}

void TCairnSession::RemovePassword(const std::string& password) {
  if (!Active()) DatabaseError(SSessionInactive, this);
  FHandle->DeletePassword(host::Utf8ToAnsi(password));
}

void TCairnSession::RemoveAllPasswords() {
  if (!Active()) DatabaseError(SSessionInactive, this);
  FHandle->DeleteAllPasswords();
}

// ---- Database objects
// -----------------------------------------------------------------------------

TCairnDatabase& TCairnSession::OpenDatabase(const std::string& databaseName) {
  Open();
  TCairnDatabase* database = FindDatabase(databaseName);
  if (database == nullptr) {
    auto created = std::make_unique<TCairnDatabase>(this);
    created->FTemporary = true;
    created->SetDatabaseName(databaseName);
    if (dbname::IsPath(databaseName) && !dbname::IsMemory(databaseName))
      created->SetDirectory(databaseName);
    created->SetKeepConnection(FKeepConnections);
    database = created.get();
    FTemporaryDatabases.push_back(std::move(created));
    TScopeGuard freeTemporary([&] { FreeTemporary(*database); });
    database->Open();
    freeTemporary.Dismiss();
  } else {
    database->Open();
  }
  ++database->FRefCount;
  return *database;
}

void TCairnSession::CloseDatabase(TCairnDatabase& database) {
  if (database.FRefCount == 0) return;
  if (--database.FRefCount > 0 || database.FKeepConnection) return;
  // An object already closing or being destroyed finishes that on its own; closing or freeing it
  // from inside would pull it away under its caller.
  if (database.FDisconnecting || database.FDestroying) return;
  if (!database.Temporary() || !FreeTemporary(database)) database.Close();
}

TCairnDatabase* TCairnSession::FindDatabase(const std::string& databaseName) const {
  return FindOtherDatabase(databaseName, nullptr);
}

TCairnDatabase* TCairnSession::FindOtherDatabase(const std::string& databaseName,
                                                 const TCairnDatabase* except) const {
  bool isPath = dbname::IsPath(databaseName) && !dbname::IsMemory(databaseName);
  for (TCairnDatabase* database : FDatabases) {
    if (database == except) continue;
    if (isPath ? dbname::SamePath(database->DatabaseName(), databaseName)
               : dbname::SameName(database->DatabaseName(), databaseName))
      return database;
  }
  return nullptr;
}

void TCairnSession::AddDatabase(TCairnDatabase& database) {
  if (std::find(FDatabases.begin(), FDatabases.end(), &database) == FDatabases.end())
    FDatabases.push_back(&database);
}

void TCairnSession::RemoveDatabase(TCairnDatabase& database) {
  FDatabases.erase(std::remove(FDatabases.begin(), FDatabases.end(), &database), FDatabases.end());
}

bool TCairnSession::FreeTemporary(TCairnDatabase& database) {
  if (database.FDestroying) return false;
  // The session that created it owns it, whichever session it is bound to now.
  auto* owner = dynamic_cast<TCairnSession*>(database.Owner());
  if (owner == nullptr) return false;
  auto& owned = owner->FTemporaryDatabases;
  auto it =
      std::find_if(owned.begin(), owned.end(), [&](const auto& d) { return d.get() == &database; });
  if (it == owned.end()) return false;
  std::unique_ptr<TCairnDatabase> doomed = std::move(*it);
  owned.erase(it);
  return true;
}

}  // namespace cairn
