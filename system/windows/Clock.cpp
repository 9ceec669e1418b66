#include "system/Clock.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <timeapi.h>

namespace {
int64_t CounterFrequency() {
  LARGE_INTEGER Frequency{};
  QueryPerformanceFrequency(&Frequency);
  return Frequency.QuadPart;
}
}  // namespace

int64_t TMonotonicClock::Frequency() const {
  static const int64_t Value = CounterFrequency();
  return Value;
}

int64_t TMonotonicClock::Counter() {
  LARGE_INTEGER Now{};
  QueryPerformanceCounter(&Now);
  return Now.QuadPart;
}

void TMonotonicClock::Sleep(int Ms) {
  // The scheduler's default tick is 15.6 ms; the frame pacing sleeps 1 ms at a time. The finer
  // period holds until the process ends, when Windows restores it.
  static const bool Fine = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)Fine;
  ::Sleep(DWORD(Ms < 0 ? 0 : Ms));
}
