// How much a forked child's peak resident memory grows while it runs an action: for tests that
// bound what damaged input can make the engine allocate, measured rather than inferred from the
// code.
//
// The child starts from this process's resident memory at the fork, so only what the action
// itself touches counts. Allocations that are never touched do not show; every allocation the
// engine sizes from a file fills or zeroes its bytes. A first run of code (its pages, the
// allocator's size classes, the exception machinery) costs a few MB of its own: warmUp, run in
// the child before the measure starts, takes that out of small bounds.
#pragma once

#include <cstdint>
#include <functional>

namespace cairn::test {

struct TPeakMemory {
  // Growth of the peak resident set, in bytes; -1 when the child reported nothing.
  int64_t GrowthBytes = -1;
  // The engine error the action raised; 0 when it raised none.
  uint16_t ErrorCode = 0;
  // The action returned normally.
  bool Completed = false;
};

TPeakMemory MeasurePeakMemory(const std::function<void()>& action,
                              const std::function<void()>& warmUp = {});

inline constexpr int64_t kMiB = int64_t{1} << 20;

}  // namespace cairn::test
