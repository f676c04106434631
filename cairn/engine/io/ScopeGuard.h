// Undoing half-done work when a step fails, by RAII instead of catch-and-rethrow.
//
//   TScopeGuard undo([&] { file.DeleteFile(); });
//   ...steps that may fail...
//   undo.Dismiss();  // everything worked: keep it
//
// The cleanup runs when the guard leaves its scope without Dismiss: while a failure unwinds, or
// on every exit when the guard is never dismissed. A failure of the cleanup itself is swallowed:
// the first failure is the one that explains what went wrong, and a second exception during
// unwinding would end the process. Cleanup whose failure must be reported on the normal path is
// called again after Dismiss.
#pragma once

#include <utility>

namespace cairn {

template <typename F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F cleanup) : FCleanup(std::move(cleanup)) {}
  ~TScopeGuard() {
    if (!FActive) return;
    try {
      FCleanup();
    } catch (...) {
      // Runs while another failure unwinds (see above): that one is reported.
    }
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  void Dismiss() { FActive = false; }

 private:
  F FCleanup;
  bool FActive = true;
};

}  // namespace cairn
