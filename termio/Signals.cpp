// The signals: the handlers only set flags or give the terminal back (GiveBack); the frame loop
// serves the rest.
#include "termio/Signals.h"

#include <signal.h>

#include "system/Halt.h"
#include "termio/GiveBack.h"
#include "termio/Terminal.h"

namespace Termio {

volatile sig_atomic_t PendingStopSignal = 0;
volatile sig_atomic_t StopKeyPressed = 0;
volatile sig_atomic_t SizeChanged = 1;
volatile sig_atomic_t SuspendRequested = 0;
volatile sig_atomic_t Continued = 0;
bool TerminalStopsIgnored = false;

bool FrameCutShort() { return PendingStopSignal || StopKeyPressed || SuspendRequested; }

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
  AddHaltHook(RestoreTerminal);
}

int StopSignal() { return PendingStopSignal; }
bool StopRequested() { return PendingStopSignal != 0 || OutputLost(); }
