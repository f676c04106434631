// The storage engine: one TDataEngine per process.
//
// It owns what all sessions share: the engine settings (file extensions, buffer limits, lock
// retries, file-size limits), the lock geometry, the engine signature and its digest, the locale
// list, the registry of open files, the compression and encryption hooks, and the raising of
// engine errors. Lower layers reach it through DataEngine(); it is never passed down.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/error/EngineError.h"
#include "cairn/crypto/Md5.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Compression.h"
#include "cairn/engine/ServerSettings.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/System.h"

namespace cairn {

class TDataLocale;
class TDataSession;
class TFileRegistry;

// The version byte of the table files this engine writes.
inline constexpr uint8_t kFileVersion = 6;
inline constexpr const char* kDefaultSignature = "CAIRN_SIG";
inline constexpr const char* kDefaultLockFileName = "cairn.lck";
// Custom SQL functions an engine can hold.
inline constexpr int32_t kMaxFunctionCount = 1023;

class TDataEngine {
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
  ~TDataEngine();
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
  // Raises ECairnEngineError for a code with the given context names (database, table, field,
  // index, ...); the pending operating-system error number is carried into the error. Never
  // returns.
  [[noreturn]] void RaiseError(uint16_t errorCode, const TEngineErrorContext& context = {});
  // Maps a Windows error number onto an engine code (11010 ... 11047), records it as pending for
  // the next RaiseError and returns it.
  int32_t OSError(int windowsError);
  // The code of an engine error; 11047 for any other exception.
  static uint16_t ConvertExceptionToCode(const std::exception& error);
  // The message text of a code, filled from the last-error record, at most 254 characters.
  std::string GetErrorString(uint16_t errorCode);
  std::string TranslateErrorConstant(uint16_t errorCode) const;
  // A copy of the last-error record.
  TEngineErrorContext LastError();

  // ---- Host ---------------------------------------------------------------------------------
  // The file and lock primitives; the POSIX implementation unless a test replaced them.
  host::THostFiles& HostFiles() const { return *FHostFiles; }
  // Null restores the POSIX implementation.
  void SetHostFiles(host::THostFiles* files);
  // Pseudo-random lock slots, reseeded by Initialize.
  host::TRandomSlots& RandomSlots() { return FRandomSlots; }

  // ---- File registry: one base file per name per process, shared by all openers ---------------
  TFileRegistry& FileRegistry() const { return *FFileRegistry; }

  // ---- File names, versions and signature ---------------------------------------------------
  // The file name of a table: the trimmed name with a trailing data extension (any letter case)
  // replaced by the wanted extension, or the wanted extension appended.
  std::string TableFileName(std::string_view tableName, std::string_view extension) const;
  // The directory path (ending in "/") followed by the table's file name.
  std::string TableFilePath(std::string_view directoryPath, std::string_view tableName,
                            std::string_view extension) const;
  static bool ValidVersion(uint8_t version) { return version <= kFileVersion; }
  static std::string VersionToStr(uint8_t version);

  const std::string& Signature() const { return FSignature; }
  void SetSignature(const std::string& signature);
  const TMD5Digest& SignatureDigest() const { return FSignatureDigest; }
  // Whether a table file header's signature belongs to this engine: the digest of its signature
  // or of the default one.
  bool IsAcceptedSignature(const TMD5Digest& fileSignature) const;

  // ---- Extensions -----------------------------------------------------------------------------
  const std::string& DataExtension() const { return FDataExtension; }
  void SetDataExtension(std::string value) { FDataExtension = std::move(value); }
  const std::string& IndexExtension() const { return FIndexExtension; }
  void SetIndexExtension(std::string value) { FIndexExtension = std::move(value); }
  const std::string& BlobExtension() const { return FBlobExtension; }
  void SetBlobExtension(std::string value) { FBlobExtension = std::move(value); }
  const std::string& DataBackupExtension() const { return FDataBackupExtension; }
  void SetDataBackupExtension(std::string value) { FDataBackupExtension = std::move(value); }
  const std::string& IndexBackupExtension() const { return FIndexBackupExtension; }
  void SetIndexBackupExtension(std::string value) { FIndexBackupExtension = std::move(value); }
  const std::string& BlobBackupExtension() const { return FBlobBackupExtension; }
  void SetBlobBackupExtension(std::string value) { FBlobBackupExtension = std::move(value); }
  const std::string& DataUpgradeExtension() const { return FDataUpgradeExtension; }
  void SetDataUpgradeExtension(std::string value) { FDataUpgradeExtension = std::move(value); }
  const std::string& IndexUpgradeExtension() const { return FIndexUpgradeExtension; }
  void SetIndexUpgradeExtension(std::string value) { FIndexUpgradeExtension = std::move(value); }
  const std::string& BlobUpgradeExtension() const { return FBlobUpgradeExtension; }
  void SetBlobUpgradeExtension(std::string value) { FBlobUpgradeExtension = std::move(value); }
  const std::string& DataTempExtension() const { return FDataTempExtension; }
  void SetDataTempExtension(std::string value) { FDataTempExtension = std::move(value); }
  const std::string& IndexTempExtension() const { return FIndexTempExtension; }
  void SetIndexTempExtension(std::string value) { FIndexTempExtension = std::move(value); }
  const std::string& BlobTempExtension() const { return FBlobTempExtension; }
  void SetBlobTempExtension(std::string value) { FBlobTempExtension = std::move(value); }

