#include "cairn/engine/io/PhysicalFile.h"

#include <mutex>

#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/OsError.h"

namespace cairn {

TPhysicalFile::TPhysicalFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags)
    : TBaseFile(engine, std::move(fileName), flags) {}

TPhysicalFile::~TPhysicalFile() {
  CloseDescriptor();
}

void TPhysicalFile::CloseDescriptor() {
  if (FPhysicalHandle < 0) return;
  FEngine.HostFiles().Close(FPhysicalHandle);
  FPhysicalHandle = -1;
  FLocksList.Clear();  // the kernel drops the descriptor's locks with it
}

int64_t TPhysicalFile::FileSize() {
  std::lock_guard guard(FFileSection);
  if (FPhysicalHandle < 0) return HostFailure(-host::kErrorInvalidHandle);
  const int64_t size = FEngine.HostFiles().Size(FPhysicalHandle);
  return size < 0 ? HostFailure(size) : size;
}

int32_t TPhysicalFile::CreateNew(bool mustBeNew) {
  std::lock_guard guard(FFileSection);
  if (FUseCount > 0) return -static_cast<int32_t>(CAIRN_OSEACCES);
  CloseDescriptor();
  host::THostFiles& files = FEngine.HostFiles();
  const std::string path = files.Resolve(FFileName);
  const int fd = files.Create(path, mustBeNew);
  if (fd < 0) return HostFailure(fd);
  FPhysicalHandle = fd;
  FFileName = path;
  FReadOnly = false;
  FMarkedReadOnly = false;
  return AddHandle();
}

// Opens the one descriptor of the process: read-only when asked or when the file is not
// writable; a read-write open refused for access falls back to read-only.
int32_t TPhysicalFile::OpenDescriptor() {
  host::THostFiles& files = FEngine.HostFiles();
  const std::string path = files.Resolve(FFileName);
  FMarkedReadOnly = false;
  const host::TFileAttributes attributes = files.Attributes(path);
  if (!attributes.Exists) return HostFailure(-host::kErrorFileNotFound);
  if (attributes.IsDirectory) return HostFailure(-host::kErrorAccessDenied);
  if (attributes.ReadOnly) {
    FReadOnly = true;
    FMarkedReadOnly = true;
  }
  int fd = files.Open(path, FReadOnly, FExclusive);
  if (fd == -host::kErrorAccessDenied && !FReadOnly) {
    fd = files.Open(path, true, FExclusive);
    if (fd >= 0) FReadOnly = true;
  }
  if (fd < 0) return HostFailure(fd);
  FPhysicalHandle = fd;
  FFileName = path;
  return 0;
}

int32_t TPhysicalFile::Open(bool& readOnly) {
  std::lock_guard guard(FFileSection);
  if (FUseCount == 0) {
    CloseDescriptor();
    FReadOnly = readOnly;
    const int32_t result = OpenDescriptor();
    if (result < 0) return result;
  }
  readOnly = readOnly || FReadOnly;
  return AddHandle();
}

int32_t TPhysicalFile::Close(int32_t handle) {
  std::lock_guard guard(FFileSection);
  const int32_t result = TBaseFile::Close(handle);
  if (result == 0 && FUseCount == 0) CloseDescriptor();
  return result;
}

int32_t TPhysicalFile::Rename(const std::string& newName) {
  std::lock_guard guard(FFileSection);
  host::THostFiles& files = FEngine.HostFiles();
  const int result = files.Rename(files.Resolve(FFileName), newName);
  if (result < 0) return HostFailure(result);
  FFileName = newName;
  return 0;
}

int32_t TPhysicalFile::Delete() {
  std::lock_guard guard(FFileSection);
  host::THostFiles& files = FEngine.HostFiles();
  const int result = files.Delete(files.Resolve(FFileName));
  return result < 0 ? HostFailure(result) : 0;
}

int64_t TPhysicalFile::Read(int32_t handle, void* buffer, int64_t count) {
  std::lock_guard guard(FFileSection);
  THandleEntry* entry = FindHandle(handle);
  if (entry == nullptr || FPhysicalHandle < 0) return HostFailure(-host::kErrorInvalidHandle);
  if (count <= 0) return 0;
  const int64_t done = FEngine.HostFiles().Read(FPhysicalHandle, buffer, count, entry->Position);
  if (done < 0) return HostFailure(done);
  entry->Position += done;
  return done;
}

int64_t TPhysicalFile::Write(int32_t handle, const void* buffer, int64_t count) {
  std::lock_guard guard(FFileSection);
  THandleEntry* entry = FindHandle(handle);
  if (entry == nullptr || FPhysicalHandle < 0) return HostFailure(-host::kErrorInvalidHandle);
  if (count < 0) return 0;
  host::THostFiles& files = FEngine.HostFiles();
  if (count == 0) {
    // Writing nothing ends the file at the handle's position.
    const int result = files.Truncate(FPhysicalHandle, entry->Position);
    return result < 0 ? HostFailure(result) : 0;
  }
  const int64_t done = files.Write(FPhysicalHandle, buffer, count, entry->Position);
  if (done < 0) return HostFailure(done);
  entry->Position += done;
  return done;
}

int32_t TPhysicalFile::Flush() {
  std::lock_guard guard(FFileSection);
  if (FPhysicalHandle < 0) return HostFailure(-host::kErrorInvalidHandle);
  const int result = FEngine.HostFiles().Flush(FPhysicalHandle);
  return result < 0 ? HostFailure(result) : 0;
}

bool TPhysicalFile::Lock(int64_t offset, int64_t length) {
  std::lock_guard guard(FLockSection);
  if (FPhysicalHandle < 0 || !FLocksList.Lock(offset, length)) return false;
  if (FEngine.HostFiles().Lock(FPhysicalHandle, offset, length, FReadOnly) < 0) {
    FLocksList.Unlock(offset);
    return false;
  }
  return true;
}

bool TPhysicalFile::Unlock(int64_t offset, int64_t length) {
  std::lock_guard guard(FLockSection);
  if (FPhysicalHandle < 0 || !FLocksList.Unlock(offset)) return false;
  if (FEngine.HostFiles().Unlock(FPhysicalHandle, offset, length) < 0) {
    // The kernel still holds the range: keep it in the list so the two stay in step.
    FLocksList.Lock(offset, length);
    return false;
  }
  return true;
}

}  // namespace cairn
