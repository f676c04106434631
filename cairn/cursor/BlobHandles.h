// A cursor's table of open blob values: each TBlobBuffer registered gets a positive handle, which
// the record's blob field carries, negated, while the value is open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cairn/engine/blob/BlobBuffer.h"

namespace cairn {

class TBlobHandles {
 public:
  // Registers a buffer; its handle (1, 2, ...; freed handles are reused).
  int32_t Register(std::unique_ptr<TBlobBuffer> buffer);
  // The buffer of a handle, or null.
  TBlobBuffer* Find(int32_t handle) const;
  // The buffer whose handle a record's blob field carries (negated), or null: a block number
  // (zero or more) and a damaged field's most negative value, which negates to no handle, are none.
  TBlobBuffer* FindReference(int32_t reference) const {
    return reference < 0 && reference != INT32_MIN ? Find(-reference) : nullptr;
  }
  // Unregisters and frees the buffer of a handle (nothing for an unknown handle).
  void Free(int32_t handle);
  void FreeAll() { FBuffers.clear(); }
  // Handles in use, in ascending order.
  std::vector<int32_t> Handles() const;
  size_t Count() const;

 private:
  std::vector<std::unique_ptr<TBlobBuffer>> FBuffers;  // handle h at h - 1
};

}  // namespace cairn
