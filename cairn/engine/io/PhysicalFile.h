// A disk file shared by every opener in the process.
//
// The process holds one descriptor per file; each handle keeps its own position and transfers
// are positioned, under the file section. Byte-range locks are checked against the in-process
// region list first and then taken from the kernel on the one descriptor.
#pragma once

#include "cairn/engine/io/BaseFile.h"

namespace cairn {

class TPhysicalFile : public TBaseFile {
 public:
  TPhysicalFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags);
  ~TPhysicalFile() override;

  int64_t FileSize() override;
  int32_t CreateNew(bool mustBeNew) override;
  int32_t Open(bool& readOnly) override;
  int32_t Close(int32_t handle) override;
  int32_t Rename(const std::string& newName) override;
  int32_t Delete() override;
  int64_t Read(int32_t handle, void* buffer, int64_t count) override;
  int64_t Write(int32_t handle, const void* buffer, int64_t count) override;
  int32_t Flush() override;
  bool Lock(int64_t offset, int64_t length) override;
  bool Unlock(int64_t offset, int64_t length) override;

  bool IsOpen() const { return FPhysicalHandle >= 0; }

 private:
  int32_t OpenDescriptor();
  void CloseDescriptor();

  int FPhysicalHandle = -1;
};

}  // namespace cairn
