#include "cairn/host/RegionList.h"

#include <algorithm>
#include <limits>

namespace cairn::host {

namespace {

// Last byte of a region; regions are closed ranges [Start, Last] for the overlap rules, so two
// regions that merely touch do not overlap.
int64_t LastByte(int64_t start, int64_t length) {
  return start + length - 1;
}

}  // namespace

bool TRegionList::Lock(int64_t offset, int64_t length) {
  if (offset < 0 || length <= 0 || offset > std::numeric_limits<int64_t>::max() - length)
    return false;
  std::lock_guard<std::recursive_mutex> guard(FSection);
  auto next = std::lower_bound(FRegions.begin(), FRegions.end(), offset,
                               [](const TRegion& r, int64_t start) { return r.Start < start; });
  if (next != FRegions.end() && next->Start == offset) return false;
  if (next != FRegions.begin()) {
    const TRegion& previous = *(next - 1);
    if (LastByte(previous.Start, previous.Length) >= offset) return false;
  }
  if (next != FRegions.end() && next->Start <= LastByte(offset, length)) return false;
  FRegions.insert(next, TRegion{offset, length});
  return true;
}

bool TRegionList::Unlock(int64_t offset) {
  std::lock_guard<std::recursive_mutex> guard(FSection);
  auto it = std::lower_bound(FRegions.begin(), FRegions.end(), offset,
                             [](const TRegion& r, int64_t start) { return r.Start < start; });
  if (it == FRegions.end() || it->Start != offset) return false;
  FRegions.erase(it);
  return true;
}

bool TRegionList::IsLocked(int64_t offset, int64_t length) const {
  if (offset < 0 || length <= 0 || offset > std::numeric_limits<int64_t>::max() - length)
    return false;
  std::lock_guard<std::recursive_mutex> guard(FSection);
  int64_t last = LastByte(offset, length);
  // The first region starting after the range's last byte; only its predecessor can overlap.
  auto after = std::upper_bound(FRegions.begin(), FRegions.end(), last,
                                [](int64_t value, const TRegion& r) { return value < r.Start; });
  if (after == FRegions.begin()) return false;
  const TRegion& candidate = *(after - 1);
  return LastByte(candidate.Start, candidate.Length) >= offset;
}

size_t TRegionList::Count() const {
  std::lock_guard<std::recursive_mutex> guard(FSection);
  return FRegions.size();
}

void TRegionList::Clear() {
  std::lock_guard<std::recursive_mutex> guard(FSection);
  FRegions.clear();
}

}  // namespace cairn::host
