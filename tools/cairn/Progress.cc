#include "tools/cairn/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace cairn::tools {
namespace {

constexpr auto kQuiet = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

}  // namespace

TProgress::TProgress(std::string label, int64_t total)
    : FLabel(std::move(label)),
      FTotal(total),
      FEnabled(isatty(STDERR_FILENO) == 1),
      FStart(std::chrono::steady_clock::now()),
      FLastDraw(FStart) {}

TProgress::~TProgress() {
  // Erase the bar so that what follows starts on a clean line.
  if (FShown) std::fprintf(stderr, "\r\033[K");
}

void TProgress::Draw(int64_t done) {
  const auto now = std::chrono::steady_clock::now();
  if (now - FStart < kQuiet || now - FLastDraw < kRedraw) return;
  FLastDraw = now;
  FShown = true;
  if (FTotal <= 0) {
    std::fprintf(stderr, "\r%s %lld", FLabel.c_str(), static_cast<long long>(done));
  } else {
    const int filled = static_cast<int>(done * kBarWidth / FTotal);
    std::string bar(static_cast<size_t>(kBarWidth), ' ');
    for (int i = 0; i < filled && i < kBarWidth; ++i) bar[static_cast<size_t>(i)] = '#';
    std::fprintf(stderr, "\r%s [%s] %lld/%lld", FLabel.c_str(), bar.c_str(),
                 static_cast<long long>(done), static_cast<long long>(FTotal));
  }
  std::fflush(stderr);
}

}  // namespace cairn::tools
