#include "terminal/ReadBudget.h"

#include <algorithm>

void TReadBudget::Took(size_t Bytes, int64_t NowMs) {
  if (NowMs > LastMs) Allowance = std::min(BurstBytes, Allowance + (NowMs - LastMs) * BytesPerMs);
  LastMs = std::max(LastMs, NowMs);
  Allowance -= int64_t(Bytes);
}

int64_t TReadBudget::ReadyAt() const {
  return Allowance >= 0 ? LastMs : LastMs + (-Allowance + BytesPerMs - 1) / BytesPerMs;
}