  // ---- Settings -------------------------------------------------------------------------------
  // The size limits follow LargeFileSupport, which takes effect at Initialize.
  int64_t MaximumFileSize() const { return FMaximumFileSize; }
  int32_t MaximumNumRecords() const { return FMaximumNumRecords; }
  bool LargeFileSupport() const { return FLargeFileSupport; }
  void SetLargeFileSupport(bool value) { FLargeFileSupport = value; }
  const std::string& LockFileName() const { return FLockFileName; }
  void SetLockFileName(std::string value) { FLockFileName = std::move(value); }
  bool TempTablesInDataDirectory() const { return FTempTablesInDataDirectory; }
  void SetTempTablesInDataDirectory(bool value) { FTempTablesInDataDirectory = value; }

  int32_t MaxDataBufferSize() const { return FMaxDataBufferSize; }
  void SetMaxDataBufferSize(int32_t value) { FMaxDataBufferSize = value; }
  int32_t MaxDataBufferCount() const { return FMaxDataBufferCount; }
  void SetMaxDataBufferCount(int32_t value) { FMaxDataBufferCount = value; }
  int32_t MaxIndexBufferSize() const { return FMaxIndexBufferSize; }
  void SetMaxIndexBufferSize(int32_t value) { FMaxIndexBufferSize = value; }
  int32_t MaxIndexBufferCount() const { return FMaxIndexBufferCount; }
  void SetMaxIndexBufferCount(int32_t value) { FMaxIndexBufferCount = value; }
  int32_t MaxBlobBufferSize() const { return FMaxBlobBufferSize; }
  void SetMaxBlobBufferSize(int32_t value) { FMaxBlobBufferSize = value; }
  int32_t MaxBlobBufferCount() const { return FMaxBlobBufferCount; }
  void SetMaxBlobBufferCount(int32_t value) { FMaxBlobBufferCount = value; }
  uint8_t FilterIndexThreshhold() const { return FFilterIndexThreshhold; }
  void SetFilterIndexThreshhold(uint8_t value) { FFilterIndexThreshhold = value; }

  uint16_t ReadLockWaitTime() const { return FReadLockWaitTime; }
  void SetReadLockWaitTime(uint16_t value) { FReadLockWaitTime = value; }
  uint16_t ReadLockRetries() const { return FReadLockRetries; }
  void SetReadLockRetries(uint16_t value) { FReadLockRetries = value; }
  uint16_t WriteLockWaitTime() const { return FWriteLockWaitTime; }
  void SetWriteLockWaitTime(uint16_t value) { FWriteLockWaitTime = value; }
  uint16_t WriteLockRetries() const { return FWriteLockRetries; }
  void SetWriteLockRetries(uint16_t value) { FWriteLockRetries = value; }
  uint16_t TransLockWaitTime() const { return FTransLockWaitTime; }
  void SetTransLockWaitTime(uint16_t value) { FTransLockWaitTime = value; }
  uint16_t TransLockRetries() const { return FTransLockRetries; }
  void SetTransLockRetries(uint16_t value) { FTransLockRetries = value; }
  uint16_t MaxReadLockCount() const { return FMaxReadLockCount; }
  void SetMaxReadLockCount(uint16_t value) { FMaxReadLockCount = value; }

  // ---- Lock geometry (fixed by Initialize) ----------------------------------------------------
  // Locks are counted downward from the ...Byte offsets, far beyond any real data.
  int64_t FileLockByte() const { return FFileLockByte; }
  int64_t RecordLockByte() const { return FRecordLockByte; }
  int64_t FileLockRange() const { return FFileLockRange; }
  int64_t TransLockRange() const { return FTransLockRange; }
  int64_t ReadLockRange() const { return FReadLockRange; }
  int64_t WriteLockRange() const { return FWriteLockRange; }
  int64_t TransWriteLockRange() const { return FTransWriteLockRange; }
  int64_t RecordLockRange() const { return FRecordLockRange; }
  int64_t TransLockByte() const { return FTransLockByte; }
  int64_t ReadLockByte() const { return FReadLockByte; }
  int64_t WriteLockByte() const { return FWriteLockByte; }
  int64_t TransWriteLockByte() const { return FTransWriteLockByte; }
  int64_t SemaphoreLockByte() const { return FSemaphoreLockByte; }
  int64_t SemaphoreLockRange() const { return FSemaphoreLockRange; }

