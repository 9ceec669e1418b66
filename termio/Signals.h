// The signals the show serves: requests that arrive as flags, served between two frames, and the
// handlers that set them or give the terminal back. Internal to termio/. Everything a handler calls
// is async-signal-safe.
#pragma once

#include <signal.h>

namespace Termio {

// --- Requests that arrive as signals or keys, served between two frames
extern volatile sig_atomic_t PendingStopSignal;  // SIGINT, SIGTERM or SIGHUP asked the show to stop
extern volatile sig_atomic_t StopKeyPressed;     // the key reader saw Escape
extern volatile sig_atomic_t SizeChanged;        // SIGWINCH
extern volatile sig_atomic_t SuspendRequested;   // Ctrl-Z (SIGTSTP)
extern volatile sig_atomic_t Continued;          // SIGCONT: someone else may have had the terminal
// Whoever started the show ignored SIGTTOU: it wants no stop for the terminal (no job control).
extern bool TerminalStopsIgnored;
bool FrameCutShort();  // a frame still being written is left unfinished: the show stops or is suspended

}  // namespace Termio
