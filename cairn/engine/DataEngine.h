// The storage engine: one TDataEngine per process.
//
// It owns what all sessions share: the engine settings (file extensions, buffer limits, lock
// retries, file-size limits), the lock geometry, the engine signature and its digest, the locale
// list, the registry of open files, the compression and encryption hooks, and the raising of
// engine errors. Lower layers reach it through DataEngine(); it is never passed down.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "cairn/access/EngineError.h"
#include "cairn/crypto/Md5.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/System.h"

namespace cairn {

class TFileRegistry;

class TDataEngine {
 public:
  TDataEngine();
  ~TDataEngine();
  TDataEngine(const TDataEngine&) = delete;
  TDataEngine& operator=(const TDataEngine&) = delete;

  // ---- Errors -------------------------------------------------------------------------------
  // Raises ECairnEngineError for a code with the given context names (database, table, field,
  // index, ...); the pending operating-system error number is carried into the error. Never
  // returns.
  [[noreturn]] void RaiseError(uint16_t errorCode, const TEngineErrorContext& context = {});
  // Maps a Windows error number onto an engine code (11010 ... 11047), records it as pending for
  // the next RaiseError and returns it.
  int32_t OSError(int windowsError);

  // ---- Host ---------------------------------------------------------------------------------
  // The file and lock primitives; the POSIX implementation unless a test replaced them.
  host::THostFiles& HostFiles() const { return *FHostFiles; }
  void SetHostFiles(host::THostFiles* files);

  // ---- File registry: one base file per name per process, shared by all openers ---------------
  TFileRegistry& FileRegistry() const { return *FFileRegistry; }

  // ---- Settings (further settings: see the definitions) ---------------------------------------
  int64_t MaximumFileSize() const { return FMaximumFileSize; }
  int32_t MaximumNumRecords() const { return FMaximumNumRecords; }
  int32_t MaxDataBufferSize() const { return FMaxDataBufferSize; }
  int32_t MaxDataBufferCount() const { return FMaxDataBufferCount; }
  int32_t MaxIndexBufferSize() const { return FMaxIndexBufferSize; }
  int32_t MaxIndexBufferCount() const { return FMaxIndexBufferCount; }
  int32_t MaxBlobBufferSize() const { return FMaxBlobBufferSize; }
  int32_t MaxBlobBufferCount() const { return FMaxBlobBufferCount; }

 private:
  host::THostFiles* FHostFiles;
  std::unique_ptr<TFileRegistry> FFileRegistry;  // created by the constructor, emptied by Reset
  host::TCriticalSection FErrorSection;
  int32_t FOSErrorNumber = 0;
  int32_t FSocketErrorNumber = 0;
  TEngineErrorContext FLastError;

  int64_t FMaximumFileSize = 0;
  int32_t FMaximumNumRecords = 0;
  int32_t FMaxDataBufferSize = 32768;
  int32_t FMaxDataBufferCount = 8192;
  int32_t FMaxIndexBufferSize = 65536;
  int32_t FMaxIndexBufferCount = 8192;
  int32_t FMaxBlobBufferSize = 32768;
  int32_t FMaxBlobBufferCount = 8192;
};

// The process's engine. A TDataEngine registers itself when it is constructed while none is
// registered, and unregisters itself when destroyed. Raises std::logic_error when none exists.
TDataEngine& DataEngine();
bool HasDataEngine();

}  // namespace cairn
