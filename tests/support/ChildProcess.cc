#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace cairn::test {

namespace {

constexpr int kReceiveTimeoutMs = 10000;

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

void TChannel::Send(char message) {
  ssize_t n;
  do {
    n = write(FWriteFd, &message, 1);
  } while (n < 0 && errno == EINTR);
}

char TChannel::Receive() {
  pollfd p{FReadFd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, kReceiveTimeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return 0;
  char message = 0;
  ssize_t n;
  do {
    n = read(FReadFd, &message, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? message : 0;
}

TChildProcess::TChildProcess(const std::function<int(TChannel&)>& body) {
  if (pipe2(FToChild, O_CLOEXEC) != 0 || pipe2(FFromChild, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  FPid = fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    close(FToChild[1]);
    close(FFromChild[0]);
    TChannel channel(FToChild[0], FFromChild[1]);
    int status = 100;
    try {
      status = body(channel);
    } catch (...) {
    }
    _exit(status);
  }
  CloseFd(FToChild[0]);
  CloseFd(FFromChild[1]);
  FChannel = TChannel(FFromChild[0], FToChild[1]);
}

TChildProcess::~TChildProcess() {
  if (FPid > 0) {
    kill(FPid, SIGKILL);
    Wait();
  }
  CloseFd(FToChild[1]);
  CloseFd(FFromChild[0]);
}

void TChildProcess::Kill() {
  if (FPid <= 0) return;
  kill(FPid, SIGKILL);
  Wait();
}

int TChildProcess::Wait() {
  if (FPid <= 0) return -1;
  int status = 0;
  pid_t result;
  do {
    result = waitpid(FPid, &status, 0);
  } while (result < 0 && errno == EINTR);
  FPid = -1;
  return (result > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

}  // namespace cairn::test
