// A THostFiles decorator that counts what the engine asks of the disk: write calls and bytes,
// read calls and bytes. Everything is passed on unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/host/HostFiles.h"

namespace cairn::bench {

struct TFileCounts {
  int64_t Writes = 0;
  int64_t BytesWritten = 0;
  int64_t Reads = 0;
  int64_t BytesRead = 0;
};

class TCountingFiles : public host::THostFiles {
 public:
  explicit TCountingFiles(host::THostFiles& inner = host::PosixFiles()) : FInner(inner) {}

  const TFileCounts& Counts() const { return FCounts; }

  int Open(const std::string& path, bool readOnly, bool exclusive) override;
  int Create(const std::string& path) override;
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
  host::THostFiles& FInner;
  TFileCounts FCounts;
};

}  // namespace cairn::bench
