// Standard error is taken by a pipe whose reader thread keeps the first 64 KiB, which is all that
// is shown after the show, and only counts the rest: a library that floods standard error costs
// no memory. A file would hold the whole flood until the end.
#include "termio/StandardError.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>
#include <cstdint>
#include <thread>

#include "termio/Output.h"

namespace Termio {

namespace {
constexpr size_t ShownBytes = size_t(1) << 16;
constexpr int DrainWaitMs = 250;  // for the reader to take what is still in the pipe

std::atomic<int> SavedStderr{-1};  // standard error while the show holds the terminal
int Captured = -1;                 // the pipe's end that the reader reads
int Stop[2] = {-1, -1};            // a byte here: the reader takes what is left and ends
int Done[2] = {-1, -1};            // a byte here: the reader has ended
char Kept[ShownBytes];
std::atomic<size_t> KeptBytes{0};
std::atomic<uint64_t> LeftOut{0};

void CloseAll(std::initializer_list<int*> Fds) {
  for (int* Fd : Fds) {
    if (*Fd >= 0) close(*Fd);
    *Fd = -1;
  }
}

// Reads until told to stop or until no one can write any more, then takes what is left.
void ReadCaptured() {
  char Scratch[16384];
  bool Ending = false;
  while (true) {
    pollfd Fds[2] = {{Captured, POLLIN, 0}, {Stop[0], POLLIN, 0}};
    if (!Ending && poll(Fds, 2, -1) < 0) continue;
    if (Fds[1].revents != 0) Ending = true;
    const size_t Have = KeptBytes.load(std::memory_order_relaxed);
    const ssize_t Count = Have < ShownBytes ? read(Captured, Kept + Have, ShownBytes - Have)
                                            : read(Captured, Scratch, sizeof Scratch);
    if (Count > 0) {
      if (Have < ShownBytes)
        KeptBytes.store(Have + size_t(Count), std::memory_order_release);
      else
        LeftOut.fetch_add(uint64_t(Count), std::memory_order_relaxed);
      continue;
    }
    if (Count < 0 && errno == EINTR) continue;
    // No writer left, nothing left after the stop, or a failure that would only repeat.
    if (Count == 0 || Ending || errno != EAGAIN) break;
  }
  char Byte = 0;
  while (write(Done[1], &Byte, 1) < 0 && errno == EINTR) {
  }
}

// Async-signal-safe: no allocation.
void WriteNumber(char*& At, uint64_t Value) {
  char Digits[20];
  int Count = 0;
  do {
    Digits[Count++] = char('0' + Value % 10);
    Value /= 10;
  } while (Value > 0);
  while (Count > 0) *At++ = Digits[--Count];
}

void Append(char*& At, const char* Text) {
  while (*Text) *At++ = *Text++;
}
}  // namespace

// Only a terminal's standard error would land on the picture. The reader never falls behind a
// writer for long, so no thread that writes there is held up.
void CaptureStandardError() {
  if (SavedStderr.load() >= 0 || !isatty(STDERR_FILENO)) return;
  int Pipe[2] = {-1, -1};
  int Saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (Saved < 0 || pipe2(Pipe, O_CLOEXEC) != 0 || pipe2(Stop, O_CLOEXEC) != 0 ||
      pipe2(Done, O_CLOEXEC) != 0 || fcntl(Pipe[0], F_SETFL, O_NONBLOCK) != 0) {
    CloseAll({&Saved, &Pipe[0], &Pipe[1], &Stop[0], &Stop[1], &Done[0], &Done[1]});
    return;
  }
  Captured = Pipe[0];
  KeptBytes = 0;
  LeftOut = 0;
  // Signals are for the other threads: a handler that gives the terminal back waits for this one.
  sigset_t All, Old;
  sigfillset(&All);
  pthread_sigmask(SIG_BLOCK, &All, &Old);
  std::thread(ReadCaptured).detach();
  pthread_sigmask(SIG_SETMASK, &Old, nullptr);
  const bool Taken = dup2(Pipe[1], STDERR_FILENO) >= 0;
  close(Pipe[1]);
  SavedStderr = Saved;
  if (!Taken) ReleaseStandardError();  // ends the reader
}

void ReleaseStandardError() {
  const int Saved = SavedStderr.exchange(-1);
  if (Saved < 0) return;
  dup2(Saved, STDERR_FILENO);
  close(Saved);
  char Byte = 0;
  while (write(Stop[1], &Byte, 1) < 0 && errno == EINTR) {
  }
  pollfd Ended{Done[0], POLLIN, 0};
  while (poll(&Ended, 1, DrainWaitMs) < 0 && errno == EINTR) {
  }
  WriteAll(STDERR_FILENO, Kept, KeptBytes.load(std::memory_order_acquire), true);
  if (const uint64_t More = LeftOut.load()) {
    char Note[160];
    char* At = Note;
    Append(At, "vorlek: ");
    WriteNumber(At, More);
    Append(At, " more bytes written to standard error during the show were left out\n");
    WriteAll(STDERR_FILENO, Note, size_t(At - Note), true);
  }
  // The reader is gone unless it missed its wait: its descriptors are then left to it.
  if (Ended.revents != 0) CloseAll({&Captured, &Stop[0], &Stop[1], &Done[0], &Done[1]});
}

}  // namespace Termio
