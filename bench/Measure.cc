#include "bench/Measure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace cairn::bench {

namespace {

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t CurrentRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
  return 0;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = ::write(fd, p, size);
    if (done <= 0) return false;
    p += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

TStopwatch::TStopwatch() : FStartNs(NowNs()) {}
double TStopwatch::Seconds() const {
  return (NowNs() - FStartNs) / 1e9;
}

TMeasure RunMeasured(const std::function<void(TMeasure&)>& workload) {
  TMeasure result;
  int channel[2];
  if (::pipe(channel) != 0) {
    std::snprintf(result.Error, sizeof result.Error, "pipe failed");
    return result;
  }
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(channel[0]);
    TMeasure measure;
    measure.StartRssKiB = CurrentRssKiB();
    try {
      workload(measure);
    } catch (const std::exception& e) {
      std::snprintf(measure.Error, sizeof measure.Error, "%s", e.what());
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    measure.PeakRssKiB = usage.ru_maxrss;
    measure.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    WriteAll(channel[1], &measure, sizeof measure);
    ::_exit(0);
  }
  ::close(channel[1]);
  size_t got = 0;
  char* into = reinterpret_cast<char*>(&result);
  while (got < sizeof result) {
    const ssize_t done = ::read(channel[0], into + got, sizeof result - got);
    if (done <= 0) break;
    got += static_cast<size_t>(done);
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (got != sizeof result) {
    result = TMeasure{};
    std::snprintf(result.Error, sizeof result.Error, "the workload's process ended with status %d",
                  status);
  }
  return result;
}

TProcessIo ProcessIo() {
  TProcessIo io;
  std::ifstream file("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (file >> key >> value) {
    if (key == "syscw:") io.WriteCalls = value;
    if (key == "wchar:") io.BytesWritten = value;
    if (key == "syscr:") io.ReadCalls = value;
    if (key == "rchar:") io.BytesRead = value;
  }
  return io;
}

int64_t FileBytes(const std::string& directory, const std::string& prefix) {
  int64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.is_regular_file() && entry.path().filename().string().rfind(prefix, 0) == 0)
      total += static_cast<int64_t>(entry.file_size());
  return total;
}

double SequentialWriteSeconds(const std::string& path, int64_t bytes) {
  std::vector<char> chunk(1 << 20, 'x');
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  TStopwatch watch;
  for (int64_t left = bytes; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, chunk.size()));
    if (!WriteAll(fd, chunk.data(), n)) break;
    left -= static_cast<int64_t>(n);
  }
  ::close(fd);
  const double seconds = watch.Seconds();
  ::unlink(path.c_str());
  return seconds;
}

}  // namespace cairn::bench
