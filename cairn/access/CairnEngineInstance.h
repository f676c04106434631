// The process-wide settings object behind every engine component.
//
// It owns the storage engine, keeps the engine settings (each written through to the storage
// engine at once, so an active engine never sees a changed value), the list of sessions and the
// numbers of auto-named sessions. Settings are refused while the engine is active, except
// FilterRecordCounts; writing the value a setting already has is always accepted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/EngineVersion.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/ServerSettings.h"
#include "cairn/engine/io/EngineSettings.h"
#include "cairn/host/System.h"

namespace cairn {

class TCairnSession;

enum TEngineType : uint8_t { etClient, etServer };

class TCairnEngineInstance {
 public:
  using TEngineEvent = std::function<void()>;

  // Creates the storage engine, which becomes the process's engine. Raises std::logic_error when
  // the process already has a storage engine that this object would not own.
  TCairnEngineInstance();
  // Deactivates the engine, frees the sessions it owns (the default session last), detaches the
  // others, and frees the storage engine.
  ~TCairnEngineInstance();
  TCairnEngineInstance(const TCairnEngineInstance&) = delete;
  TCairnEngineInstance& operator=(const TCairnEngineInstance&) = delete;

  TDataEngine& Handle() const { return *FHandle; }

  // ---- Activation -------------------------------------------------------------------------------
  bool Active();
  void SetActive(bool value);
  void SetOnStartup(TEngineEvent handler) { FOnStartup = std::move(handler); }
  void SetOnShutdown(TEngineEvent handler) { FOnShutdown = std::move(handler); }

  // ---- Sessions ---------------------------------------------------------------------------------
  // The first session registered becomes the default session.
  void AddSession(TCairnSession& session);
  void RemoveSession(TCairnSession& session);
  bool HasSession(const TCairnSession& session);
  // Takes a session this object frees when it goes (the default session, OpenSession's).
  void AdoptSession(std::unique_ptr<TCairnSession> session);
  TCairnSession* DefaultSession() const { return FDefaultSession; }
  // An empty name is the default session; otherwise the first session of that name (case
  // ignored), or null.
  TCairnSession* FindSession(const std::string& sessionName);
  TCairnSession& GetSessionByName(const std::string& sessionName);
  // Finds the session or creates one of that name, and activates it.
  TCairnSession& OpenSession(const std::string& sessionName);
  size_t SessionCount();
  // Raises std::out_of_range for an index beyond the list.
  TCairnSession& GetSession(size_t index);
  std::vector<std::string> GetSessionNames();
  // Raises the auto-naming conflicts for a session about to become auto-named.
  void CheckAutoSession(const TCairnSession& session);
  // The lowest free auto-naming number; released again when the name is given up.
  int32_t AcquireSessionNumber();
  void ReleaseSessionNumber(int32_t number);

  // ---- Settings ---------------------------------------------------------------------------------
  TEngineType EngineType() const { return FEngineType; }
  void SetEngineType(TEngineType value);
  const std::string& EngineSignature() const { return FSettings.Signature; }
  void SetEngineSignature(const std::string& value);
  bool LargeFileSupport() const { return FSettings.LargeFileSupport; }
  void SetLargeFileSupport(bool value);
  bool FilterRecordCounts() const { return FFilterRecordCounts; }
  void SetFilterRecordCounts(bool value);
  const std::string& LockFileName() const { return FSettings.LockFileName; }
  void SetLockFileName(const std::string& value);

  int32_t MaxTableDataBufferSize() const { return FSettings.MaxDataBufferSize; }
  void SetMaxTableDataBufferSize(int32_t value);
  int32_t MaxTableDataBufferCount() const { return FSettings.MaxDataBufferCount; }
  void SetMaxTableDataBufferCount(int32_t value);
  int32_t MaxTableIndexBufferSize() const { return FSettings.MaxIndexBufferSize; }
  void SetMaxTableIndexBufferSize(int32_t value);
  int32_t MaxTableIndexBufferCount() const { return FSettings.MaxIndexBufferCount; }
  void SetMaxTableIndexBufferCount(int32_t value);
  int32_t MaxTableBlobBufferSize() const { return FSettings.MaxBlobBufferSize; }
  void SetMaxTableBlobBufferSize(int32_t value);
  int32_t MaxTableBlobBufferCount() const { return FSettings.MaxBlobBufferCount; }
  void SetMaxTableBlobBufferCount(int32_t value);

