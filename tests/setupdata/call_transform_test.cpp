#include "setupdata/call_transform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

} // namespace
