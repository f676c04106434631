#include "bench/CountingFiles.h"

namespace cairn::bench {

int TCountingFiles::Open(const std::string& path, bool readOnly, bool exclusive) {
  return FInner.Open(path, readOnly, exclusive);
}
int TCountingFiles::Create(const std::string& path) {
  return FInner.Create(path);
}
int TCountingFiles::Close(int fd) {
  return FInner.Close(fd);
}

int64_t TCountingFiles::Read(int fd, void* buffer, int64_t count, int64_t offset) {
  const int64_t done = FInner.Read(fd, buffer, count, offset);
  ++FCounts.Reads;
  if (done > 0) FCounts.BytesRead += done;
  return done;
}

int64_t TCountingFiles::Write(int fd, const void* buffer, int64_t count, int64_t offset) {
  const int64_t done = FInner.Write(fd, buffer, count, offset);
  ++FCounts.Writes;
  if (done > 0) FCounts.BytesWritten += done;
  return done;
}

int TCountingFiles::Truncate(int fd, int64_t size) {
  return FInner.Truncate(fd, size);
}
int TCountingFiles::Flush(int fd) {
  return FInner.Flush(fd);
}
int64_t TCountingFiles::Size(int fd) {
  return FInner.Size(fd);
}
int TCountingFiles::Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) {
  return FInner.Lock(fd, offset, length, readOnlyFd);
}
int TCountingFiles::Unlock(int fd, int64_t offset, int64_t length) {
  return FInner.Unlock(fd, offset, length);
}
host::TFileAttributes TCountingFiles::Attributes(const std::string& path) {
  return FInner.Attributes(path);
}
int TCountingFiles::Rename(const std::string& oldPath, const std::string& newPath) {
  return FInner.Rename(oldPath, newPath);
}
int TCountingFiles::Delete(const std::string& path) {
  return FInner.Delete(path);
}
std::vector<std::string> TCountingFiles::ListDirectory(const std::string& directory) {
  return FInner.ListDirectory(directory);
}
std::string TCountingFiles::Resolve(const std::string& path) {
  return FInner.Resolve(path);
}

}  // namespace cairn::bench
