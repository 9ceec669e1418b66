#include "image/Random.h"

namespace {
uint32_t RandomState = 0;
}  // namespace

uint32_t Random(uint32_t N) {
  RandomState = RandomState * 134775813u + 1u;
  return uint32_t((uint64_t(RandomState) * N) >> 32);
}

uint32_t GetRandomState() { return RandomState; }

void SetRandomState(uint32_t State) { RandomState = State; }
