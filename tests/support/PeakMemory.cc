#include "tests/support/PeakMemory.h"

#include <sys/resource.h>

#include <sstream>
#include <string>

#include "cairn/error/EngineError.h"
#include "tests/support/ChildProcess.h"

namespace cairn::test {

namespace {

// Peak resident set of this process in KiB (Linux reports kilobytes).
int64_t PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

TPeakMemory MeasurePeakMemory(const std::function<void()>& action,
                              const std::function<void()>& warmUp) {
  TChildProcess child([&](TChannel& channel) {
    if (warmUp) {
      try {
        warmUp();
      } catch (...) {
        // Only its side effects on memory matter.
      }
    }
    const int64_t before = PeakResidentKiB();
    int code = 0;
    int completed = 0;
    try {
      action();
      completed = 1;
    } catch (const ECairnEngineError& error) {
      code = error.ErrorCode();
    } catch (...) {
      code = -1;
    }
    const int64_t growth = PeakResidentKiB() - before;
    // Text, so that no byte of the report is the channel's "nothing" (0).
    for (char c : std::to_string(growth) + " " + std::to_string(code) + " " +
                      std::to_string(completed) + "\n") {
      channel.Send(c);
    }
    return 0;
  });
  std::string report;
  for (char c = child.Receive(); c != '\n' && c != 0; c = child.Receive()) report += c;
  TPeakMemory result;
  if (child.Wait() != 0) return result;
  std::istringstream in(report);
  int64_t growthKiB = 0;
  int code = 0, completed = 0;
  if (!(in >> growthKiB >> code >> completed) || code < 0) return result;
  result.GrowthBytes = growthKiB * 1024;
  result.ErrorCode = static_cast<uint16_t>(code);
  result.Completed = completed != 0;
  return result;
}

}  // namespace cairn::test
