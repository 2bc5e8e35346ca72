// The runtime library's pseudo-random generator, as programs written for the
// platform see it: a 32-bit linear congruential state, 1 at start. It is kept
// apart from the C library's own rand so its sequence is the same everywhere.
#pragma once

namespace platform::crt {

constexpr int kRandMax = 0x7FFF;

// Advances the state (state * 214013 + 2531011, modulo 2^32) and returns bits
// 16 to 30 of it: a value in 0 to kRandMax.
int rand();
// Sets the state.
void srand(unsigned seed);

}  // namespace platform::crt
