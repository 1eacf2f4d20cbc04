// What the writers promise beyond the round trips: exact layouts, fixed settings, refusals.
#include <gtest/gtest.h>

#include "records/setup_records.h"
#include "setupdata/crc32.h"
#include "support/exceptions.h"
#include "tests/setupdata/test_data.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/record_writer.h"

namespace {

TEST(LzmaCompress, PackagedSettingsAndDeterministicOutput) {
    const std::string Data = SamplePayload(100000, 2);
    const std::string First = LzmaCompress(Data.data(), Data.size());
    EXPECT_EQ(First.substr(0, 5), std::string("\x5D", 1) + Le32(2u << 20));
    EXPECT_EQ(LzmaCompress(Data.data(), Data.size()), First);
    EXPECT_LT(First.size(), Data.size() / 2);
    // An empty input is a header and an end marker.
    EXPECT_GT(LzmaCompress("", 0).size(), 5u);
}

TEST(BlockWriter, HeaderAndChunkLayout) {
    const std::string Payload = SamplePayload(8192 + 5);
    std::string Out = "prefix";
    AppendCompressedBlock(Out, Payload.data(), Payload.size(), true);
    ASSERT_EQ(Out.size(), 6 + 9 + Payload.size() + 3 * 4);
    const std::string Header = Out.substr(6, 9);
    EXPECT_EQ(Header.substr(0, 4), Le32(ComputeCrc32(Header.data() + 4, 5)));
    EXPECT_EQ(Header.substr(4, 4), Le32(uint32_t(Payload.size() + 12)));
    EXPECT_EQ(Header[8], 1);
    for (int Chunk = 0; Chunk < 3; ++Chunk) {
        SCOPED_TRACE(Chunk);
        const size_t At = 15 + Chunk * 4100;
        const size_t N = Chunk < 2 ? 4096 : 5;
        EXPECT_EQ(Out.substr(At, 4), Le32(ComputeCrc32(Payload.data() + Chunk * 4096, N)));
        EXPECT_EQ(Out.substr(At + 4, N), Payload.substr(Chunk * 4096, N));
    }
}

TEST(BlockWriter, EmptyPayloadHasNoChunk) {
    std::string Out;
    AppendCompressedBlock(Out, nullptr, 0, false);
    EXPECT_EQ(Out.size(), 9u);
    EXPECT_EQ(Out.substr(4, 5), std::string(5, '\0'));
}

TEST(BlockWriter, RefusesStoredSizeOf2GiB) {
    // Refused from the size alone, before a byte of the payload is touched.
    const size_t Largest = size_t(0x7FFFFFFF) - 4 * ((size_t(0x7FFFFFFF) + 4099) / 4100);
    EXPECT_LT(BlockStoredSizeFor(Largest), uint64_t(1) << 31);
    EXPECT_GE(BlockStoredSizeFor(Largest + 4096), uint64_t(1) << 31);
    std::string Out = "kept";
    EXPECT_THROW(AppendCompressedBlock(Out, nullptr, Largest + 4096, false),
                 ECompressInternalError);
    EXPECT_EQ(Out, "kept");
}

TEST(RecordWriter, RecordLayouts) {
    TSetupHeaderFields Header;
    Header.ApplicationName = "App";
    Header.LanguageEntryCount = 0x01020304;
    Header.LanguageDetectMode = 2;
    Header.NoStartupPrompt = true;
    const std::string H = BuildSetupHeaderRecord(Header);
    ASSERT_EQ(H.size(), 4 + 3 + 28 * 4 + 186u);
    EXPECT_EQ(H.substr(0, 7), Le32(3) + "App");
    const std::string Fixed = H.substr(H.size() - 186);
    EXPECT_EQ(Fixed.substr(32, 4), Le32(0x01020304));
    EXPECT_EQ(Fixed[168], 2);
    EXPECT_EQ(Fixed[180], 1);
    EXPECT_EQ(Fixed.substr(0, 32), std::string(32, '\0'));

    TSetupLanguageFields Entry;
    Entry.Name = "zh";
    Entry.MessageBlock = "MB";
    Entry.LanguageID = 0x804;
    Entry.CodePage = 936;
    const std::string E = BuildSetupLanguageRecord(Entry);
    ASSERT_EQ(E.size(), 10 * 4 + 4u + 25);
    EXPECT_EQ(E.substr(0, 6), Le32(2) + "zh");
    EXPECT_EQ(E.substr(6 + 5 * 4, 6), Le32(2) + "MB") << "message block is string 6";
    EXPECT_EQ(E.substr(E.size() - 25, 8), Le32(0x804) + Le32(936));
}

} // namespace
