// Random: the show's pseudo-random generator (32-bit LCG, state 0 at start). One generator serves
// a whole show: every texture reseeds it as it is made, and the intro's noise and scramble draw on
// from where the last texture left it, so every run draws the same numbers. Whoever builds the
// show owns it and hands it to what draws from it.
#pragma once

#include <cstdint>

class TRandom {
 public:
  // 0 <= result < N; N = 0 still advances the state and gives 0.
  uint32_t Random(uint32_t N) {
    State = State * 134775813u + 1u;
    return uint32_t((uint64_t(State) * N) >> 32);
  }

  uint32_t State = 0;
};
