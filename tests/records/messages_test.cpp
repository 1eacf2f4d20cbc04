#include "records/messages.h"

#include <gtest/gtest.h>

#include <functional>

#include "setupdata/crc32.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"
#include "tests/setupdata/test_data.h"
#include "tools/packlib/message_block_writer.h"

namespace {

class MessagesTest : public testing::Test {
protected:
    void SetUp() override {
        for (int N = 0; N < LoaderMessageCount; ++N)
            Texts[N] = "message " + std::to_string(N);
        Texts[5] = "";
        Texts[MsgStartupPrompt] = "\xb0\xb2\xd7\xb0 %1?"; // GBK "install"
    }
    void TearDown() override { ClearLoaderMessages(); }

    // The block error leaves the table as it was when it fails before step 5.
    void ExpectRefused(const std::string &Block) {
        LoaderMessages[0] = "before";
        try {
            LoadMessageBlock(Block.data(), Block.size());
            ADD_FAILURE() << "block accepted";
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), SetupCorruptText);
        }
    }

    // Rewrites the size fields and CRC to fit Block's length (for blocks with extra bytes).
    static void Reseal(std::string &Block) {
        uint32_t Size = static_cast<uint32_t>(Block.size());
        Block.replace(68, 4, Le32(Size));
        Block.replace(72, 4, Le32(~Size));
        Block.replace(76, 4, Le32(ComputeCrc32(Block.data() + 80, Size - 80)));
    }

    std::string Texts[LoaderMessageCount];
};

TEST_F(MessagesTest, LoadsAWrittenBlock) {
    const std::string Block = BuildMessageBlock(Texts);
    EXPECT_EQ(Block.substr(0, 16), std::string("QuovLdr Msgs v1\0", 16));
    EXPECT_EQ(Block.substr(15, 49), std::string(49, '\0'));
    LoadMessageBlock(Block.data(), Block.size());
    for (int N = 0; N < LoaderMessageCount; ++N)
        ASSERT_EQ(LoaderMessages[N], Texts[N]) << N;
    ClearLoaderMessages();
    for (int N = 0; N < LoaderMessageCount; ++N)
        ASSERT_EQ(LoaderMessages[N], "") << N;
}

TEST_F(MessagesTest, SmallestValidBlockIs287Bytes) {
    std::string Empty[LoaderMessageCount];
    const std::string Block = BuildMessageBlock(Empty);
    EXPECT_EQ(Block.size(), 287u);
    LoaderMessages[3] = "stale";
    LoadMessageBlock(Block.data(), Block.size());
    EXPECT_EQ(LoaderMessages[3], "");
}

TEST_F(MessagesTest, ExtraBytesBehindTheLastMessageAreIgnored) {
    std::string Block = BuildMessageBlock(Texts);
    Block += std::string("extra\0", 6);
    Reseal(Block);
    LoadMessageBlock(Block.data(), Block.size());
    EXPECT_EQ(LoaderMessages[206], Texts[206]);
}

TEST_F(MessagesTest, RefusesDamagedBlocks) {
    const std::string Good = BuildMessageBlock(Texts);
    std::string LongerThanSize = Good + '\0';
    std::string SizeNotOneBitOff = Good;
    SizeNotOneBitOff[72] ^= 0x02;
    std::string Count206 = Good;
    Count206.replace(64, 4, Le32(206));
    std::string BadSignature = Good;
    BadSignature[14] = '2';
    std::string BadCrc = Good;
    BadCrc[100] ^= 0x20;
    std::string LastByteNotZero = Good;
    LastByteNotZero.back() = 'x';
    Reseal(LastByteNotZero);

    struct {
        const char *Name;
        std::string Block;
    } Cases[] = {
        {"Exactly80Bytes", Good.substr(0, 80)},
        {"Empty", ""},
        {"BadSignature", BadSignature},
        {"SizeNotOneBitOff", SizeNotOneBitOff},
        {"OneByteLongerThanSize", LongerThanSize},
        {"MessageCount206", Count206},
        {"CrcMismatch", BadCrc},
        {"LastByteNotZeroWithGoodCrc", LastByteNotZero},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        ExpectRefused(Case.Block);
        EXPECT_EQ(LoaderMessages[0], "before") << "table untouched";
    }
}

TEST_F(MessagesTest, ShortBlockReplacesMessagesBeforeTheMissingOne) {
    // 100 messages only, sealed as if whole.
    std::string Block = BuildMessageBlock(Texts);
    size_t Cut = 80;
    for (int N = 0; N < 100; ++N)
        Cut += Texts[N].size() + 1;
    Block.resize(Cut);
    Reseal(Block);
    for (int N = 0; N < LoaderMessageCount; ++N)
        LoaderMessages[N] = "old";
    ExpectRefused(Block);
    EXPECT_EQ(LoaderMessages[99], Texts[99]);
    EXPECT_EQ(LoaderMessages[100], "old");
}

TEST_F(MessagesTest, WriterRefusesZeroByteInAMessage) {
    Texts[7] = std::string("a\0b", 3);
    EXPECT_THROW(BuildMessageBlock(Texts), ECompressInternalError);
}

TEST(FormatPattern, ExpandsPlaceholders) {
    const std::string Args[] = {"a", "b"};
    struct {
        const char *Pattern;
        const char *Expected;
    } Cases[] = {
        {"%1-%2", "a-b"},  {"%3", "%3"}, {"%0", "%0"},  {"100%", "100%"}, {"%%1", "%1"},
        {"%%%1", "%a"},    {"%x", "%x"}, {"%10", "a0"}, {"", ""},         {"plain", "plain"},
        {"%2%1%2", "bab"}, {"%", "%"},   {"%%", "%"},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Pattern);
        EXPECT_EQ(FormatPattern(Case.Pattern, Args, 2), Case.Expected);
    }
    EXPECT_EQ(FormatPattern(nullptr, Args, 2), "");
    EXPECT_EQ(FormatPattern("%1", nullptr, 0), "%1");
    const std::string Percent[] = {"50%1"};
    EXPECT_EQ(FormatPattern("<%1>", Percent, 1), "<50%1>") << "arguments are not expanded again";
}

TEST(FormatPattern, LoaderMessages) {
    LoaderMessages[MsgStartupPrompt] = "Install %1 now?";
    EXPECT_EQ(FormatLoaderMessage1(MsgStartupPrompt, "Foo"), "Install Foo now?");
    LoaderMessages[MsgSystemErrorFormat] = "%1\n\n%2: %3";
    const std::string Args[] = {"op", "5", "denied"};
    EXPECT_EQ(FormatLoaderMessage(MsgSystemErrorFormat, Args, 3), "op\n\n5: denied");
    EXPECT_EQ(FormatLoaderMessage1(MsgErrorCaption, "ignored"), "") << "empty stays empty";
    ClearLoaderMessages();
}

} // namespace
