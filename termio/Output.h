// The screen's writes: a descriptor of our own, writes that wait for a full output only as long as
// the show allows, and the first failed write, which ends the show. Internal to termio/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Termio {

// Errno of the first failed write, 0 when all went out. A full output is waited for: a frame until
// FrameCutShort (EINTR), closing bytes (Bounded) at most CloseWaitMs (ETIMEDOUT).
int WriteAll(int Fd, const char* Data, size_t Length, bool Bounded);
constexpr int CloseWaitMs = 500;  // a terminal that stopped reading holds the end up no longer
int OpenScreenOutput();           // a non-blocking descriptor of standard output of our own, or 1
void NoteOutputError(int Error);  // the first failed write of the screen ends the show (OutputLost)
int64_t NowMs();                  // the monotonic clock in milliseconds

}  // namespace Termio
