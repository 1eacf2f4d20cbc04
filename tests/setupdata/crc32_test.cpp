#include "setupdata/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The plain byte-at-a-time update, built from the polynomial: the reference for the fast path.
uint32_t ReferenceCrc32(const std::vector<uint8_t> &Data) {
    uint32_t Register = 0xFFFFFFFFu;
    for (uint8_t Byte : Data) {
        Register ^= Byte;
        for (int Bit = 0; Bit < 8; ++Bit)
            Register = (Register & 1) ? (Register >> 1) ^ 0xEDB88320u : Register >> 1;
    }
    return ~Register;
}

TEST(Crc32, KnownValues) {
    EXPECT_EQ(ComputeCrc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(ComputeCrc32(nullptr, 0), 0u);
    const std::vector<uint8_t> Zeros(32, 0);
    EXPECT_EQ(ComputeCrc32(Zeros.data(), Zeros.size()), 0x190A55ADu);
}

std::vector<uint8_t> RandomBytes(size_t Size) {
    std::vector<uint8_t> Data(Size);
    uint32_t Seed = 12345;
    for (auto &Byte : Data) {
        Seed = Seed * 1103515245u + 12345u;
        Byte = static_cast<uint8_t>(Seed >> 24);
    }
    return Data;
}

// Lengths up to past two runs of the four 256-byte lanes, so the lane joins and every tail
// length behind them are covered from several alignments.
TEST(Crc32, MatchesReferenceForEveryLengthAndAlignment) {
    const std::vector<uint8_t> Data = RandomBytes(2200);
    for (size_t Start = 0; Start < 9; ++Start)
        for (size_t Length = 0; Start + Length <= Data.size(); Length += Length < 40 ? 1 : 7) {
            std::vector<uint8_t> Piece(Data.begin() + Start, Data.begin() + Start + Length);
            SCOPED_TRACE(testing::Message() << "start " << Start << " length " << Length);
            EXPECT_EQ(ComputeCrc32(Data.data() + Start, Length), ReferenceCrc32(Piece));
        }
}

TEST(Crc32, LargeBufferMatchesReferenceAndAccumulatesAcrossLaneRuns) {
    const std::vector<uint8_t> Data = RandomBytes(100000);
    const uint32_t Whole = ComputeCrc32(Data.data(), Data.size());
    EXPECT_EQ(Whole, ReferenceCrc32(Data));
    for (size_t Cut : {size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(4096 + 13)}) {
        uint32_t Register = AccumulateCrc32(0xFFFFFFFFu, Data.data(), Cut);
        Register = AccumulateCrc32(Register, Data.data() + Cut, Data.size() - Cut);
        EXPECT_EQ(~Register, Whole) << "cut at " << Cut;
    }
}

TEST(Crc32, AccumulatesInPieces) {
    const std::string Text = "The quick brown fox jumps over the lazy dog";
    const uint32_t Whole = ComputeCrc32(Text.data(), Text.size());
    EXPECT_EQ(Whole, 0x414FA339u);
    for (size_t Cut = 0; Cut <= Text.size(); ++Cut) {
        uint32_t Register = AccumulateCrc32(0xFFFFFFFFu, Text.data(), Cut);
        Register = AccumulateCrc32(Register, Text.data() + Cut, Text.size() - Cut);
        EXPECT_EQ(~Register, Whole) << "cut at " << Cut;
    }
}

} // namespace
