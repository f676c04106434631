// One measured run: a workload runs in a forked child, so that its peak resident memory is its
// own and every engine starts from nothing; the child sends its figures back through a pipe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cairn::bench {

struct TMeasure {
  double Seconds = 0;  // the timed part of the workload only
  int64_t Rows = 0;
  int64_t BytesWritten = 0;
  int64_t WriteCalls = 0;
  int64_t BytesRead = 0;
  int64_t ReadCalls = 0;
  int64_t Checksum = 0;     // what a scan summed, so that nothing is optimised away
  int64_t PeakRssKiB = 0;   // the child's peak resident set
  int64_t StartRssKiB = 0;  // its resident set when it started (inherited from the parent)
  double CpuSeconds = 0;    // user + system time of the whole child: on a shared machine the
                            // wall-clock Seconds include waiting for a core, this does not
  char Error[256] = {};

  double RowsPerSecond() const { return Seconds > 0 ? Rows / Seconds : 0; }
  bool Failed() const { return Error[0] != 0; }
};

// A stopwatch on the monotonic clock.
class TStopwatch {
 public:
  TStopwatch();
  double Seconds() const;

 private:
  int64_t FStartNs;
};

// Runs the workload in a child process. The workload fills the figures it knows (Seconds, Rows,
// counters, Checksum); peak memory is added here. A workload that throws reports its message.
TMeasure RunMeasured(const std::function<void(TMeasure&)>& workload);

// The write calls and bytes the process passed to the kernel so far (/proc/self/io).
struct TProcessIo {
  int64_t WriteCalls = 0;
  int64_t BytesWritten = 0;
  int64_t ReadCalls = 0;
  int64_t BytesRead = 0;
};
TProcessIo ProcessIo();

// The bytes of the files of a directory whose names start with prefix.
int64_t FileBytes(const std::string& directory, const std::string& prefix);

// Writes `bytes` bytes to a new file with 1 MB write calls, as dd would, and returns the seconds
// taken (the file is removed afterwards): the floor for a workload that must write that much.
double SequentialWriteSeconds(const std::string& path, int64_t bytes);

}  // namespace cairn::bench
