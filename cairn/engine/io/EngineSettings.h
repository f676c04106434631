// The engine's settings, each default written once.
//
// The storage engine reads them while it works (file extensions, buffer budgets, lock retries);
// the engine component keeps a copy it hands on, refusing changes while the engine is active.
// The file-size limits and the lock geometry are not settings: Initialize derives them from
// LargeFileSupport.
#pragma once

#include <cstdint>
#include <string>

namespace cairn {

inline constexpr const char* kDefaultSignature = "CAIRN_SIG";
inline constexpr const char* kDefaultLockFileName = "cairn.lck";

struct TEngineSettings {
  // Table files carry the digest of this text in their headers.
  std::string Signature = kDefaultSignature;
  // Chooses the file-size limits and the lock geometry at Initialize.
  bool LargeFileSupport = false;
  std::string LockFileName = kDefaultLockFileName;

  std::string DataExtension = ".dat";
  std::string IndexExtension = ".idx";
  std::string BlobExtension = ".blb";
  std::string DataBackupExtension = ".dbk";
  std::string IndexBackupExtension = ".ibk";
  std::string BlobBackupExtension = ".bbk";
  std::string DataUpgradeExtension = ".dup";
  std::string IndexUpgradeExtension = ".iup";
  std::string BlobUpgradeExtension = ".bup";
  std::string DataTempExtension = ".dat";
  std::string IndexTempExtension = ".idx";
  std::string BlobTempExtension = ".blb";
  bool TempTablesInDataDirectory = false;

  // Buffer budgets per table file: bytes of cache and number of buffers.
  int32_t MaxDataBufferSize = 32768;
  int32_t MaxDataBufferCount = 8192;
  int32_t MaxIndexBufferSize = 65536;
  int32_t MaxIndexBufferCount = 8192;
  int32_t MaxBlobBufferSize = 32768;
  int32_t MaxBlobBufferCount = 8192;
  uint8_t FilterIndexThreshhold = 1;

  // Lock waits: milliseconds between tries, and tries.
  uint16_t ReadLockWaitTime = 3;
  uint16_t ReadLockRetries = 32768;
  uint16_t WriteLockWaitTime = 3;
  uint16_t WriteLockRetries = 32768;
  uint16_t TransLockWaitTime = 3;
  uint16_t TransLockRetries = 32768;
  uint16_t MaxReadLockCount = 100;
};

}  // namespace cairn
