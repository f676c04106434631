#include "bench/LoadWorkload.h"

#include <cstdio>

namespace cairn::bench {

void RunLoadWorkload(const std::string& cairnTool, const std::string&, int64_t) {
  if (cairnTool.empty()) {
    std::printf("\nL1 load: skipped (the cairn tool's load command is not available)\n");
    return;
  }
}

}  // namespace cairn::bench
