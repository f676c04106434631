#include "cairn/access/CairnEngineInstance.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "cairn/access/CairnSession.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/host/CodePage.h"

namespace cairn {

namespace {

bool SameServerSettings(const TServerSettings& a, const TServerSettings& b) {
  return a.Name == b.Name && a.Description == b.Description && a.MainAddress == b.MainAddress &&
         a.MainPort == b.MainPort && a.MainThreadCacheSize == b.MainThreadCacheSize &&
         a.AdminAddress == b.AdminAddress && a.AdminPort == b.AdminPort &&
         a.AdminThreadCacheSize == b.AdminThreadCacheSize && a.EncryptedOnly == b.EncryptedOnly &&
         a.EncryptionPassword == b.EncryptionPassword && a.ConfigFileName == b.ConfigFileName &&
         a.ConfigPassword == b.ConfigPassword;
}

// The storage engine takes 8-bit strings.
TServerSettings ToAnsi(const TServerSettings& settings) {
  TServerSettings out = settings;
  for (std::string* s : {&out.Name, &out.Description, &out.MainAddress, &out.AdminAddress,
                         &out.EncryptionPassword, &out.ConfigFileName, &out.ConfigPassword})
    *s = host::Utf8ToAnsi(*s);
  return out;
}

}  // namespace

TCairnEngineInstance::TCairnEngineInstance() : FHandle(std::make_unique<TDataEngine>()) {
  // The process has one storage engine, the one the component layer configures: it must be ours.
  if (&DataEngine() != FHandle.get())
    throw std::logic_error("The process already has a storage engine");
}

TCairnEngineInstance::~TCairnEngineInstance() {
  try {
    SetActive(false);
  } catch (...) {
    // Nothing can be reported from here; the sessions are down all the same, and the storage
    // engine frees what is left when it goes.
  }
  // Back to front: the default session, registered first, goes last, so sessions freed before it
  // can hand their database objects over to it.
  for (;;) {
    TCairnSession* session;
    {
      std::lock_guard lock(FSessionSection);
      if (FSessions.empty()) break;
      session = FSessions.back();
      FSessions.pop_back();
    }
    auto owned = std::find_if(FOwnedSessions.begin(), FOwnedSessions.end(),
                              [&](const auto& s) { return s.get() == session; });
    if (owned == FOwnedSessions.end()) {
      session->FEngine = nullptr;  // its owner frees it later
      continue;
    }
    std::unique_ptr<TCairnSession> doomed = std::move(*owned);
    FOwnedSessions.erase(owned);
  }
  FOwnedSessions.clear();
  FHandle.reset();
}

// ---- Activation ---------------------------------------------------------------------------------

bool TCairnEngineInstance::Active() {
  std::lock_guard lock(FSection);
  return FHandle->Initialized();
}

void TCairnEngineInstance::SetActive(bool value) {
  std::lock_guard lock(FSection);
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

void TCairnEngineInstance::Activate() {
  if (FHandle->Initialized()) return;
  if (FEngineType == etServer) DatabaseError(SServerNotAvailable);
  if (FOnStartup) FOnStartup();
  FHandle->Initialize(host::Utf8ToAnsi(FSettings.LockFileName), ToAnsi(FServerSettings));
  // A client engine starts neither the administration nor the main server.
}

void TCairnEngineInstance::Deactivate() {
  if (!FHandle->Initialized()) return;
  // Every session goes down and the storage engine is reset even when one fails; the first
  // failure is reported afterwards.
  std::exception_ptr failure;
  {
    std::lock_guard lock(FSessionSection);
    // Deactivating a session may free temporary database objects but never sessions.
    for (size_t i = FSessions.size(); i-- > 0;) {
      try {
        FSessions[i]->Close();
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  FHandle->Reset();
  if (FOnShutdown) FOnShutdown();
  if (failure) std::rethrow_exception(failure);
}

// ---- Sessions
// -------------------------------------------------------------------------------------

void TCairnEngineInstance::AddSession(TCairnSession& session) {
  std::lock_guard lock(FSessionSection);
  if (std::find(FSessions.begin(), FSessions.end(), &session) != FSessions.end()) return;
  if (FSessions.empty() && FDefaultSession == nullptr) {
    session.FDefault = true;
    FDefaultSession = &session;
  }
  FSessions.push_back(&session);
}

void TCairnEngineInstance::RemoveSession(TCairnSession& session) {
  std::lock_guard lock(FSessionSection);
  FSessions.erase(std::remove(FSessions.begin(), FSessions.end(), &session), FSessions.end());
  if (FDefaultSession == &session) FDefaultSession = nullptr;
}

bool TCairnEngineInstance::HasSession(const TCairnSession& session) {
  std::lock_guard lock(FSessionSection);
  return std::find(FSessions.begin(), FSessions.end(), &session) != FSessions.end();
}

void TCairnEngineInstance::AdoptSession(std::unique_ptr<TCairnSession> session) {
  std::lock_guard lock(FSessionSection);
  FOwnedSessions.push_back(std::move(session));
}

TCairnSession* TCairnEngineInstance::FindSession(const std::string& sessionName) {
  std::lock_guard lock(FSessionSection);
  if (sessionName.empty()) return FDefaultSession;
  std::string wanted = host::Utf8ToAnsi(sessionName);
  for (TCairnSession* session : FSessions)
    if (host::AnsiSameText(host::Utf8ToAnsi(session->SessionName()), wanted)) return session;
  return nullptr;
}

TCairnSession& TCairnEngineInstance::GetSessionByName(const std::string& sessionName) {
  TCairnSession* session = FindSession(sessionName);
  if (session == nullptr) DatabaseErrorFmt(SInvalidSessionName, {sessionName});
  return *session;
}

TCairnSession& TCairnEngineInstance::OpenSession(const std::string& sessionName) {
  TCairnSession* session = FindSession(sessionName);
  if (session == nullptr) {
    auto created = std::make_unique<TCairnSession>(nullptr, *this);
    created->SetSessionName(sessionName);
    session = created.get();
    AdoptSession(std::move(created));
  }
  session->Open();
  return *session;
}

size_t TCairnEngineInstance::SessionCount() {
  std::lock_guard lock(FSessionSection);
  return FSessions.size();
}

TCairnSession& TCairnEngineInstance::GetSession(size_t index) {
  std::lock_guard lock(FSessionSection);
  return *FSessions.at(index);
}

std::vector<std::string> TCairnEngineInstance::GetSessionNames() {
  std::lock_guard lock(FSessionSection);
  std::vector<std::string> names;
  for (TCairnSession* session : FSessions) names.push_back(session->SessionName());
  return names;
}

void TCairnEngineInstance::CheckAutoSession(const TCairnSession& session) {
  // Sessions without an owner share none.
  if (session.Owner() == nullptr) return;
  std::lock_guard lock(FSessionSection);
  auto sharesOwner = [&](const TCairnSession* other) {
    return other != &session && other->Owner() == session.Owner();
  };
  for (TCairnSession* other : FSessions)
    if (sharesOwner(other) && other->AutoSessionName()) DatabaseError(SAutoSessionExists, &session);
  for (TCairnSession* other : FSessions)
    if (sharesOwner(other)) DatabaseError(SAutoSessionExclusive, &session);
}

int32_t TCairnEngineInstance::AcquireSessionNumber() {
  std::lock_guard lock(FSessionSection);
  auto free = std::find(FSessionNumbers.begin(), FSessionNumbers.end(), false);
  size_t number = static_cast<size_t>(free - FSessionNumbers.begin());
  if (free == FSessionNumbers.end()) FSessionNumbers.push_back(false);
  FSessionNumbers[number] = true;
  return static_cast<int32_t>(number);
}

void TCairnEngineInstance::ReleaseSessionNumber(int32_t number) {
  std::lock_guard lock(FSessionSection);
  if (number >= 0 && static_cast<size_t>(number) < FSessionNumbers.size())
    FSessionNumbers[number] = false;
}

// ---- Settings
// -------------------------------------------------------------------------------------

template <class T, class Apply>
void TCairnEngineInstance::WriteSetting(T& field, const T& value, Apply apply) {
  std::lock_guard lock(FSection);
  if (field == value) return;
  if (FHandle->Initialized()) DatabaseError(SEngineActive);
  field = value;
  apply(*FHandle, value);
}

void TCairnEngineInstance::WriteExtension(std::string& field, const std::string& value,
                                          void (TDataEngine::*apply)(std::string)) {
  std::string extension = !value.empty() && value[0] == '.' ? value : "." + value;
  // A file name is the table name followed by the extension: it must name a file beside it.
  if (extension == "." || extension.find(host::kPathDelimiter) != std::string::npos)
    DatabaseErrorFmt(SInvalidExtension, {value});
  WriteSetting(field, extension,
               [&](TDataEngine& e, const std::string& v) { (e.*apply)(host::Utf8ToAnsi(v)); });
}

void TCairnEngineInstance::WriteInteger(int32_t& field, int32_t value, int32_t lowest,
                                        void (TDataEngine::*apply)(int32_t)) {
  WriteSetting(field, std::max(value, lowest), [&](TDataEngine& e, int32_t v) { (e.*apply)(v); });
}

void TCairnEngineInstance::WriteWord(uint16_t& field, uint16_t value,
                                     void (TDataEngine::*apply)(uint16_t)) {
  WriteSetting(field, value, [&](TDataEngine& e, uint16_t v) { (e.*apply)(v); });
}

void TCairnEngineInstance::SetEngineType(TEngineType value) {
  WriteSetting(FEngineType, value,
               [](TDataEngine& e, TEngineType v) { e.SetIsServer(v == etServer); });
}

void TCairnEngineInstance::SetEngineSignature(const std::string& value) {
  WriteSetting(FSettings.Signature, value,
               [](TDataEngine& e, const std::string& v) { e.SetSignature(host::Utf8ToAnsi(v)); });
}

void TCairnEngineInstance::SetLargeFileSupport(bool value) {
  WriteSetting(FSettings.LargeFileSupport, value,
               [](TDataEngine& e, bool v) { e.SetLargeFileSupport(v); });
}

void TCairnEngineInstance::SetFilterRecordCounts(bool value) {
  std::lock_guard lock(FSection);
  FFilterRecordCounts = value;
}

void TCairnEngineInstance::SetLockFileName(const std::string& value) {
  // Given to the storage engine on activation.
  WriteSetting(FSettings.LockFileName, value, [](TDataEngine&, const std::string&) {});
}

void TCairnEngineInstance::SetMaxTableDataBufferSize(int32_t value) {
  WriteInteger(FSettings.MaxDataBufferSize, value, 8192, &TDataEngine::SetMaxDataBufferSize);
}
void TCairnEngineInstance::SetMaxTableDataBufferCount(int32_t value) {
  WriteInteger(FSettings.MaxDataBufferCount, value, 16, &TDataEngine::SetMaxDataBufferCount);
}
void TCairnEngineInstance::SetMaxTableIndexBufferSize(int32_t value) {
  WriteInteger(FSettings.MaxIndexBufferSize, value, 32768, &TDataEngine::SetMaxIndexBufferSize);
}
void TCairnEngineInstance::SetMaxTableIndexBufferCount(int32_t value) {
  WriteInteger(FSettings.MaxIndexBufferCount, value, 8, &TDataEngine::SetMaxIndexBufferCount);
}
void TCairnEngineInstance::SetMaxTableBlobBufferSize(int32_t value) {
  WriteInteger(FSettings.MaxBlobBufferSize, value, 8192, &TDataEngine::SetMaxBlobBufferSize);
}
void TCairnEngineInstance::SetMaxTableBlobBufferCount(int32_t value) {
  WriteInteger(FSettings.MaxBlobBufferCount, value, 32, &TDataEngine::SetMaxBlobBufferCount);
}

void TCairnEngineInstance::SetTableDataExtension(const std::string& value) {
  WriteExtension(FSettings.DataExtension, value, &TDataEngine::SetDataExtension);
}
void TCairnEngineInstance::SetTableIndexExtension(const std::string& value) {
  WriteExtension(FSettings.IndexExtension, value, &TDataEngine::SetIndexExtension);
}
void TCairnEngineInstance::SetTableBlobExtension(const std::string& value) {
  WriteExtension(FSettings.BlobExtension, value, &TDataEngine::SetBlobExtension);
}
void TCairnEngineInstance::SetTableDataBackupExtension(const std::string& value) {
  WriteExtension(FSettings.DataBackupExtension, value, &TDataEngine::SetDataBackupExtension);
}
void TCairnEngineInstance::SetTableIndexBackupExtension(const std::string& value) {
  WriteExtension(FSettings.IndexBackupExtension, value, &TDataEngine::SetIndexBackupExtension);
}
void TCairnEngineInstance::SetTableBlobBackupExtension(const std::string& value) {
  WriteExtension(FSettings.BlobBackupExtension, value, &TDataEngine::SetBlobBackupExtension);
}
void TCairnEngineInstance::SetTableDataUpgradeExtension(const std::string& value) {
  WriteExtension(FSettings.DataUpgradeExtension, value, &TDataEngine::SetDataUpgradeExtension);
}
void TCairnEngineInstance::SetTableIndexUpgradeExtension(const std::string& value) {
  WriteExtension(FSettings.IndexUpgradeExtension, value, &TDataEngine::SetIndexUpgradeExtension);
}
void TCairnEngineInstance::SetTableBlobUpgradeExtension(const std::string& value) {
  WriteExtension(FSettings.BlobUpgradeExtension, value, &TDataEngine::SetBlobUpgradeExtension);
}
void TCairnEngineInstance::SetTableDataTempExtension(const std::string& value) {
  WriteExtension(FSettings.DataTempExtension, value, &TDataEngine::SetDataTempExtension);
}
void TCairnEngineInstance::SetTableIndexTempExtension(const std::string& value) {
  WriteExtension(FSettings.IndexTempExtension, value, &TDataEngine::SetIndexTempExtension);
}
void TCairnEngineInstance::SetTableBlobTempExtension(const std::string& value) {
  WriteExtension(FSettings.BlobTempExtension, value, &TDataEngine::SetBlobTempExtension);
}

void TCairnEngineInstance::SetCreateTempTablesInDatabase(bool value) {
  WriteSetting(FSettings.TempTablesInDataDirectory, value,
               [](TDataEngine& e, bool v) { e.SetTempTablesInDataDirectory(v); });
}

void TCairnEngineInstance::SetTableFilterIndexThreshhold(uint8_t value) {
  if (value > 100) return;
  WriteSetting(FSettings.FilterIndexThreshhold, value,
               [](TDataEngine& e, uint8_t v) { e.SetFilterIndexThreshhold(v); });
}

void TCairnEngineInstance::SetTableReadLockWaitTime(uint16_t value) {
  WriteWord(FSettings.ReadLockWaitTime, value, &TDataEngine::SetReadLockWaitTime);
}
void TCairnEngineInstance::SetTableReadLockRetryCount(uint16_t value) {
  WriteWord(FSettings.ReadLockRetries, value, &TDataEngine::SetReadLockRetries);
}
void TCairnEngineInstance::SetTableWriteLockWaitTime(uint16_t value) {
  WriteWord(FSettings.WriteLockWaitTime, value, &TDataEngine::SetWriteLockWaitTime);
}
void TCairnEngineInstance::SetTableWriteLockRetryCount(uint16_t value) {
  WriteWord(FSettings.WriteLockRetries, value, &TDataEngine::SetWriteLockRetries);
}
void TCairnEngineInstance::SetTableTransLockWaitTime(uint16_t value) {
  WriteWord(FSettings.TransLockWaitTime, value, &TDataEngine::SetTransLockWaitTime);
}
void TCairnEngineInstance::SetTableTransLockRetryCount(uint16_t value) {
  WriteWord(FSettings.TransLockRetries, value, &TDataEngine::SetTransLockRetries);
}

void TCairnEngineInstance::SetTableMaxReadLockCount(uint16_t value) {
  if (value == 0) return;
  WriteWord(FSettings.MaxReadLockCount, value, &TDataEngine::SetMaxReadLockCount);
}

void TCairnEngineInstance::SetServerSettings(const TServerSettings& value) {
  std::lock_guard lock(FSection);
  if (SameServerSettings(FServerSettings, value)) return;
  if (FHandle->Initialized()) DatabaseError(SEngineActive);
  FServerSettings = value;
}

}  // namespace cairn
