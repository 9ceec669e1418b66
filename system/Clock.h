// The show's clock: a monotonic high-resolution counter, its frequency and a short sleep.
#pragma once

#include <cstdint>

class IClock {
 public:
  virtual ~IClock() = default;
  virtual int64_t Frequency() const = 0;  // counter ticks per second
  virtual int64_t Counter() = 0;          // current counter reading, never going back
  virtual void Sleep(int Ms) = 0;         // pause for about Ms milliseconds
};

// Value * Multiplier / Divisor for counts of ticks, frames and the like (Value >= 0, Divisor > 0):
// whole divisors first, so that hours at a nanosecond counter do not overflow.
constexpr int64_t ScaleTicks(int64_t Value, int64_t Multiplier, int64_t Divisor) {
  return Value / Divisor * Multiplier + Value % Divisor * Multiplier / Divisor;
}

// The system's monotonic counter (CLOCK_MONOTONIC in nanoseconds, QueryPerformanceCounter on
// Windows). Its readings agree on every processor, so the thread is not pinned.
class TMonotonicClock final : public IClock {
 public:
  int64_t Frequency() const override;
  int64_t Counter() override;
  void Sleep(int Ms) override;
};

// Test double: a counter in microseconds moved by hand; Sleep advances it by the time asked for.
class TManualClock final : public IClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() override { return Now; }
  void Sleep(int Ms) override {
    Now += int64_t(Ms) * 1000;
    ++Sleeps;
  }
  int64_t Now = 0;
  int Sleeps = 0;
};
