#include "termio/Output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "termio/Signals.h"
#include "termio/Terminal.h"

namespace Termio {

namespace {
std::atomic<int> FailedWriteErrno{0};
constexpr int FullOutputPollMs = 50;  // how often a full output is looked at for a stop
}  // namespace

void NoteOutputError(int Error) {
  int None = 0;
  FailedWriteErrno.compare_exchange_strong(None, Error);
}

int64_t NowMs() {
  timespec Ts{};
  clock_gettime(CLOCK_MONOTONIC, &Ts);
  return int64_t(Ts.tv_sec) * 1000 + Ts.tv_nsec / 1000000;
}

int WriteAll(int Fd, const char* Data, size_t Length, bool Bounded) {
  const int64_t Deadline = NowMs() + CloseWaitMs;
  while (Length > 0) {
    if (!Bounded && FrameCutShort()) return EINTR;
    ssize_t Written = write(Fd, Data, Length);
    if (Written > 0) {
      Data += Written;
      Length -= size_t(Written);
      continue;
    }
    if (Written < 0 && errno == EINTR) continue;
    if (Written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int WaitMs = FullOutputPollMs;
      if (Bounded) {
        int64_t Left = Deadline - NowMs();
        if (Left <= 0) return ETIMEDOUT;
        WaitMs = int(std::min<int64_t>(Left, WaitMs));
      }
      pollfd Out{Fd, POLLOUT, 0};
      poll(&Out, 1, WaitMs);
      continue;
    }
    return Written < 0 ? errno : EIO;
  }
  return 0;
}

// A terminal or pipe is reopened as a description of our own: non-blocking there, so that a
// terminal that stops reading cannot hold a stop up, while the shell's description keeps its flags.
// A file never blocks; a socket cannot be reopened.
int OpenScreenOutput() {
  struct stat Out {};
  if (fstat(STDOUT_FILENO, &Out) != 0 || !(S_ISCHR(Out.st_mode) || S_ISFIFO(Out.st_mode))) return STDOUT_FILENO;
  int Fd = open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return Fd >= 0 ? Fd : STDOUT_FILENO;
}

}  // namespace Termio

int OutputError() { return Termio::FailedWriteErrno.load(); }
bool OutputLost() { return Termio::FailedWriteErrno.load() != 0; }
