// Standard error while the show holds the terminal: kept off the picture, and printed once the
// terminal is given back. Internal to termio/; release is async-signal-safe.
#pragma once

namespace Termio {

void CaptureStandardError();  // standard error off the screen while the show holds it
void ReleaseStandardError();  // back where it was, and what it got printed there

}  // namespace Termio
