// The engine component and the process's component layer.
//
// TCairnEngine is a facade: every property reads and writes the one settings object,
// TCairnEngineInstance, shared by all engine components. The first engine component creates it
// (and with it the storage engine); destroying the last one destroys it.
//
// The component layer starts on first use with the process's own engine component and the
// default session "Default"; FinalizeComponentLayer ends it, after which the next use starts a
// fresh one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/access/CairnEngineInstance.h"
#include "cairn/access/Component.h"

namespace cairn {

class TCairnSession;

class TCairnEngine : public TComponent {
 public:
  explicit TCairnEngine(TComponent* owner = nullptr);
  ~TCairnEngine() override;

  // ---- Activation -------------------------------------------------------------------------------
  bool Active() const { return Instance().Active(); }
  // While loading only records the value; Loaded applies it.
  void SetActive(bool value);
  void Loaded();
  void SetOnStartup(TCairnEngineInstance::TEngineEvent h) { Instance().SetOnStartup(std::move(h)); }
  void SetOnShutdown(TCairnEngineInstance::TEngineEvent h) {
    Instance().SetOnShutdown(std::move(h));
  }

  // ---- Sessions ---------------------------------------------------------------------------------
  TCairnSession* FindSession(const std::string& name) const { return Instance().FindSession(name); }
  TCairnSession& GetSessionByName(const std::string& name) const {
    return Instance().GetSessionByName(name);
  }
  TCairnSession& OpenSession(const std::string& name) const { return Instance().OpenSession(name); }
  size_t SessionCount() const { return Instance().SessionCount(); }
  TCairnSession& GetSession(size_t index) const { return Instance().GetSession(index); }
  std::vector<std::string> GetSessionNames() const { return Instance().GetSessionNames(); }

  // ---- Settings ---------------------------------------------------------------------------------
  // Read-only; writes are ignored.
  std::string EngineVersion() const { return kEngineVersion; }
  void SetEngineVersion(const std::string&) {}

  TEngineType EngineType() const { return Instance().EngineType(); }
  void SetEngineType(TEngineType v) { Instance().SetEngineType(v); }
  const std::string& EngineSignature() const { return Instance().EngineSignature(); }
  void SetEngineSignature(const std::string& v) { Instance().SetEngineSignature(v); }
  bool LargeFileSupport() const { return Instance().LargeFileSupport(); }
  void SetLargeFileSupport(bool v) { Instance().SetLargeFileSupport(v); }
  bool FilterRecordCounts() const { return Instance().FilterRecordCounts(); }
  void SetFilterRecordCounts(bool v) { Instance().SetFilterRecordCounts(v); }
  const std::string& LockFileName() const { return Instance().LockFileName(); }
  void SetLockFileName(const std::string& v) { Instance().SetLockFileName(v); }

  int32_t MaxTableDataBufferSize() const { return Instance().MaxTableDataBufferSize(); }
  void SetMaxTableDataBufferSize(int32_t v) { Instance().SetMaxTableDataBufferSize(v); }
  int32_t MaxTableDataBufferCount() const { return Instance().MaxTableDataBufferCount(); }
  void SetMaxTableDataBufferCount(int32_t v) { Instance().SetMaxTableDataBufferCount(v); }
  int32_t MaxTableIndexBufferSize() const { return Instance().MaxTableIndexBufferSize(); }
  void SetMaxTableIndexBufferSize(int32_t v) { Instance().SetMaxTableIndexBufferSize(v); }
  int32_t MaxTableIndexBufferCount() const { return Instance().MaxTableIndexBufferCount(); }
  void SetMaxTableIndexBufferCount(int32_t v) { Instance().SetMaxTableIndexBufferCount(v); }
  int32_t MaxTableBlobBufferSize() const { return Instance().MaxTableBlobBufferSize(); }
  void SetMaxTableBlobBufferSize(int32_t v) { Instance().SetMaxTableBlobBufferSize(v); }
  int32_t MaxTableBlobBufferCount() const { return Instance().MaxTableBlobBufferCount(); }
  void SetMaxTableBlobBufferCount(int32_t v) { Instance().SetMaxTableBlobBufferCount(v); }

