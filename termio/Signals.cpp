// Signals, job control and the give-back of the terminal. The handlers only set flags or give the
// terminal back with write, poll, tcsetattr and dup2; the frame loop serves the rest.
#include "termio/Signals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "system/Halt.h"
#include "termio/Terminal.h"

namespace Termio {

volatile sig_atomic_t PendingStopSignal = 0;
volatile sig_atomic_t StopKeyPressed = 0;
volatile sig_atomic_t SizeChanged = 1;
volatile sig_atomic_t SuspendRequested = 0;
volatile sig_atomic_t Continued = 0;
TRestoreState Restore;

namespace {
std::atomic<int> FailedWriteErrno{0};
// Whoever started the show ignored SIGTTOU: it wants no stop for the terminal (no job control).
bool TerminalStopsIgnored = false;
constexpr int FullOutputPollMs = 50;  // how often a full output is looked at for a stop
}  // namespace

void NoteOutputError(int Error) {
  int None = 0;
  FailedWriteErrno.compare_exchange_strong(None, Error);
}

bool FrameCutShort() { return PendingStopSignal || StopKeyPressed || SuspendRequested; }

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

bool InForeground() {
  for (int Fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    pid_t Group = tcgetpgrp(Fd);  // fails on anything but our controlling terminal
    if (Group > 0 && Group != getpgrp()) return false;
  }
  return true;
}

void StopAs(int Signal) {
  struct sigaction Default {}, Old{};
  sigemptyset(&Default.sa_mask);
  Default.sa_handler = SIG_DFL;
  sigaction(Signal, &Default, &Old);
  raise(Signal);
  sigaction(Signal, &Old, nullptr);
}

// A show in the background stops as any program that wants its terminal does (SIGTTOU) and looks
// again once continued, as `bg` continues it in the background.
bool WaitForForeground() {
  while (true) {
    if (PendingStopSignal || StopKeyPressed) return false;
    if (InForeground() || TerminalStopsIgnored) return true;
    Continued = 0;
    StopAs(SIGTTOU);
    // `kill %1` sends SIGTERM, then SIGCONT: its handler may run on another thread a moment after
    // the continue, and must not find the show stopped again.
    for (int Ms = 0; Ms < 100 && !PendingStopSignal && !(Continued && InForeground()); Ms += 10)
      poll(nullptr, 0, 10);
    if (!Continued) return false;  // never stopped: an orphaned process group, which no one can fg
  }
}

// Whoever holds the terminal owns its mode: from the background (the shell took the terminal after
// it stopped a wrapper around the show) the mode is left alone. SIGTTOU is held off meanwhile, so
// that a race with the shell cannot stop the show here.
bool SetMode(const termios& Mode) {
  if (!InForeground() && !TerminalStopsIgnored) return false;
  sigset_t Hold, Old;
  sigemptyset(&Hold);
  sigaddset(&Hold, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &Hold, &Old);
  tcflush(Restore.TermiosFd, TCIFLUSH);  // keys typed meanwhile are not for the next owner
  // Not TCSAFLUSH: it waits for the output to drain, forever when the terminal stopped reading.
  bool Set = tcsetattr(Restore.TermiosFd, TCSANOW, &Mode) == 0;
  pthread_sigmask(SIG_SETMASK, &Old, nullptr);
  return Set;
}

bool ModeChanged() {
  termios Now{};
  if (!Restore.RawApplied || tcgetattr(Restore.TermiosFd, &Now) != 0) return false;
  return Now.c_lflag != Restore.RawTermios.c_lflag || Now.c_iflag != Restore.RawTermios.c_iflag;
}

void GiveBack(bool ForGood) {
  if (ForGood) Restore.ScreenOpen = 0;
  if (Restore.ScreenShown) {
    Restore.ScreenShown = 0;
    WriteAll(Restore.OutFd, Restore.CloseBytes, Restore.CloseLength, true);
  }
  if (Restore.RawApplied) {
    Restore.RawApplied = 0;
    SetMode(Restore.SavedTermios);
  }
  if (ForGood) {
    Restore.TermiosSaved = 0;
    ReleaseStandardError();
  }
}

// Only a terminal's standard error would land on the picture. A file of our own takes it; a pipe
// could fill and block whichever thread writes.
void CaptureStandardError() {
  if (Restore.SavedStderr >= 0 || !isatty(STDERR_FILENO)) return;
  int Captured = memfd_create("vorlek-stderr", MFD_CLOEXEC);
  int Saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  // Appended to, so that whoever else opened it (a child, /proc) never writes over it.
  if (Captured < 0 || Saved < 0 || fcntl(Captured, F_SETFL, O_APPEND) < 0 || dup2(Captured, STDERR_FILENO) < 0) {
    if (Captured >= 0) close(Captured);
    if (Saved >= 0) close(Saved);
    return;
  }
  Restore.CapturedStderr = Captured;
  Restore.SavedStderr = Saved;
}

void ReleaseStandardError() {
  int Saved = Restore.SavedStderr, Captured = Restore.CapturedStderr;
  if (Saved < 0) return;
  Restore.SavedStderr = Restore.CapturedStderr = -1;
  dup2(Saved, STDERR_FILENO);
  close(Saved);
  // A library that floods standard error gets its first 64 KiB shown.
  char Buffer[4096];
  off_t At = 0;
  ssize_t Count;
  while (At < (off_t(1) << 16) && (Count = pread(Captured, Buffer, sizeof Buffer, At)) > 0) {
    WriteAll(STDERR_FILENO, Buffer, size_t(Count), true);
    At += Count;
  }
  close(Captured);
}

namespace {
void OnStopSignal(int Signal) { PendingStopSignal = Signal; }
void OnResize(int) { SizeChanged = 1; }
void OnSuspend(int) { SuspendRequested = 1; }
void OnContinue(int) { Continued = 1; }

// SA_RESETHAND made the action the default again: raised again, the signal is delivered once the
// handler returns, and the process dies of it with the usual status.
void OnFatalSignal(int Signal) {
  GiveBack(true);
  raise(Signal);
}

// Every signal whose default action ends the process, but those that ask the show to stop.
constexpr int FatalSignals[] = {
    SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
    SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,  SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// Only a default action is replaced: an ignored signal stays ignored (the starter asked for it), and
// a handler installed before us (a sanitizer's) keeps its job.
void GiveBackOn(int Signal) {
  struct sigaction Old {};
  if (sigaction(Signal, nullptr, &Old) != 0 || Old.sa_handler != SIG_DFL || (Old.sa_flags & SA_SIGINFO)) return;
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnFatalSignal;
  Action.sa_flags = SA_RESETHAND;
  sigaction(Signal, &Action, nullptr);
}
}  // namespace

}  // namespace Termio

using namespace Termio;

void RestoreTerminal() { GiveBack(true); }

void InstallSignalHandlers() {
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnStopSignal;
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(Signal, &Action, nullptr);
  Action.sa_flags = SA_RESTART;
  Action.sa_handler = OnResize;
  sigaction(SIGWINCH, &Action, nullptr);
  Action.sa_handler = OnContinue;
  sigaction(SIGCONT, &Action, nullptr);
  Action.sa_handler = OnSuspend;
  sigaction(SIGTSTP, &Action, nullptr);
  // A read from the background fails (EIO) instead of stopping the show, which then could not see
  // a termination request until brought back; the key reader tries again later.
  struct sigaction Old {};
  sigaction(SIGTTOU, nullptr, &Old);
  TerminalStopsIgnored = Old.sa_handler == SIG_IGN;
  signal(SIGTTIN, SIG_IGN);
  for (int Signal : FatalSignals) GiveBackOn(Signal);
  for (int Signal = SIGRTMIN; Signal <= SIGRTMAX; ++Signal) GiveBackOn(Signal);
  signal(SIGPIPE, SIG_IGN);
  SetHaltHook(RestoreTerminal);
}

int StopSignal() { return PendingStopSignal; }
int OutputError() { return FailedWriteErrno.load(); }
bool OutputLost() { return FailedWriteErrno.load() != 0; }
bool StopRequested() { return PendingStopSignal != 0 || OutputLost(); }
