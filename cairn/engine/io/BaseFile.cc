#include "cairn/engine/io/BaseFile.h"

#include <algorithm>
#include <mutex>

#include "cairn/engine/io/EngineServices.h"
#include "cairn/host/OsError.h"

namespace cairn {

namespace {
constexpr size_t kInitialHandles = 64;
// Windows errors of a bad seek; both count as unknown OS failures.
constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorNegativeSeek = 131;
}  // namespace

TBaseFile::TBaseFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags)
    : FEngine(engine), FFileName(std::move(fileName)) {
  SetFlags(flags);
  FHandlesList.reserve(kInitialHandles);
}

TBaseFile::~TBaseFile() = default;

void TBaseFile::SetFlags(const TFileFlags& flags) {
  FExclusive = flags.Exclusive;
  FTemporary = flags.Temporary;
  FHidden = flags.Hidden;
}

int64_t TBaseFile::FileSize() {
  return FFileSize;
}

int32_t TBaseFile::CreateNew(bool) {
  std::lock_guard guard(FFileSection);
  FReadOnly = false;
  FMarkedReadOnly = false;
  return AddHandle();
}

int32_t TBaseFile::Open(bool& readOnly) {
  std::lock_guard guard(FFileSection);
  readOnly = readOnly || FReadOnly;
  return AddHandle();
}

int32_t TBaseFile::Close(int32_t handle) {
  std::lock_guard guard(FFileSection);
  auto it = std::find_if(FHandlesList.begin(), FHandlesList.end(),
                         [handle](const THandleEntry& e) { return e.Handle == handle; });
  if (it == FHandlesList.end()) return -static_cast<int32_t>(CAIRN_OSEBADF);
  FHandlesList.erase(it);
  --FUseCount;
  // The last handle gives back every region this process still holds.
  if (FUseCount == 0) FLocksList.Clear();
  return 0;
}

int32_t TBaseFile::Rename(const std::string& newName) {
  FFileName = newName;
  return 0;
}

int32_t TBaseFile::Delete() {
  return 0;
}

int32_t TBaseFile::Flush() {
  return 0;
}

int64_t TBaseFile::Seek(int32_t handle, int64_t offset, int origin) {
  std::lock_guard guard(FFileSection);
  THandleEntry* entry = FindHandle(handle);
  if (entry == nullptr) return -static_cast<int64_t>(CAIRN_OSEBADF);
  int64_t base = 0;
  switch (origin) {
    case kSeekBegin:
      break;
    case kSeekCurrent:
      base = entry->Position;
      break;
    case kSeekEnd: {
      const int64_t size = FileSize();
      if (size < 0) return size;
      base = size;
      break;
    }
    default:
      return -static_cast<int64_t>(FEngine.OSError(kErrorInvalidParameter));
  }
  const int64_t position = base + offset;
  if (position < 0) return -static_cast<int64_t>(FEngine.OSError(kErrorNegativeSeek));
  entry->Position = position;
  return position;
}

bool TBaseFile::Lock(int64_t offset, int64_t length) {
  std::lock_guard guard(FLockSection);
  return FLocksList.Lock(offset, length);
}

bool TBaseFile::Unlock(int64_t offset, int64_t length) {
  (void)length;  // a region is named by its start
  std::lock_guard guard(FLockSection);
  return FLocksList.Unlock(offset);
}

int64_t TBaseFile::Position(int32_t handle) const {
  std::lock_guard guard(FFileSection);
  const THandleEntry* entry = FindHandle(handle);
  return entry ? entry->Position : -1;
}

int32_t TBaseFile::AddHandle() {
  std::lock_guard guard(FFileSection);
  const int32_t handle = ++FLastHandle;
  FHandlesList.push_back({handle, 0});
  ++FUseCount;
  return handle;
}

TBaseFile::THandleEntry* TBaseFile::FindHandle(int32_t handle) {
  std::lock_guard guard(FFileSection);
  for (THandleEntry& e : FHandlesList) {
    if (e.Handle == handle) return &e;
  }
  return nullptr;
}

const TBaseFile::THandleEntry* TBaseFile::FindHandle(int32_t handle) const {
  return const_cast<TBaseFile*>(this)->FindHandle(handle);
}

int32_t TBaseFile::HostFailure(int64_t hostResult) {
  const int windowsError = hostResult < 0 ? static_cast<int>(-hostResult) : host::kErrorUnknown;
  return -FEngine.OSError(windowsError);
}

}  // namespace cairn