  const std::string& TableDataExtension() const { return Instance().TableDataExtension(); }
  void SetTableDataExtension(const std::string& v) { Instance().SetTableDataExtension(v); }
  const std::string& TableIndexExtension() const { return Instance().TableIndexExtension(); }
  void SetTableIndexExtension(const std::string& v) { Instance().SetTableIndexExtension(v); }
  const std::string& TableBlobExtension() const { return Instance().TableBlobExtension(); }
  void SetTableBlobExtension(const std::string& v) { Instance().SetTableBlobExtension(v); }
  const std::string& TableDataBackupExtension() const {
    return Instance().TableDataBackupExtension();
  }
  void SetTableDataBackupExtension(const std::string& v) {
    Instance().SetTableDataBackupExtension(v);
  }
  const std::string& TableIndexBackupExtension() const {
    return Instance().TableIndexBackupExtension();
  }
  void SetTableIndexBackupExtension(const std::string& v) {
    Instance().SetTableIndexBackupExtension(v);
  }
  const std::string& TableBlobBackupExtension() const {
    return Instance().TableBlobBackupExtension();
  }
  void SetTableBlobBackupExtension(const std::string& v) {
    Instance().SetTableBlobBackupExtension(v);
  }
  const std::string& TableDataUpgradeExtension() const {
    return Instance().TableDataUpgradeExtension();
  }
  void SetTableDataUpgradeExtension(const std::string& v) {
    Instance().SetTableDataUpgradeExtension(v);
  }
  const std::string& TableIndexUpgradeExtension() const {
    return Instance().TableIndexUpgradeExtension();
  }
  void SetTableIndexUpgradeExtension(const std::string& v) {
    Instance().SetTableIndexUpgradeExtension(v);
  }
  const std::string& TableBlobUpgradeExtension() const {
    return Instance().TableBlobUpgradeExtension();
  }
  void SetTableBlobUpgradeExtension(const std::string& v) {
    Instance().SetTableBlobUpgradeExtension(v);
  }
  const std::string& TableDataTempExtension() const { return Instance().TableDataTempExtension(); }
  void SetTableDataTempExtension(const std::string& v) { Instance().SetTableDataTempExtension(v); }
  const std::string& TableIndexTempExtension() const {
    return Instance().TableIndexTempExtension();
  }
  void SetTableIndexTempExtension(const std::string& v) {
    Instance().SetTableIndexTempExtension(v);
  }
  const std::string& TableBlobTempExtension() const { return Instance().TableBlobTempExtension(); }
  void SetTableBlobTempExtension(const std::string& v) { Instance().SetTableBlobTempExtension(v); }

  bool CreateTempTablesInDatabase() const { return Instance().CreateTempTablesInDatabase(); }
  void SetCreateTempTablesInDatabase(bool v) { Instance().SetCreateTempTablesInDatabase(v); }
  uint8_t TableFilterIndexThreshhold() const { return Instance().TableFilterIndexThreshhold(); }
  void SetTableFilterIndexThreshhold(uint8_t v) { Instance().SetTableFilterIndexThreshhold(v); }
  uint16_t TableReadLockWaitTime() const { return Instance().TableReadLockWaitTime(); }
  void SetTableReadLockWaitTime(uint16_t v) { Instance().SetTableReadLockWaitTime(v); }
  uint16_t TableReadLockRetryCount() const { return Instance().TableReadLockRetryCount(); }
  void SetTableReadLockRetryCount(uint16_t v) { Instance().SetTableReadLockRetryCount(v); }
  uint16_t TableWriteLockWaitTime() const { return Instance().TableWriteLockWaitTime(); }
  void SetTableWriteLockWaitTime(uint16_t v) { Instance().SetTableWriteLockWaitTime(v); }
  uint16_t TableWriteLockRetryCount() const { return Instance().TableWriteLockRetryCount(); }
  void SetTableWriteLockRetryCount(uint16_t v) { Instance().SetTableWriteLockRetryCount(v); }
  uint16_t TableTransLockWaitTime() const { return Instance().TableTransLockWaitTime(); }
  void SetTableTransLockWaitTime(uint16_t v) { Instance().SetTableTransLockWaitTime(v); }
  uint16_t TableTransLockRetryCount() const { return Instance().TableTransLockRetryCount(); }
  void SetTableTransLockRetryCount(uint16_t v) { Instance().SetTableTransLockRetryCount(v); }
  uint16_t TableMaxReadLockCount() const { return Instance().TableMaxReadLockCount(); }
  void SetTableMaxReadLockCount(uint16_t v) { Instance().SetTableMaxReadLockCount(v); }

  const TServerSettings& ServerSettings() const { return Instance().ServerSettings(); }
  void SetServerSettings(const TServerSettings& v) { Instance().SetServerSettings(v); }

 private:
  static TCairnEngineInstance& Instance();

  bool FStreamedActive = false;
};

// The process's engine component; starts the component layer on first use.
TCairnEngine& CairnEngine();
// The settings object shared by every engine component; starts the component layer on first use.
TCairnEngineInstance& CairnEngineInstance();
// The process's default session "Default"; starts the component layer on first use.
TCairnSession& DefaultSession();
// Destroys the process's engine component. When no other engine component is left, this
// deactivates the engine and frees the default session, every session it created and the storage
// engine; sessions and database objects owned elsewhere are left unbound.
void FinalizeComponentLayer();

}  // namespace cairn
