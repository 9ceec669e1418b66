// Random: the program's one shared pseudo-random generator (32-bit LCG, state 0 at start). The
// noise, the textures (which reseed it) and the intro's scramble draw from it.
#pragma once

#include <cstdint>

uint32_t Random(uint32_t N);  // 0 <= result < N, for N > 0
uint32_t GetRandomState();
void SetRandomState(uint32_t State);
