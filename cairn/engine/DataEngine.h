// The storage engine: one TDataEngine per process.
//
// It owns what all sessions share: the engine settings (file extensions, buffer limits, lock
// retries, file-size limits), the lock geometry, the engine signature and its digest, the locale
// list, the registry of open files, the compression and encryption hooks, and the raising of
// engine errors. The rooms below it see it only as TEngineServices, handed down by their owners.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/ServerSettings.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Compression.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/EngineSettings.h"
#include "cairn/engine/io/FileVersion.h"
#include "cairn/engine/io/LockGeometry.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/System.h"

namespace cairn {

class TDataLocale;
class TDataSession;
class TFileRegistry;

// Custom SQL functions an engine can hold.
inline constexpr int32_t kMaxFunctionCount = 1023;

class TDataEngine : public TEngineServices {
 public:
  // Replaces the built-in zlib compression; answers false (or throws) on failure.
  using TCompressHook =
      std::function<bool(std::string_view input, int level, std::vector<char>& output)>;
  using TDecompressHook = std::function<bool(std::string_view input, std::vector<char>& output)>;
  // Replaces the built-in Blowfish key set-up.
  using TCryptoInitHook = std::function<std::unique_ptr<TCipher>(const void* key, size_t length)>;
  // Fills the custom SQL function definitions at Initialize; answers how many there are.
  using TGetFunctionsHook = std::function<int32_t()>;

  TDataEngine();
  ~TDataEngine() override;
  TDataEngine(const TDataEngine&) = delete;
  TDataEngine& operator=(const TDataEngine&) = delete;

  // ---- Life cycle ----------------------------------------------------------------------------
  // Fills the locale list, reseeds the lock-slot generator, takes the lock file name (an empty
  // name keeps the current one), fixes the size limits and the lock geometry from
  // LargeFileSupport and asks the get-functions hook for the custom functions. This build has no
  // database server: an engine set to IsServer is refused with std::runtime_error before
  // anything changes.
  void Initialize(const std::string& lockFileName = kDefaultLockFileName,
                  const TServerSettings& serverSettings = {});
  // Frees every session, then every file still registered, the custom functions and the
  // locales.
  void Reset();
  bool Initialized() const { return FInitialized; }
  bool IsServer() const { return FIsServer; }
  void SetIsServer(bool value) { FIsServer = value; }
  bool IsWindows95() const { return FIsWindows95; }
  const TServerSettings& ServerSettings() const { return FServerSettings; }

  // ---- Sessions -------------------------------------------------------------------------------
  // The engine owns its sessions; a closed session is freed at once.
  TDataSession& StartDataSession();
  void CloseDataSession(TDataSession& session);
  size_t SessionCount();

  // ---- Errors ---------------------------------------------------------------------------------
  // RaiseError raises ECairnEngineError for a code with the given context names (database,
  // table, field, index, ...); the pending operating-system error number is carried into the
  // error. Never returns.
  using TEngineServices::RaiseError;
  // Maps a Windows error number onto an engine code (CAIRN_OSENOENT ... CAIRN_OSUNKNOWN), records
  // it as pending for the next RaiseError and returns it.
  int32_t OSError(int windowsError) override;
  // The code of an engine error; CAIRN_OSUNKNOWN for any other exception.
  static uint16_t ConvertExceptionToCode(const std::exception& error);
  // The message text of a code, filled from the last-error record, at most 254 characters.
  std::string GetErrorString(uint16_t errorCode);
  std::string TranslateErrorConstant(uint16_t errorCode) const;
  // A copy of the last-error record.
  TEngineErrorContext LastError();

  // ---- Host ---------------------------------------------------------------------------------
  // The file and lock primitives; the POSIX implementation unless a test replaced them.
  host::THostFiles& HostFiles() const override { return *FHostFiles; }
  // Null restores the POSIX implementation.
  void SetHostFiles(host::THostFiles* files);
  // Pseudo-random lock slots, reseeded by Initialize.
  host::TRandomSlots& RandomSlots() override { return FRandomSlots; }

  // ---- File registry: one base file per name per process, shared by all openers ---------------
  TFileRegistry& FileRegistry() const override { return *FFileRegistry; }

  // ---- File names, versions and signature ---------------------------------------------------
  // The file name of a table: the trimmed name with a trailing data extension (any letter case)
  // replaced by the wanted extension, or the wanted extension appended.
  std::string TableFileName(std::string_view tableName, std::string_view extension) const;
  // The directory path (ending in "/") followed by the table's file name.
  std::string TableFilePath(std::string_view directoryPath, std::string_view tableName,
                            std::string_view extension) const override;
  static bool ValidVersion(uint8_t version) { return ValidFileVersion(version); }
  static std::string VersionToStr(uint8_t version);

  const std::string& Signature() const { return FSettings.Signature; }
  void SetSignature(const std::string& signature);
  const TMD5Digest& SignatureDigest() const override { return FSignatureDigest; }
  // Whether a table file header's signature belongs to this engine: the digest of its signature
  // or of the default one.
  bool IsAcceptedSignature(const TMD5Digest& fileSignature) const override;

