#include "setupdata/call_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "setupdata/crc32.h"
#include "tests/setupdata/test_data.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> Values) {
    return std::vector<uint8_t>(Values.begin(), Values.end());
}

TEST(CallTransform, DecodesTheWorkedExample) {
    std::vector<uint8_t> Buffer(16, 0x90);
    const uint8_t Call[] = {0xE8, 0x15, 0x20, 0x00, 0x00};
    const uint8_t Jump[] = {0xE9, 0x03, 0x00, 0x00, 0xFF};
    std::copy(Call, Call + 5, Buffer.begin() + 3);
    std::copy(Jump, Jump + 5, Buffer.begin() + 8);
    const std::vector<uint8_t> Stored = Buffer;

    ConvertCallOperands(Buffer.data(), 16, false, 0);
    EXPECT_EQ(std::vector<uint8_t>(Buffer.begin() + 3, Buffer.begin() + 8),
              Bytes({0xE8, 0x0D, 0x20, 0x00, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(Buffer.begin() + 8, Buffer.begin() + 13),
              Bytes({0xE9, 0xF6, 0xFF, 0xFF, 0xFF}));
    ConvertCallOperands(Buffer.data(), 16, true, 0);
    EXPECT_EQ(Buffer, Stored);
}

TEST(CallTransform, ScanRules) {
    struct {
        const char *Name;
        std::vector<uint8_t> In, Decoded;
    } Cases[] = {
        {"FourBytesUnchanged", Bytes({0xE8, 0x10, 0x00, 0x00}), Bytes({0xE8, 0x10, 0x00, 0x00})},
        {"OperandPastEndUnchanged", Bytes({0x90, 0xE8, 0x10, 0x00, 0x00}),
         Bytes({0x90, 0xE8, 0x10, 0x00, 0x00})},
        {"LastExaminedPositionIsSizeMinus5", Bytes({0x90, 0xE8, 0x10, 0x00, 0x00, 0x00}),
         Bytes({0x90, 0xE8, 0x0A, 0x00, 0x00, 0x00})},
        {"TopByte12LeftAloneAndSkipped",
         Bytes({0xE8, 0xE8, 0x10, 0x00, 0x12, 0x00, 0x90, 0x90, 0x90, 0x90}),
         Bytes({0xE8, 0xE8, 0x10, 0x00, 0x12, 0x00, 0x90, 0x90, 0x90, 0x90})},
        {"OnlyFirstOfE8E8Converted", Bytes({0xE8, 0xE8, 0x00, 0x00, 0x00, 0x00}),
         Bytes({0xE8, 0xE3, 0x00, 0x00, 0x00, 0x00})},
        {"CarryOutOfThirdByteDropped", Bytes({0xE8, 0x02, 0x00, 0x00, 0xFF}),
         Bytes({0xE8, 0xFD, 0xFF, 0xFF, 0xFF})},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        std::vector<uint8_t> Buffer = Case.In;
        ConvertCallOperands(Buffer.data(), uint32_t(Buffer.size()), false, 0);
        EXPECT_EQ(Buffer, Case.Decoded);
        ConvertCallOperands(Buffer.data(), uint32_t(Buffer.size()), true, 0);
        EXPECT_EQ(Buffer, Case.In);
    }
}

TEST(CallTransform, EncodeThenDecodeRestoresAnyBuffer) {
    for (uint32_t Bias : {0u, 1u, 0x00FFFFF0u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(testing::Message() << "bias " << Bias);
        const std::string Original = SamplePayload(100000, Bias + 3);
        std::string Buffer = Original;
        ConvertCallOperands(&Buffer[0], uint32_t(Buffer.size()), true, Bias);
        EXPECT_NE(Buffer, Original);
        ConvertCallOperands(&Buffer[0], uint32_t(Buffer.size()), false, Bias);
        EXPECT_EQ(Buffer, Original);
    }
}

TEST(CallTransform, PiecesWithBiasMatchOneCall) {
    // The cut lies where no opcode sits in the last 4 bytes of the first piece.
    std::string Whole(64, '\x90');
    Whole.replace(10, 5, std::string("\xE8\x10\x00\x00\x00", 5));
    Whole.replace(30, 5, std::string("\xE9\x20\x01\x00\xFF", 5));
    Whole.replace(50, 5, std::string("\xE8\x00\x00\x00\x00", 5));
    std::string Pieces = Whole;
    ConvertCallOperands(&Whole[0], 64, true, 0);
    ConvertCallOperands(&Pieces[0], 40, true, 0);
    ConvertCallOperands(&Pieces[40], 24, true, 40);
    EXPECT_EQ(Pieces, Whole);
}

// The scan as the stored format defines it, one byte at a time: the oracle for the word-wise scan
// and for the stretches.
void ConvertOneByteAtATime(uint8_t *P, uint32_t Size, bool MakeAbsolute, uint32_t Bias) {
    for (uint32_t I = 0; Size >= 5 && I < Size - 4;) {
        if (P[I] != 0xE8 && P[I] != 0xE9) {
            ++I;
            continue;
        }
        if (P[I + 4] == 0x00 || P[I + 4] == 0xFF) {
            uint32_t Delta = MakeAbsolute ? Bias + I + 5 : 0u - (Bias + I + 5);
            uint32_t Low = P[I + 1] | P[I + 2] << 8 | P[I + 3] << 16;
            Low += Delta;
            P[I + 1] = uint8_t(Low);
            P[I + 2] = uint8_t(Low >> 8);
            P[I + 3] = uint8_t(Low >> 16);
        }
        I += 5;
    }
}

// Bytes that are mostly opcodes and operand top bytes, so that instructions straddle every word
// and every cut.
std::vector<uint8_t> DenseOpcodes(size_t Size, uint32_t Seed) {
    std::mt19937 Random(Seed);
    const uint8_t Choices[] = {0xE8, 0xE9, 0x00, 0xFF, 0x12, 0xE8, 0xE9, 0x90};
    std::vector<uint8_t> Out(Size);
    for (uint8_t &Byte : Out)
        Byte = Choices[Random() % 8];
    return Out;
}

// The test program's own file: real x86 code (the host's or the Windows build's).
std::vector<uint8_t> OwnExecutable() {
    std::ifstream In(testing::internal::GetArgvs()[0], std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

TEST(CallTransform, WordScanMatchesTheByteScan) {
    std::vector<std::vector<uint8_t>> Inputs;
    for (uint32_t Size = 0; Size < 40; ++Size)
        Inputs.push_back(DenseOpcodes(Size, Size));
    Inputs.push_back(DenseOpcodes(100003, 7));
    Inputs.push_back(std::vector<uint8_t>(1000, 0xE8));
    Inputs.push_back(OwnExecutable());
    ASSERT_GT(Inputs.back().size(), 100000u);
    for (bool MakeAbsolute : {false, true}) {
        for (const std::vector<uint8_t> &Input : Inputs) {
            SCOPED_TRACE(testing::Message()
                         << "size " << Input.size() << " absolute " << MakeAbsolute);
            std::vector<uint8_t> Expected = Input, Actual = Input;
            ConvertOneByteAtATime(Expected.data(), uint32_t(Expected.size()), MakeAbsolute, 77);
            ConvertCallOperands(Actual.data(), uint32_t(Actual.size()), MakeAbsolute, 77);
            EXPECT_TRUE(Actual == Expected);
        }
    }
}

TEST(CallTransform, StretchesMatchOneCallWhereverTheyAreCut) {
    // Every cut of a dense buffer, including cuts inside operands.
    const std::vector<uint8_t> Input = DenseOpcodes(64, 3);
    std::vector<uint8_t> Whole = Input;
    ConvertCallOperands(Whole.data(), 64, false, 0);
    for (uint32_t Cut = 0; Cut <= 64; ++Cut) {
        SCOPED_TRACE(testing::Message() << "cut " << Cut);
        std::vector<uint8_t> Pieces = Input;
        uint32_t Next = ConvertCallOperandsStretch(Pieces.data(), 64, 0, Cut, false, 0);
        EXPECT_GE(Next, Cut);
        EXPECT_LE(Next, Cut + 4);
        // Bytes before the cut are final already.
        EXPECT_TRUE(std::equal(Pieces.begin(), Pieces.begin() + Cut, Whole.begin()));
        ConvertCallOperandsStretch(Pieces.data(), 64, Next, 64, false, 0);
        EXPECT_TRUE(Pieces == Whole);
    }
}

TEST(CallTransform, DecodeWithCrcMatchesDecodeThenCrc) {
    std::vector<std::vector<uint8_t>> Programs;
    Programs.push_back(OwnExecutable());
    for (uint32_t Seed = 0; Seed < 8; ++Seed)
        Programs.push_back(DenseOpcodes(131072 + 1 + Seed * 37, Seed));
    // A call at each phase against the stretch boundaries: five bytes repeated after a shift.
    for (size_t Shift = 0; Shift < 5; ++Shift) {
        std::vector<uint8_t> Calls(Shift, 0x90);
        while (Calls.size() < 200000)
            Calls.insert(Calls.end(), {0xE8, 0x34, 0x12, 0x00, 0x00});
        Programs.push_back(Calls);
    }
    Programs.push_back({0xE8, 0x01, 0x02, 0x03});
    Programs.push_back({});
    for (const std::vector<uint8_t> &Program : Programs) {
        SCOPED_TRACE(testing::Message() << "size " << Program.size());
        std::vector<uint8_t> Expected = Program, Actual = Program;
        ConvertOneByteAtATime(Expected.data(), uint32_t(Expected.size()), false, 0);
        EXPECT_EQ(DecodeCallOperandsWithCrc32(Actual.data(), uint32_t(Actual.size())),
                  ComputeCrc32(Expected.data(), Expected.size()));
        EXPECT_TRUE(Actual == Expected);
    }
}

} // namespace
