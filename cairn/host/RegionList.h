// The in-process half of Windows byte-range locks.
//
// Windows locks belong to a file handle, never merge, and a second lock that overlaps a locked
// range fails even through the same handle; an unlock must name a range that was locked. POSIX
// record locks cannot say any of that within one process, so each file keeps a sorted list of the
// regions locked in this process and consults it before the kernel is asked.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace cairn::host {

class TRegionList {
 public:
  // Adds the region [offset, offset + length); fails when it overlaps a locked region
  // (or length is not positive).
  bool Lock(int64_t offset, int64_t length);
  // Removes the region that starts at offset; fails when there is none.
  bool Unlock(int64_t offset);
  bool IsLocked(int64_t offset, int64_t length) const;
  size_t Count() const;
  void Clear();

 private:
  struct TRegion {
    int64_t Start;
    int64_t Length;
  };
  mutable std::recursive_mutex FSection;
  std::vector<TRegion> FRegions;  // sorted by Start, never overlapping
};

}  // namespace cairn::host
