#include "cairn/engine/io/MemoryFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "cairn/engine/io/EngineServices.h"
#include "cairn/host/OsError.h"

namespace cairn {

TMemoryFile::TMemoryFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags)
    : TBaseFile(engine, std::move(fileName), flags) {}

TMemoryFile::~TMemoryFile() = default;

int64_t TMemoryFile::FileSize() {
  std::lock_guard guard(FFileSection);
  return FFileSize;
}

void TMemoryFile::FreeChunks() {
  FFileBuffers.clear();
  FFileBufferSize = 0;
  FFileSize = 0;
}

// A memory file lives in this process only, where the registry's section already makes the
// check and the creation one step.
int32_t TMemoryFile::CreateNew(bool mustBeNew) {
  std::lock_guard guard(FFileSection);
  FreeChunks();
  return TBaseFile::CreateNew(mustBeNew);
}

int32_t TMemoryFile::Delete() {
  std::lock_guard guard(FFileSection);
  FreeChunks();
  return 0;
}

bool TMemoryFile::Reserve(int64_t size) {
  try {
    while (FFileBufferSize < size) {
      FFileBuffers.push_back(std::make_unique<char[]>(kChunkSize));  // value-initialised: zero
      FFileBufferSize += kChunkSize;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool TMemoryFile::Resize(int64_t size) {
  if (size > FFileSize) {
    if (!Reserve(size)) return false;
  } else {
    // Keep the allocation past the end zero, and give back whole chunks no longer needed.
    const size_t keep = static_cast<size_t>((size + kChunkSize - 1) / kChunkSize);
    FFileBuffers.resize(keep);
    FFileBufferSize = static_cast<int64_t>(keep) * kChunkSize;
    const int64_t tail = std::min(FFileBufferSize, FFileSize) - size;
    if (tail > 0) {
      char* chunk = FFileBuffers[static_cast<size_t>(size / kChunkSize)].get();
      std::memset(chunk + size % kChunkSize, 0, static_cast<size_t>(tail));
    }
  }
  FFileSize = size;
  return true;
}

int64_t TMemoryFile::Read(int32_t handle, void* buffer, int64_t count) {
  std::lock_guard guard(FFileSection);
  THandleEntry* entry = FindHandle(handle);
  if (entry == nullptr) return HostFailure(-host::kErrorInvalidHandle);
  if (count <= 0 || entry->Position >= FFileSize) return 0;
  const int64_t total = std::min(count, FFileSize - entry->Position);
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < total) {
    const int64_t at = entry->Position + done;
    const int64_t inChunk = at % kChunkSize;
    const int64_t part = std::min(total - done, kChunkSize - inChunk);
    std::memcpy(out + done, FFileBuffers[static_cast<size_t>(at / kChunkSize)].get() + inChunk,
                static_cast<size_t>(part));
    done += part;
  }
  entry->Position += done;
  return done;
}

int64_t TMemoryFile::Write(int32_t handle, const void* buffer, int64_t count) {
  std::lock_guard guard(FFileSection);
  THandleEntry* entry = FindHandle(handle);
  if (entry == nullptr) return HostFailure(-host::kErrorInvalidHandle);
  if (count < 0) return 0;
  if (count == 0) {
    // Writing nothing sets the file size to the handle's position.
    return Resize(entry->Position) ? 0 : HostFailure(-host::kErrorNotEnoughMemory);
  }
  if (entry->Position > std::numeric_limits<int64_t>::max() - count) {
    return HostFailure(-host::kErrorUnknown);
  }
  const int64_t end = entry->Position + count;
  if (!Reserve(end)) return HostFailure(-host::kErrorNotEnoughMemory);
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t at = entry->Position + done;
    const int64_t inChunk = at % kChunkSize;
    const int64_t part = std::min(count - done, kChunkSize - inChunk);
    std::memcpy(FFileBuffers[static_cast<size_t>(at / kChunkSize)].get() + inChunk, in + done,
                static_cast<size_t>(part));
    done += part;
  }
  entry->Position = end;
  FFileSize = std::max(FFileSize, end);
  return done;
}

}  // namespace cairn
