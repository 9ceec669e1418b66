// Interrupts: interruption (SIGINT, SIGTERM, SIGHUP) while a video or a cast is made: the run
// stops and cleans up. System calls the signal interrupts are not restarted, so no write waits on.
#pragma once

void CatchInterrupts();  // from here on an interruption is remembered, not fatal
bool Interrupted();      // an interruption came
