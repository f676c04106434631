// A session: the unit of work of one user of the engine.
//
// It holds the settings the lower layers read (lock retries and wait, forced OS flushing, strict
// change detection), the table passwords it knows, its private directory and the database
// directories it has opened. The engine owns its sessions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataPassword.h"
#include "cairn/engine/directory/DirectorySession.h"
#include "cairn/host/System.h"

namespace cairn {

class TDataDirectory;

enum TLockProtocol : uint8_t { lpPessimistic = 0, lpOptimistic = 1 };

class TDataSession : public TDirectorySession {
 public:
  // Asked when an encrypted table matches none of the known passwords; the callback may add
  // passwords and answers whether to try again.
  using TPasswordCallback = std::function<bool(TDataSession&)>;
  // Told the progress of long operations, in percent.
  using TProgressCallback = std::function<void(int percentDone)>;

  explicit TDataSession(TDataEngine& engine);
  ~TDataSession() override;
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  TDataEngine& Engine() const override { return FDataEngine; }

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  // The stored directory, or, when none is stored, the current directory; always ending in "/".
  std::string PrivateDirectory() const;
  // Stores the value trimmed and ending in "/"; an empty value clears it.
  void SetPrivateDirectory(const std::string& directory);

  uint16_t Progress() const { return FProgress; }
  void SetProgress(uint16_t progress) { FProgress = progress; }
  // The progress step as the share of the whole it stands for: 100 / Progress, 100 when 0.
  int ProgressPercent() const { return FProgress == 0 ? 100 : 100 / FProgress; }
  void SetProgressCallback(TProgressCallback callback) { FOnProgress = std::move(callback); }
  const TProgressCallback& ProgressCallback() const { return FOnProgress; }

  bool ForceBufferFlush() const override { return FForceBufferFlush; }
  void SetForceBufferFlush(bool value) { FForceBufferFlush = value; }
  bool StrictChangeDetection() const override { return FStrictChangeDetection; }
  void SetStrictChangeDetection(bool value) { FStrictChangeDetection = value; }
  uint8_t LockRetries() const override { return FLockRetries; }
  void SetLockRetries(uint8_t value) { FLockRetries = value; }
  uint16_t LockWait() const override { return FLockWait; }
  void SetLockWait(uint16_t value) { FLockWait = value; }
  TLockProtocol LockProtocol() const { return FLockProtocol; }
  void SetLockProtocol(TLockProtocol value) { FLockProtocol = value; }
  bool IsRemote() const { return FIsRemote; }
  void SetIsRemote(bool value) { FIsRemote = value; }
  bool InsideEngine() const { return FInsideEngine; }
  void SetInsideEngine(bool value) { FInsideEngine = value; }
  host::TCriticalSection& SessionLock() { return FSessionLock; }

  // ---- Passwords ------------------------------------------------------------------------------
  // Adds a password; an empty text and a text already known (case-sensitive) are ignored.
  void AddPassword(const std::string& password) override;
  void DeletePassword(const std::string& password);
  void DeleteAllPasswords();
  // Whether a known password opens a table that stores this check value.
  bool CheckForPassword(const TMD5Digest& checkValue) const;
  // The known password that opens such a table, or null.
  TDataPassword* GetDataPassword(const TMD5Digest& checkValue) const override;
  // The known password with exactly this text, or null.
  TDataPassword* FindPassword(const std::string& password) const override;
  size_t PasswordCount() const { return FPasswordList.size(); }
  // Asks the password callback for more passwords; answers whether to try again. Without a
  // callback there is nobody to ask and the answer is no.
  bool AskForPassword() override;
  void SetPasswordCallback(TPasswordCallback callback) { FOnPassword = std::move(callback); }

  // ---- Database directories -------------------------------------------------------------------
  // Opens a local database directory, or reuses the one of this session with the same path
  // (compared without regard to case; the name too when compareNames), adding a user. For the
  // name "Memory" the path is the given one or empty (the in-memory database); otherwise the
  // given path, or the current directory when none is given; either way trimmed and ending in
  // "/". A directory that is missing or cannot be written opens read-only, without an error.
  TDataDirectory& OpenDataDirectory(const std::string& dataDirectoryName,
                                    const std::string& dataDirectoryPath, bool keepSharedTablesOpen,
                                    bool noRemoteCall, bool compareNames);
  // Drops a user of the directory; the last one removes and frees it, closing its lock file.
  // Ignored for a directory that has no users left.
  void CloseDataDirectory(TDataDirectory& directory, bool noRemoteCall);
  bool HasOpenDirectories() const { return !FDataDirectories.empty(); }
  size_t DataDirectoryCount() const { return FDataDirectories.size(); }
  // The path of the in-memory database: it has none, its files live in the engine's memory.
  std::string DoGetPath() const { return std::string(); }

  // Opening a directory's lock file is tried this many times (at least once), this many
  // milliseconds apart, while another process holds it.
  int LockFileOpenAttempts() const override { return FLockFileOpenAttempts; }
  void SetLockFileOpenAttempts(int value) { FLockFileOpenAttempts = value; }
  uint16_t LockFileOpenWait() const override { return FLockFileOpenWait; }
  void SetLockFileOpenWait(uint16_t value) { FLockFileOpenWait = value; }

  // ---- Remote client settings (not used by a local session) -----------------------------------
  bool Ping() const { return FPing; }
  int32_t PingInterval() const { return FPingInterval; }
  int32_t RemoteID() const { return FRemoteID; }
  bool IsEncrypted() const { return FIsEncrypted; }
  const std::string& EncryptPassword() const { return FEncryptPassword; }
  uint8_t Compression() const { return FCompression; }
  int32_t TimeOut() const { return FTimeOut; }
  const std::string& Address() const { return FAddress; }
  int32_t Port() const { return FPort; }

 private:
  TDataEngine& FDataEngine;
  std::string FName;
  std::string FPrivateDirectory;
  uint16_t FProgress = 20;
  std::vector<std::unique_ptr<TDataPassword>> FPasswordList;
  bool FForceBufferFlush = false;
  bool FStrictChangeDetection = false;
  uint8_t FLockRetries = 15;
  uint16_t FLockWait = 100;
  TLockProtocol FLockProtocol = lpPessimistic;
  bool FIsRemote = false;
  bool FInsideEngine = false;
  host::TCriticalSection FSessionLock;
  TPasswordCallback FOnPassword;
  TProgressCallback FOnProgress;
  std::vector<std::unique_ptr<TDataDirectory>> FDataDirectories;
  int FLockFileOpenAttempts = 11;
  uint16_t FLockFileOpenWait = 100;

  bool FPing = false;
  int32_t FPingInterval = 60;
  int32_t FRemoteID = 0;
  bool FIsEncrypted = false;
  std::string FEncryptPassword;
  uint8_t FCompression = 0;
  int32_t FTimeOut = 300;
  std::string FAddress = "127.0.0.1";
  int32_t FPort = 12005;
};

}  // namespace cairn
