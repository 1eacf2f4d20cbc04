// The loader's pseudo-random generator: a 32-bit linear congruential sequence seeded once from
// the clock. Its only consumer is the choice of the temporary directory's first candidate name.
#pragma once

#include <cstdint>

// 0 until seeded.
extern uint32_t RandomSeed;

// Seeds from the current UTC time of day (Win32: GetSystemTime).
void SeedRandom();
// The seed for a time of day: milliseconds since midnight.
void SeedRandomFromTime(uint32_t Hour, uint32_t Minute, uint32_t Second, uint32_t Milliseconds);
// Advances the seed and returns a number from 0 to N - 1 (0 when N is 0).
uint32_t RandomBelow(uint32_t N);
