// A THostFiles decorator that counts what the engine asks of the disk: write calls and bytes,
// read calls and bytes. Everything is passed on unchanged.
#pragma once

#include <cstdint>

#include "cairn/host/ForwardingFiles.h"

namespace cairn::bench {

struct TFileCounts {
  int64_t Writes = 0;
  int64_t BytesWritten = 0;
  int64_t Reads = 0;
  int64_t BytesRead = 0;
};

class TCountingFiles : public host::TForwardingFiles {
 public:
  explicit TCountingFiles(host::THostFiles& inner = host::PosixFiles()) : TForwardingFiles(inner) {}

  const TFileCounts& Counts() const { return FCounts; }

  int64_t Read(int fd, void* buffer, int64_t count, int64_t offset) override;
  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override;

 private:
  TFileCounts FCounts;
};

}  // namespace cairn::bench
