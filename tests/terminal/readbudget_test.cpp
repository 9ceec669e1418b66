#include <gtest/gtest.h>

#include <algorithm>

#include "terminal/ReadBudget.h"

namespace {

// Input that never ends is taken at the rate over time whatever each read returns (a terminal
// 4095 bytes at most, a pipe 4096 or a whole 64 KiB), with one burst on top; a typist's few
// bytes never wait.
TEST(ReadBudgetTest, AFloodIsTakenAtTheRateWhateverTheSizeOfOneRead) {
  constexpr int64_t Ms = 10000;
  for (int64_t ReadSize : {1, 64, 4095, 4096, 65536}) {
    TReadBudget Budget;
    int64_t Now = 1000, Read = 0;
    while (Now < 1000 + Ms) {
      Budget.Took(size_t(ReadSize), Now);
      Read += ReadSize;
      Now = std::max(Now, Budget.ReadyAt());
    }
    EXPECT_GE(Read, Ms * TReadBudget::BytesPerMs) << ReadSize;
    EXPECT_LE(Read, Ms * TReadBudget::BytesPerMs + TReadBudget::BurstBytes + ReadSize) << ReadSize;
  }
  TReadBudget Typist;
  for (int64_t Now = 0; Now < 10000; Now += 50) {
    Typist.Took(3, Now);
    ASSERT_LE(Typist.ReadyAt(), Now) << Now;
  }
}

}  // namespace
