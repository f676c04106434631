#include "tests/support/FaultInjectingFiles.h"

namespace cairn::test {

void TFaultInjectingFiles::Arm(TFileOp op, int64_t call, int windowsError, bool andLater) {
  std::lock_guard<std::mutex> guard(FSection);
  FFaults.push_back(TFault{op, call, windowsError, andLater});
}

void TFaultInjectingFiles::ArmNext(TFileOp op, int windowsError, bool andLater) {
  Arm(op, Calls(op) + 1, windowsError, andLater);
}

void TFaultInjectingFiles::Disarm() {
  std::lock_guard<std::mutex> guard(FSection);
  FFaults.clear();
}

int64_t TFaultInjectingFiles::Calls(TFileOp op) const {
  std::lock_guard<std::mutex> guard(FSection);
  return FCalls[static_cast<size_t>(op)];
}

void TFaultInjectingFiles::ResetCounts() {
  std::lock_guard<std::mutex> guard(FSection);
  FCalls.fill(0);
}

int TFaultInjectingFiles::Fault(TFileOp op) {
  std::lock_guard<std::mutex> guard(FSection);
  int64_t call = ++FCalls[static_cast<size_t>(op)];
  for (const TFault& fault : FFaults) {
    if (fault.Op == op && (call == fault.Call || (fault.AndLater && call > fault.Call)))
      return fault.Error;
  }
  return 0;
}

int TFaultInjectingFiles::Open(const std::string& path, bool readOnly, bool exclusive) {
  int error = Fault(TFileOp::Open);
  return error ? -error : FInner.Open(path, readOnly, exclusive);
}

int TFaultInjectingFiles::Create(const std::string& path, bool mustBeNew) {
  int error = Fault(TFileOp::Create);
  return error ? -error : FInner.Create(path, mustBeNew);
}

int TFaultInjectingFiles::Close(int fd) {
  int error = Fault(TFileOp::Close);
  return error ? -error : FInner.Close(fd);
}

int64_t TFaultInjectingFiles::Read(int fd, void* buffer, int64_t count, int64_t offset) {
  int error = Fault(TFileOp::Read);
  return error ? -error : FInner.Read(fd, buffer, count, offset);
}

int64_t TFaultInjectingFiles::Write(int fd, const void* buffer, int64_t count, int64_t offset) {
  int error = Fault(TFileOp::Write);
  return error ? -error : FInner.Write(fd, buffer, count, offset);
}

int TFaultInjectingFiles::Truncate(int fd, int64_t size) {
  int error = Fault(TFileOp::Truncate);
  return error ? -error : FInner.Truncate(fd, size);
}

int TFaultInjectingFiles::Flush(int fd) {
  int error = Fault(TFileOp::Flush);
  return error ? -error : FInner.Flush(fd);
}

int64_t TFaultInjectingFiles::Size(int fd) {
  int error = Fault(TFileOp::Size);
  return error ? -error : FInner.Size(fd);
}

int TFaultInjectingFiles::Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) {
  int error = Fault(TFileOp::Lock);
  return error ? -error : FInner.Lock(fd, offset, length, readOnlyFd);
}

int TFaultInjectingFiles::Unlock(int fd, int64_t offset, int64_t length) {
  int error = Fault(TFileOp::Unlock);
  return error ? -error : FInner.Unlock(fd, offset, length);
}

host::TFileAttributes TFaultInjectingFiles::Attributes(const std::string& path) {
  return Fault(TFileOp::Attributes) ? host::TFileAttributes{} : FInner.Attributes(path);
}

int TFaultInjectingFiles::Rename(const std::string& oldPath, const std::string& newPath) {
  int error = Fault(TFileOp::Rename);
  return error ? -error : FInner.Rename(oldPath, newPath);
}

int TFaultInjectingFiles::Delete(const std::string& path) {
  int error = Fault(TFileOp::Delete);
  return error ? -error : FInner.Delete(path);
}

std::vector<std::string> TFaultInjectingFiles::ListDirectory(const std::string& directory) {
  return Fault(TFileOp::ListDirectory) ? std::vector<std::string>{}
                                       : FInner.ListDirectory(directory);
}

std::string TFaultInjectingFiles::Resolve(const std::string& path) {
  return Fault(TFileOp::Resolve) ? path : FInner.Resolve(path);
}

}  // namespace cairn::test
