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
  const std::string& EngineSignature() const { return FEngineSignature; }
  void SetEngineSignature(const std::string& value);
  bool LargeFileSupport() const { return FLargeFileSupport; }
  void SetLargeFileSupport(bool value);
  bool FilterRecordCounts() const { return FFilterRecordCounts; }
  void SetFilterRecordCounts(bool value);
  const std::string& LockFileName() const { return FLockFileName; }
  void SetLockFileName(const std::string& value);

  int32_t MaxTableDataBufferSize() const { return FMaxTableDataBufferSize; }
  void SetMaxTableDataBufferSize(int32_t value);
  int32_t MaxTableDataBufferCount() const { return FMaxTableDataBufferCount; }
  void SetMaxTableDataBufferCount(int32_t value);
  int32_t MaxTableIndexBufferSize() const { return FMaxTableIndexBufferSize; }
  void SetMaxTableIndexBufferSize(int32_t value);
  int32_t MaxTableIndexBufferCount() const { return FMaxTableIndexBufferCount; }
  void SetMaxTableIndexBufferCount(int32_t value);
  int32_t MaxTableBlobBufferSize() const { return FMaxTableBlobBufferSize; }
  void SetMaxTableBlobBufferSize(int32_t value);
  int32_t MaxTableBlobBufferCount() const { return FMaxTableBlobBufferCount; }
  void SetMaxTableBlobBufferCount(int32_t value);

  // Extensions gain a leading "." when they lack one; an empty one, a lone "." and one holding a
  // path delimiter are refused.
  const std::string& TableDataExtension() const { return FTableDataExtension; }
  void SetTableDataExtension(const std::string& value);
  const std::string& TableIndexExtension() const { return FTableIndexExtension; }
  void SetTableIndexExtension(const std::string& value);
  const std::string& TableBlobExtension() const { return FTableBlobExtension; }
  void SetTableBlobExtension(const std::string& value);
  const std::string& TableDataBackupExtension() const { return FTableDataBackupExtension; }
  void SetTableDataBackupExtension(const std::string& value);
  const std::string& TableIndexBackupExtension() const { return FTableIndexBackupExtension; }
  void SetTableIndexBackupExtension(const std::string& value);
  const std::string& TableBlobBackupExtension() const { return FTableBlobBackupExtension; }
  void SetTableBlobBackupExtension(const std::string& value);
  const std::string& TableDataUpgradeExtension() const { return FTableDataUpgradeExtension; }
  void SetTableDataUpgradeExtension(const std::string& value);
  const std::string& TableIndexUpgradeExtension() const { return FTableIndexUpgradeExtension; }
  void SetTableIndexUpgradeExtension(const std::string& value);
  const std::string& TableBlobUpgradeExtension() const { return FTableBlobUpgradeExtension; }
  void SetTableBlobUpgradeExtension(const std::string& value);
  const std::string& TableDataTempExtension() const { return FTableDataTempExtension; }
  void SetTableDataTempExtension(const std::string& value);
  const std::string& TableIndexTempExtension() const { return FTableIndexTempExtension; }
  void SetTableIndexTempExtension(const std::string& value);
  const std::string& TableBlobTempExtension() const { return FTableBlobTempExtension; }
  void SetTableBlobTempExtension(const std::string& value);

  bool CreateTempTablesInDatabase() const { return FCreateTempTablesInDatabase; }
  void SetCreateTempTablesInDatabase(bool value);
  uint8_t TableFilterIndexThreshhold() const { return FTableFilterIndexThreshhold; }
  void SetTableFilterIndexThreshhold(uint8_t value);
  uint16_t TableReadLockWaitTime() const { return FTableReadLockWaitTime; }
  void SetTableReadLockWaitTime(uint16_t value);
  uint16_t TableReadLockRetryCount() const { return FTableReadLockRetryCount; }
  void SetTableReadLockRetryCount(uint16_t value);
  uint16_t TableWriteLockWaitTime() const { return FTableWriteLockWaitTime; }
  void SetTableWriteLockWaitTime(uint16_t value);
  uint16_t TableWriteLockRetryCount() const { return FTableWriteLockRetryCount; }
  void SetTableWriteLockRetryCount(uint16_t value);
  uint16_t TableTransLockWaitTime() const { return FTableTransLockWaitTime; }
  void SetTableTransLockWaitTime(uint16_t value);
  uint16_t TableTransLockRetryCount() const { return FTableTransLockRetryCount; }
  void SetTableTransLockRetryCount(uint16_t value);
  uint16_t TableMaxReadLockCount() const { return FTableMaxReadLockCount; }
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
  std::string FEngineSignature = kDefaultSignature;
  std::vector<TCairnSession*> FSessions;
  host::TCriticalSection FSessionSection;
  std::vector<bool> FSessionNumbers;
  std::vector<std::unique_ptr<TCairnSession>> FOwnedSessions;
  TCairnSession* FDefaultSession = nullptr;

  bool FLargeFileSupport = false;
  bool FFilterRecordCounts = true;
  std::string FLockFileName = kDefaultLockFileName;
  int32_t FMaxTableDataBufferSize = 32768;
  int32_t FMaxTableDataBufferCount = 8192;
  int32_t FMaxTableIndexBufferSize = 65536;
  int32_t FMaxTableIndexBufferCount = 8192;
  int32_t FMaxTableBlobBufferSize = 32768;
  int32_t FMaxTableBlobBufferCount = 8192;
  std::string FTableDataExtension = ".dat";
  std::string FTableIndexExtension = ".idx";
  std::string FTableBlobExtension = ".blb";
  std::string FTableDataBackupExtension = ".dbk";
  std::string FTableIndexBackupExtension = ".ibk";
  std::string FTableBlobBackupExtension = ".bbk";
  std::string FTableDataUpgradeExtension = ".dup";
  std::string FTableIndexUpgradeExtension = ".iup";
  std::string FTableBlobUpgradeExtension = ".bup";
  std::string FTableDataTempExtension = ".dat";
  std::string FTableIndexTempExtension = ".idx";
  std::string FTableBlobTempExtension = ".blb";
  bool FCreateTempTablesInDatabase = false;
  uint8_t FTableFilterIndexThreshhold = 1;
  uint16_t FTableReadLockWaitTime = 3;
  uint16_t FTableReadLockRetryCount = 32768;
  uint16_t FTableWriteLockWaitTime = 3;
  uint16_t FTableWriteLockRetryCount = 32768;
  uint16_t FTableTransLockWaitTime = 3;
  uint16_t FTableTransLockRetryCount = 32768;
  uint16_t FTableMaxReadLockCount = 100;
  TServerSettings FServerSettings;

  TEngineEvent FOnStartup;
  TEngineEvent FOnShutdown;
};

}  // namespace cairn
