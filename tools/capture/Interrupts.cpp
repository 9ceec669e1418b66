#include "tools/capture/Interrupts.h"

#include <signal.h>

#include <initializer_list>

namespace {
// Process-wide by nature: a signal handler can reach nothing else.
volatile sig_atomic_t InterruptSignal = 0;
void OnInterrupt(int Signal) { InterruptSignal = Signal; }
}  // namespace

void CatchInterrupts() {
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnInterrupt;
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(Signal, &Action, nullptr);
}

bool Interrupted() { return InterruptSignal != 0; }
