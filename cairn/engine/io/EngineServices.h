// What the rooms below the engine core use of the engine.
//
// The files, the tables and the directories are handed this interface by their owner (the
// engine's session gives it to its directories, a directory to its tables, a table to its
// files) instead of reaching for the process's engine. TDataEngine implements it; a test can
// hand its own engine to a file it builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Compression.h"
#include "cairn/engine/io/EngineSettings.h"
#include "cairn/engine/io/LockGeometry.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/System.h"

namespace cairn {

class TFileRegistry;

class TEngineServices {
 public:
  virtual ~TEngineServices() = default;

  // ---- Settings and the limits Initialize derives from them -----------------------------------
  virtual const TEngineSettings& Settings() const = 0;
  virtual int64_t MaximumFileSize() const = 0;
  virtual int32_t MaximumNumRecords() const = 0;
  virtual const TLockGeometry& LockGeometry() const = 0;

  // ---- Files ----------------------------------------------------------------------------------
  // One base file per name per process, shared by all openers.
  virtual TFileRegistry& FileRegistry() const = 0;
  // The file and lock primitives of the host.
  virtual host::THostFiles& HostFiles() const = 0;
  // Pseudo-random lock slots.
  virtual host::TRandomSlots& RandomSlots() = 0;
  // The directory path (ending in "/") followed by the table's file name with the wanted
  // extension.
  virtual std::string TableFilePath(std::string_view directoryPath, std::string_view tableName,
                                    std::string_view extension) const = 0;

  // ---- Errors ---------------------------------------------------------------------------------
  // Raises the engine error of a code with its context names; never returns.
  [[noreturn]] void RaiseError(uint16_t errorCode, const TEngineErrorContext& context = {}) {
    ThrowError(errorCode, context);
    std::terminate();  // ThrowError always throws; a virtual call cannot promise it
  }
  // Records a Windows error number for the next raised error and returns its engine code.
  virtual int32_t OSError(int windowsError) = 0;

  // ---- Signature, compression, encryption, locales -------------------------------------------
  // The digest written into every table file header this engine creates.
  virtual const TMD5Digest& SignatureDigest() const = 0;
  // Whether a table file header's signature belongs to this engine.
  virtual bool IsAcceptedSignature(const TMD5Digest& fileSignature) const = 0;
  // One stream per value; failures raise CAIRN_COMPRESS and CAIRN_UNCOMPRESS.
  virtual std::vector<char> Compress(const void* inBuffer, size_t inBytes, int level) = 0;
  virtual std::vector<char> Decompress(const void* inBuffer, size_t inBytes,
                                       size_t maxBytes = kMaxDecompressedSize) = 0;
  // A key set up from bytes.
  virtual std::unique_ptr<TCipher> CryptoInit(const void* key, size_t length) = 0;
  virtual bool IsValidLocale(uint32_t localeId) const = 0;

 protected:
  // Throws the engine error behind RaiseError.
  virtual void ThrowError(uint16_t errorCode, const TEngineErrorContext& context) = 0;
};

}  // namespace cairn