  // ---- Compression ----------------------------------------------------------------------------
  // One zlib stream per value (or the hooks); failures raise 15001 and 15002.
  std::vector<char> Compress(const void* inBuffer, size_t inBytes, int level);
  // maxBytes bounds what a stream may inflate to: its stored size says nothing about it.
  std::vector<char> Decompress(const void* inBuffer, size_t inBytes,
                               size_t maxBytes = kMaxDecompressedSize);
  void SetCompressHook(TCompressHook hook) { FOnCompress = std::move(hook); }
  void SetDecompressHook(TDecompressHook hook) { FOnDecompress = std::move(hook); }

  // ---- Encryption -----------------------------------------------------------------------------
  // A key set up from bytes: the hook's cipher, or Blowfish-CBC.
  std::unique_ptr<TCipher> CryptoInit(const void* key, size_t length);
  void SetCryptoInitHook(TCryptoInitHook hook) { FOnCryptoInit = std::move(hook); }

  // ---- Custom functions -----------------------------------------------------------------------
  void SetGetFunctionsHook(TGetFunctionsHook hook) { FOnGetFunctions = std::move(hook); }
  int32_t FunctionCount() const { return FFunctionCount; }

  // ---- Locales --------------------------------------------------------------------------------
  void PopulateLocales();
  // True for the built-in locale 0 and for any locale the host has installed.
  bool IsValidLocale(uint32_t localeId) const;
  std::vector<std::string> GetLocaleNames();
  std::optional<uint32_t> ConvertLocaleConstantToID(const std::string& name);
  // The locale's name, empty when the list does not hold it.
  std::string ConvertIDToLocaleConstant(uint32_t localeId);
  // Text comparison and case mapping under a locale (8-bit strings).
  int CompareStrings(uint32_t localeId, std::string_view a, std::string_view b) const;
  std::string UpperCase(uint32_t localeId, std::string_view s) const;
  std::string LowerCase(uint32_t localeId, std::string_view s) const;

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

  bool FLargeFileSupport = false;
  int64_t FMaximumFileSize = 0;
  int32_t FMaximumNumRecords = 0;
  std::string FLockFileName = kDefaultLockFileName;
  int64_t FFileLockByte = 0;
  int64_t FRecordLockByte = 0;
  int64_t FFileLockRange = 0;
  int64_t FTransLockRange = 0;
  int64_t FReadLockRange = 0;
  int64_t FWriteLockRange = 0;
  int64_t FTransWriteLockRange = 0;
  int64_t FRecordLockRange = 0;
  int64_t FTransLockByte = 0;
  int64_t FReadLockByte = 0;
  int64_t FWriteLockByte = 0;
  int64_t FTransWriteLockByte = 0;
  int64_t FSemaphoreLockByte = 0;
  int64_t FSemaphoreLockRange = 0;

  std::string FSignature;
  TMD5Digest FSignatureDigest;
  std::string FDataExtension = ".dat";
  std::string FIndexExtension = ".idx";
  std::string FBlobExtension = ".blb";
  std::string FDataBackupExtension = ".dbk";
  std::string FIndexBackupExtension = ".ibk";
  std::string FBlobBackupExtension = ".bbk";
  std::string FDataUpgradeExtension = ".dup";
  std::string FIndexUpgradeExtension = ".iup";
  std::string FBlobUpgradeExtension = ".bup";
  std::string FDataTempExtension = ".dat";
  std::string FIndexTempExtension = ".idx";
  std::string FBlobTempExtension = ".blb";
  bool FTempTablesInDataDirectory = false;
  int32_t FMaxDataBufferSize = 32768;
  int32_t FMaxDataBufferCount = 8192;
  int32_t FMaxIndexBufferSize = 65536;
  int32_t FMaxIndexBufferCount = 8192;
  int32_t FMaxBlobBufferSize = 32768;
  int32_t FMaxBlobBufferCount = 8192;
  uint8_t FFilterIndexThreshhold = 1;
  uint16_t FReadLockWaitTime = 3;
  uint16_t FReadLockRetries = 32768;
  uint16_t FWriteLockWaitTime = 3;
  uint16_t FWriteLockRetries = 32768;
  uint16_t FTransLockWaitTime = 3;
  uint16_t FTransLockRetries = 32768;
  uint16_t FMaxReadLockCount = 100;
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
