// What the show holds of the terminal and how it is given back on every way out (the end, Ctrl-Z,
// a fatal signal, an early exit); when it may take the terminal: only as the foreground process
// group. Internal to termio/: the screen and the keyboard share it. Everything a signal handler
// calls here is async-signal-safe.
#pragma once

#include <signal.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>

namespace Termio {

// --- Requests that arrive as signals or keys, served between two frames
extern volatile sig_atomic_t PendingStopSignal;  // SIGINT, SIGTERM or SIGHUP asked the show to stop
extern volatile sig_atomic_t StopKeyPressed;     // the key reader saw Escape
extern volatile sig_atomic_t SizeChanged;        // SIGWINCH
extern volatile sig_atomic_t SuspendRequested;   // Ctrl-Z (SIGTSTP)
extern volatile sig_atomic_t Continued;          // SIGCONT: someone else may have had the terminal
bool FrameCutShort();  // a frame still being written is left unfinished: the show stops or is suspended
void NoteOutputError(int Error);  // the first failed write of the screen ends the show (OutputLost)

// --- What the show holds
struct TRestoreState {
  volatile sig_atomic_t ScreenOpen = 0;    // between the screen's Open and Close
  volatile sig_atomic_t ScreenShown = 0;   // the open bytes went out, the close bytes not since
  volatile sig_atomic_t TermiosSaved = 0;  // the keyboard is a terminal whose mode is SavedTermios
  volatile sig_atomic_t RawApplied = 0;    // RawTermios is set and not given back
  int TermiosFd = 0;
  int OutFd = 1;              // the screen's descriptor (see OpenScreenOutput)
  int SavedStderr = -1;       // standard error while the show holds the terminal
  int CapturedStderr = -1;    // what was written to standard error meanwhile
  termios SavedTermios{};
  termios RawTermios{};
  char CloseBytes[256] = {};  // prepared at Open, so that a handler only writes them
  size_t CloseLength = 0;
};
extern TRestoreState Restore;

// --- Output
// Errno of the first failed write, 0 when all went out. A full output is waited for: a frame until
// FrameCutShort (EINTR), closing bytes (Bounded) at most CloseWaitMs (ETIMEDOUT).
int WriteAll(int Fd, const char* Data, size_t Length, bool Bounded);
constexpr int CloseWaitMs = 500;  // a terminal that stopped reading holds the end up no longer
int OpenScreenOutput();           // a non-blocking descriptor of standard output of our own, or 1

// --- Taking and giving back
bool InForeground();                  // no other process group holds our terminal
bool WaitForForeground();             // false when the show is to end instead (or cannot wait)
bool SetMode(const termios& Mode);    // the keyboard's mode, only from the foreground
bool ModeChanged();                   // the raw mode was replaced: someone else had the terminal
void GiveBack(bool ForGood);          // screen, mode, and for good standard error too
void CaptureStandardError();          // standard error off the screen while the show holds it
void ReleaseStandardError();          // back where it was, and what it got printed there
void StopAs(int Signal);              // stops the way Signal would if the show had no handler
int64_t NowMs();

}  // namespace Termio
