#include "loader/random.h"

#include <gtest/gtest.h>

TEST(Random, SeededFromTimeOfDay) {
    SeedRandomFromTime(10, 20, 30, 400);
    EXPECT_EQ(RandomSeed, 37230400u);
    // 37230400 * 134775813 + 1 mod 2^32, then its top 25 bits.
    const uint32_t Next = static_cast<uint32_t>(37230400ull * 134775813ull + 1);
    EXPECT_EQ(RandomBelow(1u << 25), Next >> 7);
    EXPECT_EQ(RandomSeed, Next);
    // The last millisecond of the day still fits 32 bits.
    SeedRandomFromTime(23, 59, 59, 999);
    EXPECT_EQ(RandomSeed, 86399999u);
}

TEST(Random, BoundsAreKept) {
    RandomSeed = 0xFFFFFFFFu;
    for (int I = 0; I < 1000; ++I) {
        EXPECT_EQ(RandomBelow(1), 0u);
        EXPECT_EQ(RandomBelow(0), 0u);
        EXPECT_LT(RandomBelow(7), 7u);
    }
    // The high half of seed * N: the largest seed maps to N - 1.
    RandomSeed = static_cast<uint32_t>((0xFFFFFFFFull - 1) * 0xD94FA8CDull); // inverse multiplier
    EXPECT_EQ(RandomBelow(1000), 999u);
    EXPECT_EQ(RandomSeed, 0xFFFFFFFFu);
}
