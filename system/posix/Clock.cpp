#include "system/Clock.h"

#include <ctime>

int64_t TMonotonicClock::Frequency() const { return 1000000000; }

int64_t TMonotonicClock::Counter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void TMonotonicClock::Sleep(int Ms) {
  timespec ts{Ms / 1000, long(Ms % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0) {
  }
}
