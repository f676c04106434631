// A progress bar on standard error, shown only when standard error is a terminal and the work has
// taken more than about a second; silent otherwise. Redrawn at most ten times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cairn::tools {

class TProgress {
 public:
  // total 0: unknown, the bar shows the count only.
  TProgress(std::string label, int64_t total);
  // Clears the bar.
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // Cheap enough to call for every row: looks at the clock once every 256 calls.
  void Update(int64_t done) {
    if (FEnabled && (++FCalls & 255) == 0) Draw(done);
  }

 private:
  void Draw(int64_t done);

  std::string FLabel;
  int64_t FTotal;
  bool FEnabled;
  bool FShown = false;
  uint32_t FCalls = 0;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw;
};

}  // namespace cairn::tools
