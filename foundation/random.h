#pragma once
// The pseudo-random generator both games share. Its sequence is part of the
// games' behaviour (the card game deals the same cards from the same seed), so
// it is reproduced exactly: seed := seed * 134775813 + 1 (mod 2^32), and a
// draw in [0, n) is the upper 32 bits of the 64-bit product seed * n.
#include <cstdint>

namespace foundation {

uint32_t RandSeed();
void SetRandSeed(uint32_t seed);
// A draw in [0, n); n <= 0 gives 0 (and still advances the seed).
int32_t Random(int32_t n);

}  // namespace foundation
