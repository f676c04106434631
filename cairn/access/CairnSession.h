// A session: a named context that owns a storage-engine session while active and keeps the
// database objects bound to it.
//
// The process's default session, "Default", always exists. Settings written while inactive are
// kept and handed to the storage-engine session on activation; while active a changed value is
// passed on at once. Database objects the session creates on demand (OpenDatabase of a name no
// object holds) are temporary and owned by the session.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/Component.h"
#include "cairn/access/EngineVersion.h"
#include "cairn/engine/DataSession.h"

namespace cairn {

class TCairnDatabase;
class TCairnEngineInstance;

enum TSessionType : uint8_t { stLocal, stRemote };

class TCairnSession : public TComponent {
 public:
  using TSessionEvent = std::function<void(TCairnSession& sender)>;
  // Asked when a table needs a password no known one opens; the handler may add passwords and
  // answers whether to try again.
  using TPasswordEvent = std::function<bool(TCairnSession& sender)>;

  // Registers with the process's settings object (the component layer is set up on first use).
  explicit TCairnSession(TComponent* owner = nullptr);
  TCairnSession(TComponent* owner, TCairnEngineInstance& engine);
  // Deactivates; frees the temporary database objects; the other bound database objects are
  // disconnected and rebound to the default session (or left unbound when this is the default
  // session).
  ~TCairnSession() override;

  // ---- State ----------------------------------------------------------------------------------
  bool Active() const { return FHandle != nullptr; }
  // While loading only records the value; Loaded applies it.
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // Ends loading: a session read as active is activated.
  void Loaded();
  TDataSession* Handle() const { return FHandle; }
  bool IsDefault() const { return FDefault; }

  // ---- Names ----------------------------------------------------------------------------------
  // Always "4.00 Build 1"; writes are ignored.
  std::string EngineVersion() const { return kEngineVersion; }
  void SetEngineVersion(const std::string&) {}
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& value);
  bool AutoSessionName() const { return FAutoSessionName; }
  // Names the session "<component name>_<number + 1>" with the lowest free number.
  void SetAutoSessionName(bool value);
  int32_t SessionNumber() const { return FSessionNumber; }
  // A new component name renames an auto-named session.
  void SetName(const std::string& name) override;

  // ---- Settings ---------------------------------------------------------------------------------
  TSessionType SessionType() const { return FSessionType; }
  void SetSessionType(TSessionType value);
  bool KeepConnections() const { return FKeepConnections; }
  void SetKeepConnections(bool value) { FKeepConnections = value; }
  const std::string& PrivateDir() const { return FPrivateDir; }
  void SetPrivateDir(const std::string& value);
  uint16_t ProgressSteps() const { return FProgressSteps; }
  // Values above 100 are ignored.
  void SetProgressSteps(uint16_t value);
  bool ForceBufferFlush() const { return FForceBufferFlush; }
  void SetForceBufferFlush(bool value);
  bool StrictChangeDetection() const { return FStrictChangeDetection; }
  void SetStrictChangeDetection(bool value);
  uint8_t LockRetryCount() const { return FLockRetryCount; }
  void SetLockRetryCount(uint8_t value);
  uint16_t LockWaitTime() const { return FLockWaitTime; }
  void SetLockWaitTime(uint16_t value);
  TLockProtocol LockProtocol() const { return FLockProtocol; }
  void SetLockProtocol(TLockProtocol value);

  void SetOnStartup(TSessionEvent handler) { FOnStartup = std::move(handler); }
  void SetOnShutdown(TSessionEvent handler) { FOnShutdown = std::move(handler); }
  void SetOnPassword(TPasswordEvent handler) { FOnPassword = std::move(handler); }

  // ---- Passwords (active session only) --------------------------------------------------------
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();

  // ---- Database objects -----------------------------------------------------------------------
  // Activates the session, finds the database object of that name or creates a temporary one,
  // connects it and counts the acquisition.
  TCairnDatabase& OpenDatabase(const std::string& databaseName);
  // Releases one acquisition; the last one closes the object (a temporary one is freed) unless
  // it keeps its connection.
  void CloseDatabase(TCairnDatabase& database);
  // Names compare without regard to case; a path name (other than "Memory") compares as a path.
  TCairnDatabase* FindDatabase(const std::string& databaseName) const;
  size_t DatabaseCount() const { return FDatabases.size(); }
  TCairnDatabase& GetDatabase(size_t index) const { return *FDatabases.at(index); }

 private:
  friend class TCairnDatabase;
  friend class TCairnEngineInstance;

  TCairnEngineInstance& Engine();
  void StartSession();
  void StopSession();
  void Configure(TDataSession& handle);
  bool AnswerPassword();
  void WriteAutoSessionName();
  // Bookkeeping of the bound database objects.
  void AddDatabase(TCairnDatabase& database);
  void RemoveDatabase(TCairnDatabase& database);
  TCairnDatabase* FindOtherDatabase(const std::string& databaseName,
                                    const TCairnDatabase* except) const;
  // Frees a temporary object through the session that owns it; false when none does.
  bool FreeTemporary(TCairnDatabase& database);

  TDataSession* FHandle = nullptr;
  std::vector<TCairnDatabase*> FDatabases;
  bool FStreamedActive = false;
  bool FKeepConnections = true;
  bool FDefault = false;
  bool FAutoSessionName = false;
  bool FUpdatingAutoSessionName = false;
  std::string FSessionName;
  int32_t FSessionNumber = -1;
  std::string FPrivateDir;
  uint16_t FProgressSteps = 20;
  TSessionEvent FOnStartup;
  TSessionEvent FOnShutdown;
  TPasswordEvent FOnPassword;
  bool FForceBufferFlush = false;
  bool FStrictChangeDetection = false;
  uint8_t FLockRetryCount = 15;
  uint16_t FLockWaitTime = 100;
  TLockProtocol FLockProtocol = lpPessimistic;
  TSessionType FSessionType = stLocal;

  // The settings object this session is registered with; null once that object is gone.
  TCairnEngineInstance* FEngine;
  std::vector<std::unique_ptr<TCairnDatabase>> FTemporaryDatabases;
};

}  // namespace cairn
