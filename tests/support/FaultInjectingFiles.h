// A THostFiles decorator for tests: counts the calls of every operation and can make a chosen
// call fail with a chosen Windows error, without passing it on to the wrapped files.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cairn/host/HostFiles.h"

namespace cairn::test {

enum class TFileOp {
  Open,
  Create,
  Close,
  Read,
  Write,
  Truncate,
  Flush,
  Size,
  Lock,
  Unlock,
  Attributes,
  Rename,
  Delete,
  ListDirectory,
  Resolve,
};
constexpr size_t kFileOpCount = static_cast<size_t>(TFileOp::Resolve) + 1;

class TFaultInjectingFiles : public host::THostFiles {
 public:
  explicit TFaultInjectingFiles(host::THostFiles& inner = host::PosixFiles()) : FInner(inner) {}

  // Makes call number `call` of op (counted from 1 since construction or ResetCounts) fail with
  // -windowsError; with andLater, that call and every later one. A failed call is counted but
  // not passed on: a failed Close leaves the descriptor open. Operations without an error result
  // fail in their own way: Attributes reports a missing file, ListDirectory an empty folder, and
  // Resolve returns the path unchanged.
  void Arm(TFileOp op, int64_t call, int windowsError, bool andLater = false);
  // The same for the next call of op after those made so far.
  void ArmNext(TFileOp op, int windowsError, bool andLater = false);
  void Disarm();
  int64_t Calls(TFileOp op) const;
  void ResetCounts();

  int Open(const std::string& path, bool readOnly, bool exclusive) override;
  int Create(const std::string& path, bool mustBeNew = false) override;
  int Close(int fd) override;
  int64_t Read(int fd, void* buffer, int64_t count, int64_t offset) override;
  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override;
  int Truncate(int fd, int64_t size) override;
  int Flush(int fd) override;
  int64_t Size(int fd) override;
  int Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) override;
  int Unlock(int fd, int64_t offset, int64_t length) override;
  host::TFileAttributes Attributes(const std::string& path) override;
  int Rename(const std::string& oldPath, const std::string& newPath) override;
  int Delete(const std::string& path) override;
  std::vector<std::string> ListDirectory(const std::string& directory) override;
  std::string Resolve(const std::string& path) override;

 private:
  struct TFault {
    TFileOp Op;
    int64_t Call;
    int Error;
    bool AndLater;
  };

  // Counts a call of op; returns the Windows error it must fail with, or 0 to pass it on.
  int Fault(TFileOp op);

  host::THostFiles& FInner;
  mutable std::mutex FSection;
  std::array<int64_t, kFileOpCount> FCalls{};
  std::vector<TFault> FFaults;
};

}  // namespace cairn::test
