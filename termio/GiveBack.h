// What the show holds of the terminal and how it is given back on every way out (the end, Ctrl-Z,
// a fatal signal, an early exit). Internal to termio/: the screen and the keyboard share it. A
// signal handler may give back: everything here is async-signal-safe.
#pragma once

#include <signal.h>
#include <termios.h>

#include <cstddef>

namespace Termio {

struct TRestoreState {
  volatile sig_atomic_t ScreenOpen = 0;    // between the screen's Open and Close
  volatile sig_atomic_t ScreenShown = 0;   // the open bytes went out, the close bytes not since
  volatile sig_atomic_t TermiosSaved = 0;  // the keyboard is a terminal whose mode is SavedTermios
  volatile sig_atomic_t RawApplied = 0;    // RawTermios is set and not given back
  int TermiosFd = 0;
  int OutFd = 1;              // the screen's descriptor (see OpenScreenOutput)
  termios SavedTermios{};
  termios RawTermios{};
  char CloseBytes[1024] = {};  // prepared at Open, so that a handler only writes them
  size_t CloseLength = 0;
};
extern TRestoreState Restore;

void GiveBack(bool ForGood);  // screen, mode, and for good standard error too

}  // namespace Termio