  // ---- Extensions -----------------------------------------------------------------------------
  const std::string& DataExtension() const { return FSettings.DataExtension; }
  void SetDataExtension(std::string value) { FSettings.DataExtension = std::move(value); }
  const std::string& IndexExtension() const { return FSettings.IndexExtension; }
  void SetIndexExtension(std::string value) { FSettings.IndexExtension = std::move(value); }
  const std::string& BlobExtension() const { return FSettings.BlobExtension; }
  void SetBlobExtension(std::string value) { FSettings.BlobExtension = std::move(value); }
  const std::string& DataBackupExtension() const { return FSettings.DataBackupExtension; }
  void SetDataBackupExtension(std::string value) {
    FSettings.DataBackupExtension = std::move(value);
  }
  const std::string& IndexBackupExtension() const { return FSettings.IndexBackupExtension; }
  void SetIndexBackupExtension(std::string value) {
    FSettings.IndexBackupExtension = std::move(value);
  }
  const std::string& BlobBackupExtension() const { return FSettings.BlobBackupExtension; }
  void SetBlobBackupExtension(std::string value) {
    FSettings.BlobBackupExtension = std::move(value);
  }
  const std::string& DataUpgradeExtension() const { return FSettings.DataUpgradeExtension; }
  void SetDataUpgradeExtension(std::string value) {
    FSettings.DataUpgradeExtension = std::move(value);
  }
  const std::string& IndexUpgradeExtension() const { return FSettings.IndexUpgradeExtension; }
  void SetIndexUpgradeExtension(std::string value) {
    FSettings.IndexUpgradeExtension = std::move(value);
  }
  const std::string& BlobUpgradeExtension() const { return FSettings.BlobUpgradeExtension; }
  void SetBlobUpgradeExtension(std::string value) {
    FSettings.BlobUpgradeExtension = std::move(value);
  }
  const std::string& DataTempExtension() const { return FSettings.DataTempExtension; }
  void SetDataTempExtension(std::string value) { FSettings.DataTempExtension = std::move(value); }
  const std::string& IndexTempExtension() const { return FSettings.IndexTempExtension; }
  void SetIndexTempExtension(std::string value) { FSettings.IndexTempExtension = std::move(value); }
  const std::string& BlobTempExtension() const { return FSettings.BlobTempExtension; }
  void SetBlobTempExtension(std::string value) { FSettings.BlobTempExtension = std::move(value); }

  // ---- Settings -------------------------------------------------------------------------------
  const TEngineSettings& Settings() const override { return FSettings; }
  // The size limits follow LargeFileSupport, which takes effect at Initialize.
  int64_t MaximumFileSize() const override { return FMaximumFileSize; }
  int32_t MaximumNumRecords() const override { return FMaximumNumRecords; }
  bool LargeFileSupport() const { return FSettings.LargeFileSupport; }
  void SetLargeFileSupport(bool value) { FSettings.LargeFileSupport = value; }
  const std::string& LockFileName() const { return FSettings.LockFileName; }
  void SetLockFileName(std::string value) { FSettings.LockFileName = std::move(value); }
  bool TempTablesInDataDirectory() const { return FSettings.TempTablesInDataDirectory; }
  void SetTempTablesInDataDirectory(bool value) { FSettings.TempTablesInDataDirectory = value; }

  int32_t MaxDataBufferSize() const { return FSettings.MaxDataBufferSize; }
  void SetMaxDataBufferSize(int32_t value) { FSettings.MaxDataBufferSize = value; }
  int32_t MaxDataBufferCount() const { return FSettings.MaxDataBufferCount; }
  void SetMaxDataBufferCount(int32_t value) { FSettings.MaxDataBufferCount = value; }
  int32_t MaxIndexBufferSize() const { return FSettings.MaxIndexBufferSize; }
  void SetMaxIndexBufferSize(int32_t value) { FSettings.MaxIndexBufferSize = value; }
  int32_t MaxIndexBufferCount() const { return FSettings.MaxIndexBufferCount; }
  void SetMaxIndexBufferCount(int32_t value) { FSettings.MaxIndexBufferCount = value; }
  int32_t MaxBlobBufferSize() const { return FSettings.MaxBlobBufferSize; }
  void SetMaxBlobBufferSize(int32_t value) { FSettings.MaxBlobBufferSize = value; }
  int32_t MaxBlobBufferCount() const { return FSettings.MaxBlobBufferCount; }
  void SetMaxBlobBufferCount(int32_t value) { FSettings.MaxBlobBufferCount = value; }
  uint8_t FilterIndexThreshhold() const { return FSettings.FilterIndexThreshhold; }
  void SetFilterIndexThreshhold(uint8_t value) { FSettings.FilterIndexThreshhold = value; }

