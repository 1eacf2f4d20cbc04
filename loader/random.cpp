#include "loader/random.h"

uint32_t RandomSeed = 0;

void SeedRandomFromTime(uint32_t Hour, uint32_t Minute, uint32_t Second, uint32_t Milliseconds) {
    RandomSeed = ((Hour * 60 + Minute) * 60 + Second) * 1000 + Milliseconds;
}

uint32_t RandomBelow(uint32_t N) {
    constexpr uint32_t Multiplier = 0x08088405; // 134775813
    RandomSeed = RandomSeed * Multiplier + 1;   // wraps modulo 2^32
    // The high half of the 64-bit product scales the seed into 0 .. N - 1.
    return static_cast<uint32_t>((static_cast<uint64_t>(RandomSeed) * N) >> 32);
}
