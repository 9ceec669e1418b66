#include "tools/capture/Interrupts.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

namespace {
// Process-wide by nature: the control handler runs on a thread of the system's.
std::atomic<bool> InterruptCame{false};

BOOL WINAPI OnControl(DWORD Event) {
  if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && Event != CTRL_CLOSE_EVENT) return FALSE;
  InterruptCame = true;
  return TRUE;
}
}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return InterruptCame; }
