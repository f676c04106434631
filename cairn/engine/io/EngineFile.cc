#include "cairn/engine/io/EngineFile.h"

#include <algorithm>

#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/OsError.h"

namespace cairn {

namespace {
constexpr size_t kMaxStringLength = 255;
}

TEngineFile::~TEngineFile() {
  if (!FIsOpen) return;
  FEngine.FileRegistry().CloseFile(FBaseFile, FInMemory, FHandle);
}

void TEngineFile::RaiseError(uint16_t errorCode) const {
  TEngineErrorContext context;
  context.DatabaseName = ProperDatabaseName();
  context.TableName = ProperFileName();
  FEngine.RaiseError(errorCode, context);
}

void TEngineFile::RaiseResult(int64_t result) const {
  const int64_t code = -result;
  RaiseError(code > 0 && code <= 0xFFFF ? static_cast<uint16_t>(code) : CAIRN_OSUNKNOWN);
}

TBaseFile& TEngineFile::OpenBaseFile() const {
  if (!FIsOpen || FBaseFile == nullptr) {
    RaiseError(static_cast<uint16_t>(FEngine.OSError(host::kErrorInvalidHandle)));
  }
  return *FBaseFile;
}

void TEngineFile::Forget() {
  FIsOpen = false;
  FBaseFile = nullptr;
  FHandle = 0;
}

void TEngineFile::OpenFile() {
  if (FIsOpen) return;
  TFileRegistry& registry = FEngine.FileRegistry();
  if (!registry.FileExists(FFileName, FInMemory, FHidden)) {
    FEngine.OSError(host::kErrorFileNotFound);
    RaiseError(CAIRN_OSENOENT);
  }
  TFileOpenArgs args;
  args.InMemory = FInMemory;
  args.ReadOnly = FReadOnly;
  args.Exclusive = FExclusive;
  args.Temporary = FTemporary;
  args.Hidden = FHidden;
  const int32_t handle = registry.OpenFile(FFileName, args);
  if (handle < 0) RaiseResult(handle);
  FBaseFile = args.BaseFile;
  FHandle = handle;
  FReadOnly = args.ReadOnly;
  FMarkedReadOnly = args.MarkedReadOnly;
  FIsOpen = true;
}

void TEngineFile::CreateFile() {
  if (FIsOpen) CloseFile();
  TFileOpenArgs args;
  args.InMemory = FInMemory;
  args.Temporary = FTemporary;
  args.Hidden = FHidden;
  args.MustBeNew = FCreateOnlyNew;
  const int32_t handle = FEngine.FileRegistry().CreateFile(FFileName, args);
  if (handle < 0) RaiseResult(handle);
  FBaseFile = args.BaseFile;
  FHandle = handle;
  FReadOnly = false;
  FMarkedReadOnly = false;
  FIsOpen = true;
}

void TEngineFile::CloseFile() {
  if (!FIsOpen) return;
  TBaseFile* baseFile = FBaseFile;
  const int32_t handle = FHandle;
  Forget();
  const int32_t result = FEngine.FileRegistry().CloseFile(baseFile, FInMemory, handle);
  if (result < 0) RaiseResult(result);
}

void TEngineFile::DeleteFile() {
  const int32_t result = FEngine.FileRegistry().DeleteFile(FFileName, FInMemory);
  if (result < 0) RaiseResult(result);
}

void TEngineFile::RenameFile(const std::string& newName) {
  const int32_t result = FEngine.FileRegistry().RenameFile(FFileName, FInMemory, newName);
  if (result < 0) RaiseResult(result);
  FFileName = newName;
}

bool TEngineFile::Exists() {
  return FEngine.FileRegistry().FileExists(FFileName, FInMemory, FHidden);
}

int64_t TEngineFile::Read(void* buffer, int64_t count, bool ignoreLessBytes) {
  if (!FIsOpen) RaiseError(CAIRN_READERR);
  const int64_t done = FBaseFile->Read(FHandle, buffer, count);
  if (done < 0) RaiseResult(done);
  if (done < count && !ignoreLessBytes) RaiseError(CAIRN_READERR);
  return done;
}

std::string TEngineFile::ReadString() {
  unsigned char length = 0;
  Read(&length, 1);
  std::string value(length, '\0');
  if (length > 0) Read(value.data(), length);
  return value;
}

void TEngineFile::Write(const void* buffer, int64_t count) {
  if (!FIsOpen) RaiseError(CAIRN_WRITEERR);
  const int64_t done = FBaseFile->Write(FHandle, buffer, count);
  if (done < 0) RaiseResult(done);
  if (done < count) RaiseError(CAIRN_WRITEERR);
}

void TEngineFile::WriteString(const std::string& value) {
  const size_t length = std::min(value.size(), kMaxStringLength);
  std::string record(1 + length, '\0');
  EncodeShortString(record.data(), length, value);
  Write(record.data(), static_cast<int64_t>(record.size()));
}

void TEngineFile::Flush() {
  const int32_t result = OpenBaseFile().Flush();
  if (result < 0) RaiseResult(result);
}

int64_t TEngineFile::Seek(int64_t offset, int origin) {
  const int64_t position = OpenBaseFile().Seek(FHandle, offset, origin);
  if (position < 0) RaiseResult(position);
  return position;
}

int64_t TEngineFile::GetPos() {
  return Seek(0, kSeekCurrent);
}

int64_t TEngineFile::GetSize() {
  TEngineFileLock lock(*this);
  const int64_t position = GetPos();
  const int64_t size = Seek(0, kSeekEnd);
  Seek(position, kSeekBegin);
  return size;
}

bool TEngineFile::LockRegion(int64_t offset, int64_t length, bool lock) {
  if (!FIsOpen) return false;
  return lock ? FBaseFile->Lock(offset, length) : FBaseFile->Unlock(offset, length);
}

host::TCriticalSection& TEngineFile::FileSection() const {
  return OpenBaseFile().FileSection();
}

void TEngineFile::LockFile() {
  FileSection().lock();
}

void TEngineFile::UnlockFile() {
  FileSection().unlock();
}

}  // namespace cairn
