// A file of an in-memory database.
//
// The content lives in zeroed 64 KiB chunks; every byte of the allocation past the file size is
// zero, so growing the file (by writing past its end or by setting a larger size) reads zeros.
// Each handle has its own position. Locks exist only in the region list.
#pragma once

#include <memory>

#include "cairn/engine/io/BaseFile.h"

namespace cairn {

class TMemoryFile : public TBaseFile {
 public:
  static constexpr int64_t kChunkSize = 65536;

  TMemoryFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags);
  ~TMemoryFile() override;

  int64_t FileSize() override;
  int32_t CreateNew(bool mustBeNew) override;
  int32_t Delete() override;
  int64_t Read(int32_t handle, void* buffer, int64_t count) override;
  int64_t Write(int32_t handle, const void* buffer, int64_t count) override;

  int64_t AllocatedSize() const { return FFileBufferSize; }

 private:
  // Grows the allocation to cover size bytes (whole zeroed chunks); false when out of memory.
  bool Reserve(int64_t size);
  // Sets the file size, zeroing what lies past a smaller size and freeing whole chunks.
  bool Resize(int64_t size);
  void FreeChunks();

  std::vector<std::unique_ptr<char[]>> FFileBuffers;
  int64_t FFileBufferSize = 0;
};

}  // namespace cairn
