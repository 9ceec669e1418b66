// Job control: the show takes the terminal only in the foreground, stops as any program would when
// it is not, and leaves the mode to whoever holds the terminal.
#include "termio/JobControl.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

#include "termio/GiveBack.h"
#include "termio/Signals.h"

namespace Termio {

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
    AwaitContinueHandlers();
    if (!Continued) return false;  // never stopped: an orphaned process group, which no one can fg
  }
}

void AwaitContinueHandlers() {
  // `kill %1` sends SIGTERM, then SIGCONT: its handler may run on another thread a moment after
  // the continue, and must not find the show stopped again.
  for (int Ms = 0; Ms < 100 && !PendingStopSignal && !(Continued && InForeground()); Ms += 10)
    poll(nullptr, 0, 10);
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

}  // namespace Termio
