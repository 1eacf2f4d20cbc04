#include "records/setup_records.h"

#include <gtest/gtest.h>

#include <functional>

#include "records/setup_package.h"
#include "setupdata/block_reader.h"
#include "setupdata/lzma_decompressor.h"
#include "support/builtin_texts.h"
#include "tests/setupdata/memory_file.h"
#include "tests/setupdata/test_data.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/record_writer.h"

namespace {

std::string Block(const std::string &Stream, bool Compressed = true) {
    std::string Out;
    if (Compressed)
        AppendLzmaBlock(Out, Stream.data(), Stream.size());
    else
        AppendCompressedBlock(Out, Stream.data(), Stream.size(), false);
    return Out;
}

// The setup-corrupt error's message and the check its fault names.
std::pair<std::string, TFaultCheck> CorruptOf(const std::function<void()> &Action) {
    try {
        Action();
    } catch (const ESetupCorrupt &E) {
        EXPECT_EQ(E.Fault().Structure, TFaultStructure::SetupRecords);
        return {E.Message(), E.Fault().Check};
    }
    ADD_FAILURE() << "no setup-corrupt error";
    return {};
}

TSetupLanguageFields Language(int Index) {
    TSetupLanguageFields Fields;
    Fields.Name = "lang" + std::to_string(Index);
    Fields.MessageBlock = std::string("\0raw\0block", 10) + std::to_string(Index);
    Fields.LanguageID = 0x0804 + Index;
    Fields.CodePage = Index == 0 ? 936 : 0;
    return Fields;
}

// Header with Count entries, then those entries, then bytes the loader never reads.
std::string RecordStream(int Count, bool NoPrompt = false, uint8_t DetectMode = 1) {
    TSetupHeaderFields Header;
    Header.ApplicationName = "\xb2\xe2\xca\xd4 App"; // GBK "test"
    Header.LanguageEntryCount = Count;
    Header.LanguageDetectMode = DetectMode;
    Header.NoStartupPrompt = NoPrompt;
    std::string Stream = BuildSetupHeaderRecord(Header);
    for (int I = 0; I < Count; ++I)
        Stream += BuildSetupLanguageRecord(Language(I));
    return Stream + "data for the setup program only";
}

TEST(SetupRecords, ReadsHeaderAndEntriesInOrder) {
    for (bool Compressed : {true, false}) {
        SCOPED_TRACE(Compressed ? "compressed" : "stored");
        TMemoryFile File(std::string(64, '\0') + Block(RecordStream(3, true, 0), Compressed) +
                         "next block");
        File.Seek(64);
        TSetupHeaderRec Header;
        std::vector<TSetupLanguageEntry> Entries;
        ReadSetupRecords(File, Header, Entries);
        EXPECT_EQ(Header.ApplicationName(), "\xb2\xe2\xca\xd4 App");
        EXPECT_EQ(Header.LanguageEntryCount(), 3);
        EXPECT_EQ(Header.LanguageDetectMode(), 0);
        EXPECT_TRUE(Header.NoStartupPrompt());
        ASSERT_EQ(Entries.size(), 3u);
        for (int I = 0; I < 3; ++I) {
            SCOPED_TRACE(I);
            EXPECT_EQ(Entries[I].Name(), Language(I).Name);
            EXPECT_EQ(Entries[I].MessageBlock(), Language(I).MessageBlock) << "zero bytes kept";
            EXPECT_EQ(Entries[I].LanguageID(), Language(I).LanguageID);
            EXPECT_EQ(Entries[I].CodePage(), Language(I).CodePage);
            EXPECT_EQ(Entries[I].Strings[1], "") << "stored as four zero bytes";
        }
        EXPECT_EQ(File.Bytes().substr(File.GetPosition()), "next block")
            << "the reader is gone and the file stands behind the block";
    }
}

TEST(SetupRecords, GenericRecordInPieces) {
    // Strings of 0, 1, 7 and 4096+ bytes, and fixed bytes, read back through the generic reader.
    const std::string Strings[] = {"", "a", "seven77", SamplePayload(70000, 4)};
    const uint8_t Fixed[5] = {1, 2, 3, 4, 5};
    std::string Stream;
    AppendSetupRecord(Stream, Strings, 4, Fixed, 5);
    EXPECT_EQ(Stream.size(), 4 * 4 + 8 + 70000 + 5u);
    TMemoryFile File(Block(Stream));
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    std::string Got[4] = {"old", "old", "old", "old"};
    uint8_t GotFixed[5] = {};
    ReadSetupRecord(Reader, Got, 4, GotFixed, 5);
    for (int K = 0; K < 4; ++K)
        EXPECT_EQ(Got[K], Strings[K]) << K;
    EXPECT_EQ(std::vector<uint8_t>(GotFixed, GotFixed + 5), std::vector<uint8_t>(Fixed, Fixed + 5));
}

TEST(SetupRecords, NoEntriesReadsNoEntry) {
    TMemoryFile File(Block(RecordStream(0)));
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    ReadSetupRecords(File, Header, Entries);
    EXPECT_TRUE(Entries.empty());
    EXPECT_EQ(Entries.capacity(), 0u);
}

TEST(SetupRecords, DamagedStreamsAreTheSetupCorruptError) {
    const std::string Good = RecordStream(2);
    const size_t HeaderSize =
        BuildSetupHeaderRecord(TSetupHeaderFields{"\xb2\xe2\xca\xd4 App"}).size();
    std::string NegativeLength = Good;
    NegativeLength.replace(0, 4, Le32(0xFFFFFFFFu));
    std::string HugeLength = Good;
    HugeLength.replace(0, 4, Le32(0x7FFFFFFFu));
    std::string NegativeCount = Good;
    NegativeCount.replace(HeaderSize - 186 + 32, 4, Le32(0xFFFFFFFFu));
    std::string CountAboveCeiling = Good;
    CountAboveCeiling.replace(HeaderSize - 186 + 32, 4, Le32(MaxLanguageEntryCount + 1));
    std::string CountBeyondData = Good;
    CountBeyondData.replace(HeaderSize - 186 + 32, 4, Le32(MaxLanguageEntryCount));
    std::string BadChunk = Block(Good);
    BadChunk[BadChunk.size() - 3] ^= 4;
    std::string BadHeader = Block(Good);
    BadHeader[5] ^= 1;

    using C = TFaultCheck;
    struct {
        const char *Name;
        std::string File;
        TFaultCheck Check;
    } Cases[] = {
        {"EndsInsideHeaderLength", Block(Good.substr(0, 2)), C::LzmaData},
        {"EndsInsideHeaderFixedPart", Block(Good.substr(0, HeaderSize - 1)), C::LzmaData},
        {"EndsInsideEntry", Block(Good.substr(0, HeaderSize + 30)), C::LzmaData},
        {"NegativeStringLength", Block(NegativeLength), C::RecordStringLength},
        {"HugeStringLength", Block(HugeLength), C::LzmaData},
        {"NegativeEntryCount", Block(NegativeCount), C::LanguageCount},
        {"EntryCountAboveCeiling", Block(CountAboveCeiling), C::LanguageCount},
        {"EntryCountBeyondData", Block(CountBeyondData), C::LzmaData},
        {"ChunkCrcMismatch", BadChunk, C::ChunkCrc},
        {"BlockHeaderCrcMismatch", BadHeader, C::BlockHeaderCrc},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TMemoryFile File(Case.File + "tail");
        TSetupHeaderRec Header;
        std::vector<TSetupLanguageEntry> Entries;
        const auto [Message, Check] = CorruptOf([&] { ReadSetupRecords(File, Header, Entries); });
        EXPECT_EQ(Message, SetupCorruptText);
        EXPECT_EQ(int(Check), int(Case.Check));
        EXPECT_LE(Entries.size(), 3u) << "no more entries than the stream could start";
    }
}

TEST(SetupRecords, OtherErrorsPassUnchanged) {
    // The file says it is longer than it is: a chunk read comes up short.
    std::string Package = Block(RecordStream(1));
    TMemoryFile File(Package.substr(0, 30));
    File.ClaimSize(Package.size());
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    try {
        ReadSetupRecords(File, Header, Entries);
        ADD_FAILURE() << "no EFileError";
    } catch (const EFileError &E) {
        EXPECT_EQ(E.SystemErrorCode, ErrorHandleEof);
    }
}

TEST(SetupRecords, NegativeLengthIsCorruptDataAtTheRecordLevel) {
    TMemoryFile File(Block(Le32(0x80000000u) + "xxxx"));
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    std::string S;
    EXPECT_THROW(ReadSetupRecord(Reader, &S, 1, nullptr, 0), ECompressDataError);
}

} // namespace
