// The floating-point mode the show computes under.
#pragma once

#include <cstdint>

inline constexpr uint16_t ShowControlWord = 0x103F;  // x87: exceptions masked, 24-bit, nearest

// Sets the x87 control word to ShowControlWord where there is an x87 unit. Float maths on x86-64
// runs in SSE, which stays in its default round-to-nearest mode, so this only affects long double.
void SetFloatControlWord();
uint16_t GetFloatControlWord();  // 0 where there is no x87 unit
