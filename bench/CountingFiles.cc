#include "bench/CountingFiles.h"

namespace cairn::bench {

int64_t TCountingFiles::Read(int fd, void* buffer, int64_t count, int64_t offset) {
  const int64_t done = Inner().Read(fd, buffer, count, offset);
  ++FCounts.Reads;
  if (done > 0) FCounts.BytesRead += done;
  return done;
}

int64_t TCountingFiles::Write(int fd, const void* buffer, int64_t count, int64_t offset) {
  const int64_t done = Inner().Write(fd, buffer, count, offset);
  ++FCounts.Writes;
  if (done > 0) FCounts.BytesWritten += done;
  return done;
}

}  // namespace cairn::bench
