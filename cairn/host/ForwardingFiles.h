// A THostFiles that passes every call on to another one. Decorators derive from it and override
// only the calls they watch or change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/host/HostFiles.h"

namespace cairn::host {

class TForwardingFiles : public THostFiles {
 public:
  explicit TForwardingFiles(THostFiles& inner) : FInner(inner) {}

  int Open(const std::string& path, bool readOnly, bool exclusive) override {
    return FInner.Open(path, readOnly, exclusive);
  }
  int Create(const std::string& path, bool mustBeNew = false) override {
    return FInner.Create(path, mustBeNew);
  }
  int Close(int fd) override { return FInner.Close(fd); }
  int64_t Read(int fd, void* buffer, int64_t count, int64_t offset) override {
    return FInner.Read(fd, buffer, count, offset);
  }
  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override {
    return FInner.Write(fd, buffer, count, offset);
  }
  int Truncate(int fd, int64_t size) override { return FInner.Truncate(fd, size); }
  int Flush(int fd) override { return FInner.Flush(fd); }
  int64_t Size(int fd) override { return FInner.Size(fd); }
  int Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) override {
    return FInner.Lock(fd, offset, length, readOnlyFd);
  }
  int Unlock(int fd, int64_t offset, int64_t length) override {
    return FInner.Unlock(fd, offset, length);
  }
  TFileAttributes Attributes(const std::string& path) override { return FInner.Attributes(path); }
  int Rename(const std::string& oldPath, const std::string& newPath) override {
    return FInner.Rename(oldPath, newPath);
  }
  int Delete(const std::string& path) override { return FInner.Delete(path); }
  std::vector<std::string> ListDirectory(const std::string& directory) override {
    return FInner.ListDirectory(directory);
  }
  std::string Resolve(const std::string& path) override { return FInner.Resolve(path); }

 protected:
  THostFiles& Inner() { return FInner; }

 private:
  THostFiles& FInner;
};

}  // namespace cairn::host