  // Extensions gain a leading "." when they lack one; an empty one, a lone "." and one holding a
  // path delimiter are refused.
  const std::string& TableDataExtension() const { return FSettings.DataExtension; }
  void SetTableDataExtension(const std::string& value);
  const std::string& TableIndexExtension() const { return FSettings.IndexExtension; }
  void SetTableIndexExtension(const std::string& value);
  const std::string& TableBlobExtension() const { return FSettings.BlobExtension; }
  void SetTableBlobExtension(const std::string& value);
  const std::string& TableDataBackupExtension() const { return FSettings.DataBackupExtension; }
  void SetTableDataBackupExtension(const std::string& value);
  const std::string& TableIndexBackupExtension() const { return FSettings.IndexBackupExtension; }
  void SetTableIndexBackupExtension(const std::string& value);
  const std::string& TableBlobBackupExtension() const { return FSettings.BlobBackupExtension; }
  void SetTableBlobBackupExtension(const std::string& value);
  const std::string& TableDataUpgradeExtension() const { return FSettings.DataUpgradeExtension; }
  void SetTableDataUpgradeExtension(const std::string& value);
  const std::string& TableIndexUpgradeExtension() const { return FSettings.IndexUpgradeExtension; }
  void SetTableIndexUpgradeExtension(const std::string& value);
  const std::string& TableBlobUpgradeExtension() const { return FSettings.BlobUpgradeExtension; }
  void SetTableBlobUpgradeExtension(const std::string& value);
  const std::string& TableDataTempExtension() const { return FSettings.DataTempExtension; }
  void SetTableDataTempExtension(const std::string& value);
  const std::string& TableIndexTempExtension() const { return FSettings.IndexTempExtension; }
  void SetTableIndexTempExtension(const std::string& value);
  const std::string& TableBlobTempExtension() const { return FSettings.BlobTempExtension; }
  void SetTableBlobTempExtension(const std::string& value);

  bool CreateTempTablesInDatabase() const { return FSettings.TempTablesInDataDirectory; }
  void SetCreateTempTablesInDatabase(bool value);
  uint8_t TableFilterIndexThreshhold() const { return FSettings.FilterIndexThreshhold; }
  void SetTableFilterIndexThreshhold(uint8_t value);
  uint16_t TableReadLockWaitTime() const { return FSettings.ReadLockWaitTime; }
  void SetTableReadLockWaitTime(uint16_t value);
  uint16_t TableReadLockRetryCount() const { return FSettings.ReadLockRetries; }
  void SetTableReadLockRetryCount(uint16_t value);
  uint16_t TableWriteLockWaitTime() const { return FSettings.WriteLockWaitTime; }
  void SetTableWriteLockWaitTime(uint16_t value);
  uint16_t TableWriteLockRetryCount() const { return FSettings.WriteLockRetries; }
  void SetTableWriteLockRetryCount(uint16_t value);
  uint16_t TableTransLockWaitTime() const { return FSettings.TransLockWaitTime; }
  void SetTableTransLockWaitTime(uint16_t value);
  uint16_t TableTransLockRetryCount() const { return FSettings.TransLockRetries; }
  void SetTableTransLockRetryCount(uint16_t value);
  uint16_t TableMaxReadLockCount() const { return FSettings.MaxReadLockCount; }
  void SetTableMaxReadLockCount(uint16_t value);

  // Handed to the storage engine on activation; only a server engine uses them.
  const TServerSettings& ServerSettings() const { return FServerSettings; }
  void SetServerSettings(const TServerSettings& value);

 private:
  void Activate();
  void Deactivate();
  // Stores a changed setting and passes it to the storage engine; refused while active.
  template <class T, class Apply>
  void WriteSetting(T& field, const T& value, Apply apply);
  void WriteExtension(std::string& field, const std::string& value,
                      void (TDataEngine::*apply)(std::string));
  void WriteInteger(int32_t& field, int32_t value, int32_t lowest,
                    void (TDataEngine::*apply)(int32_t));
  void WriteWord(uint16_t& field, uint16_t value, void (TDataEngine::*apply)(uint16_t));

  std::unique_ptr<TDataEngine> FHandle;
  host::TCriticalSection FSection;
  TEngineType FEngineType = etClient;
  std::vector<TCairnSession*> FSessions;
  host::TCriticalSection FSessionSection;
  std::vector<bool> FSessionNumbers;
  std::vector<std::unique_ptr<TCairnSession>> FOwnedSessions;
  TCairnSession* FDefaultSession = nullptr;

  // The storage engine's settings as written here; each change reaches the engine at once, the
  // lock file name at activation.
  TEngineSettings FSettings;
  bool FFilterRecordCounts = true;
  TServerSettings FServerSettings;

  TEngineEvent FOnStartup;
  TEngineEvent FOnShutdown;
};

}  // namespace cairn
