// A forked child process for tests of sharing and locks between processes, with a pipe each way
// so that parent and child can take turns.
//
// The child runs its body and leaves with _exit(), never returning into the test framework; an
// exception in the body exits with status 100. A child still running when the object goes is
// killed and reaped.
#pragma once

#include <sys/types.h>

#include <functional>

namespace cairn::test {

// One side's ends of the two pipes.
class TChannel {
 public:
  TChannel(int readFd, int writeFd) : FReadFd(readFd), FWriteFd(writeFd) {}
  void Send(char message);
  // The next message from the other side; 0 when it closed its end or sent nothing for 10 s.
  char Receive();

 private:
  int FReadFd;
  int FWriteFd;
};

class TChildProcess {
 public:
  // body returns the child's exit status.
  explicit TChildProcess(const std::function<int(TChannel&)>& body);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  TChannel& Channel() { return FChannel; }
  void Send(char message) { FChannel.Send(message); }
  char Receive() { return FChannel.Receive(); }
  // Waits for the child to end; its exit status, or -1 when it did not exit normally.
  int Wait();
  // Kills the child with SIGKILL and reaps it; what it sent before stays readable.
  void Kill();

 private:
  pid_t FPid = -1;
  int FToChild[2] = {-1, -1};
  int FFromChild[2] = {-1, -1};
  TChannel FChannel{-1, -1};
};

}  // namespace cairn::test
