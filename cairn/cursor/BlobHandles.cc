#include "cairn/cursor/BlobHandles.h"

namespace cairn {

int32_t TBlobHandles::Register(std::unique_ptr<TBlobBuffer> buffer) {
  for (size_t i = 0; i < FBuffers.size(); ++i) {
    if (FBuffers[i] == nullptr) {
      FBuffers[i] = std::move(buffer);
      return static_cast<int32_t>(i + 1);
    }
  }
  FBuffers.push_back(std::move(buffer));
  return static_cast<int32_t>(FBuffers.size());
}

TBlobBuffer* TBlobHandles::Find(int32_t handle) const {
  if (handle < 1 || static_cast<size_t>(handle) > FBuffers.size()) return nullptr;
  return FBuffers[static_cast<size_t>(handle - 1)].get();
}

void TBlobHandles::Free(int32_t handle) {
  if (Find(handle) == nullptr) return;
  FBuffers[static_cast<size_t>(handle - 1)].reset();
  while (!FBuffers.empty() && FBuffers.back() == nullptr) FBuffers.pop_back();
}

std::vector<int32_t> TBlobHandles::Handles() const {
  std::vector<int32_t> handles;
  for (size_t i = 0; i < FBuffers.size(); ++i) {
    if (FBuffers[i] != nullptr) handles.push_back(static_cast<int32_t>(i + 1));
  }
  return handles;
}

size_t TBlobHandles::Count() const {
  return Handles().size();
}

}  // namespace cairn