  uint16_t ReadLockWaitTime() const { return FSettings.ReadLockWaitTime; }
  void SetReadLockWaitTime(uint16_t value) { FSettings.ReadLockWaitTime = value; }
  uint16_t ReadLockRetries() const { return FSettings.ReadLockRetries; }
  void SetReadLockRetries(uint16_t value) { FSettings.ReadLockRetries = value; }
  uint16_t WriteLockWaitTime() const { return FSettings.WriteLockWaitTime; }
  void SetWriteLockWaitTime(uint16_t value) { FSettings.WriteLockWaitTime = value; }
  uint16_t WriteLockRetries() const { return FSettings.WriteLockRetries; }
  void SetWriteLockRetries(uint16_t value) { FSettings.WriteLockRetries = value; }
  uint16_t TransLockWaitTime() const { return FSettings.TransLockWaitTime; }
  void SetTransLockWaitTime(uint16_t value) { FSettings.TransLockWaitTime = value; }
  uint16_t TransLockRetries() const { return FSettings.TransLockRetries; }
  void SetTransLockRetries(uint16_t value) { FSettings.TransLockRetries = value; }
  uint16_t MaxReadLockCount() const { return FSettings.MaxReadLockCount; }
  void SetMaxReadLockCount(uint16_t value) { FSettings.MaxReadLockCount = value; }

  // ---- Lock geometry (fixed by Initialize) ----------------------------------------------------
  const TLockGeometry& LockGeometry() const override { return FLockGeometry; }

  // ---- Compression ----------------------------------------------------------------------------
  // One zlib stream per value (or the hooks); failures raise CAIRN_COMPRESS and
  // CAIRN_UNCOMPRESS.
  std::vector<char> Compress(const void* inBuffer, size_t inBytes, int level) override;
  // maxBytes bounds what a stream may inflate to: its stored size says nothing about it.
  std::vector<char> Decompress(const void* inBuffer, size_t inBytes,
                               size_t maxBytes = kMaxDecompressedSize) override;
  void SetCompressHook(TCompressHook hook) { FOnCompress = std::move(hook); }
  void SetDecompressHook(TDecompressHook hook) { FOnDecompress = std::move(hook); }

  // ---- Encryption -----------------------------------------------------------------------------
  // A key set up from bytes: the hook's cipher, or Blowfish-CBC.
  std::unique_ptr<TCipher> CryptoInit(const void* key, size_t length) override;
  void SetCryptoInitHook(TCryptoInitHook hook) { FOnCryptoInit = std::move(hook); }

  // ---- Custom functions -----------------------------------------------------------------------
  void SetGetFunctionsHook(TGetFunctionsHook hook) { FOnGetFunctions = std::move(hook); }
  int32_t FunctionCount() const { return FFunctionCount; }

  // ---- Locales --------------------------------------------------------------------------------
  void PopulateLocales();
  // True for the built-in locale 0 and for any locale the host has installed.
  bool IsValidLocale(uint32_t localeId) const override;
  std::vector<std::string> GetLocaleNames();
  std::optional<uint32_t> ConvertLocaleConstantToID(const std::string& name);
  // The locale's name, empty when the list does not hold it.
  std::string ConvertIDToLocaleConstant(uint32_t localeId);
  // Text comparison and case mapping under a locale (8-bit strings).
  int CompareStrings(uint32_t localeId, std::string_view a, std::string_view b) const;
  std::string UpperCase(uint32_t localeId, std::string_view s) const;
  std::string LowerCase(uint32_t localeId, std::string_view s) const;

 protected:
  void ThrowError(uint16_t errorCode, const TEngineErrorContext& context) override;

 private:
  void SetLimitsAndGeometry();

  bool FInitialized = false;
  bool FIsServer = false;
  host::TCriticalSection FLocaleSection;
  bool FIsWindows95 = false;
  TServerSettings FServerSettings;
  host::TCriticalSection FErrorSection;
  int32_t FOSErrorNumber = 0;
  int32_t FSocketErrorNumber = 0;
  TEngineErrorContext FLastError;
  std::vector<std::unique_ptr<TDataLocale>> FLocaleList;

  host::THostFiles* FHostFiles;
  std::unique_ptr<TFileRegistry> FFileRegistry;  // created by the constructor, emptied by Reset
  host::TRandomSlots FRandomSlots;

  TEngineSettings FSettings;
  int64_t FMaximumFileSize = 0;
  int32_t FMaximumNumRecords = 0;
  TLockGeometry FLockGeometry{0, 0};
  TMD5Digest FSignatureDigest;
  int32_t FFunctionCount = 0;

  TCompressHook FOnCompress;
  TDecompressHook FOnDecompress;
  TCryptoInitHook FOnCryptoInit;
  TGetFunctionsHook FOnGetFunctions;

  host::TCriticalSection FDataSessionSection;
  std::vector<std::unique_ptr<TDataSession>> FDataSessionList;
};

// The process's engine. A TDataEngine registers itself when it is constructed while none is
// registered, and unregisters itself when destroyed. Raises std::logic_error when none exists.
TDataEngine& DataEngine();
bool HasDataEngine();

}  // namespace cairn
