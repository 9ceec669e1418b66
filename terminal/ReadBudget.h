// How fast the key reader takes input in: a steady rate with a small burst, counted in bytes over
// time whatever the size of one read (a terminal hands out at most 4095 bytes a read, a pipe
// 4096 or more), so that endless input (a file of zeros, `yes`, a flood of reports) costs little
// CPU while a typist or the terminal's answers never wait. Pure: bytes and times in, the time to
// read again out.
#pragma once

#include <cstddef>
#include <cstdint>

class TReadBudget {
 public:
  static constexpr int64_t BytesPerMs = 400;   // 400 KB/s, far beyond keys and answers
  static constexpr int64_t BurstBytes = 4096;  // taken at once after a quiet spell

  void Took(size_t Bytes, int64_t NowMs);  // Bytes were read at NowMs
  int64_t ReadyAt() const;                 // the next read waits until then

 private:
  int64_t Allowance = BurstBytes;  // bytes that may still be read; below 0, a debt to rest off
  int64_t LastMs = 0;
};
