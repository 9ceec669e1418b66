// When the show may take the terminal: only as the foreground process group, and its mode only
// from there. Internal to termio/.
#pragma once

#include <termios.h>

namespace Termio {

bool InForeground();                // no other process group holds our terminal
bool WaitForForeground();           // false when the show is to end instead (or cannot wait)
bool SetMode(const termios& Mode);  // the keyboard's mode, only from the foreground
bool ModeChanged();                 // the raw mode was replaced: someone else had the terminal
void StopAs(int Signal);            // stops the way Signal would if the show had no handler
// Once continued from a stop: gives the handlers of signals sent with the continue a moment.
void AwaitContinueHandlers();

}  // namespace Termio
