#include "setupdata/block_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "setupdata/crc32.h"
#include "setupdata/lzma_decompressor.h"
#include "support/builtin_texts.h"
#include "tests/setupdata/memory_file.h"
#include "tests/setupdata/test_data.h"
#include "tools/packlib/block_writer.h"

namespace {

std::string StoredBlock(const std::string &Payload) {
    std::string Out;
    AppendCompressedBlock(Out, Payload.data(), Payload.size(), false);
    return Out;
}

std::string LzmaBlock(const std::string &Data) {
    std::string Out;
    AppendLzmaBlock(Out, Data.data(), Data.size());
    return Out;
}

// Reads Total bytes in pieces of Piece bytes.
std::string ReadInPieces(TCompressedBlockReader &Reader, size_t Total, size_t Piece) {
    std::string Got(Total, '\0');
    for (size_t Done = 0; Done < Total;) {
        size_t N = std::min(Piece, Total - Done);
        Reader.Read(&Got[Done], static_cast<int32_t>(N));
        Done += N;
    }
    return Got;
}


// A block header whose CRC fits, with any stored size and flag.
std::string RawHeader(uint32_t StoredSize, uint8_t IsCompressed) {
    std::string Fields = Le32(StoredSize) + std::string(1, char(IsCompressed));
    return Le32(ComputeCrc32(Fields.data(), Fields.size())) + Fields;
}

const std::string BlockCorrupt = CompressedBlockCorruptText;

TEST(BlockReader, RoundTripsInPieces) {
    const std::string Data = SamplePayload(3 * 4096 + 123);
    for (bool Compressed : {false, true}) {
        for (size_t Piece : {size_t(1), size_t(7), size_t(4096), Data.size()}) {
            SCOPED_TRACE(testing::Message() << "compressed " << Compressed << ", piece " << Piece);
            TMemoryFile File(Compressed ? LzmaBlock(Data) : StoredBlock(Data));
            TCompressedBlockReader Reader(File, LZMADecompressorClass);
            EXPECT_EQ(ReadInPieces(Reader, Data.size(), Piece), Data);
        }
    }
}

TEST(BlockReader, ChunksAreCutAt4096Bytes) {
    const std::string Data = SamplePayload(4097);
    const std::string Block = StoredBlock(Data);
    ASSERT_EQ(Block.size(), 9u + 4105u);
    EXPECT_EQ(Block.substr(4, 5), Le32(4105) + std::string(1, '\0'));
    // Second chunk: its CRC, then the single last byte.
    EXPECT_EQ(Block.substr(9 + 4 + 4096, 4), Le32(ComputeCrc32(&Data[4096], 1)));
    TMemoryFile File(Block);
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    EXPECT_EQ(ReadInPieces(Reader, 4097, 4097), Data);
}

TEST(BlockReader, StoredBlockDeliversWhatItHasThenFails) {
    TMemoryFile File(StoredBlock("0123456789"));
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    char Buffer[11] = {};
    EXPECT_EQ(DataErrorOf([&] { Reader.Read(Buffer, 11); }), BlockCorrupt);
    EXPECT_EQ(std::string(Buffer, 10), "0123456789");
}

TEST(BlockReader, ZeroByteReadLoadsNoChunk) {
    TMemoryFile File(StoredBlock("abc"));
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    Reader.Read(nullptr, 0);
    EXPECT_EQ(File.GetPosition(), 9u);
}

TEST(BlockReader, RefusesBadHeaders) {
    const std::string Good = StoredBlock("payload");
    struct {
        const char *Name;
        std::string Bytes;
    } Cases[] = {
        {"EmptyFile", ""},
        {"TruncatedInsideCrc", Good.substr(0, 3)},
        {"TruncatedInsideSizeAndFlag", Good.substr(0, 8)},
        {"FlippedBitInStoredSize", Good.substr(0, 4) + char(Good[4] ^ 1) + Good.substr(5)},
        {"FlippedBitInFlag", Good.substr(0, 8) + char(Good[8] ^ 0x80) + Good.substr(9)},
        {"FlippedBitInHeaderCrc", char(Good[0] ^ 1) + Good.substr(1)},
        {"EndsOneBytePastFile", Good.substr(0, Good.size() - 1)},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TMemoryFile File(Case.Bytes);
        EXPECT_EQ(DataErrorOf([&] { TCompressedBlockReader Reader(File, LZMADecompressorClass); }),
                  BlockCorrupt);
    }
}

TEST(BlockReader, BlockEndingExactlyAtEndOfFileIsAccepted) {
    TMemoryFile File(StoredBlock("x"));
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    char C = 0;
    Reader.Read(&C, 1);
    EXPECT_EQ(C, 'x');
}

TEST(BlockReader, StoredSizeTooSmallForAChunkFailsOnFirstRead) {
    TMemoryFile File(RawHeader(3, 0) + "abc");
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    char C;
    EXPECT_EQ(DataErrorOf([&] { Reader.Read(&C, 1); }), BlockCorrupt);
}

TEST(BlockReader, LateChunkCrcErrorAfterEarlierChunksDelivered) {
    const std::string Data = SamplePayload(3 * 4096);
    std::string Block = StoredBlock(Data);
    Block[9 + 2 * 4100 + 4 + 100] ^= 0x10; // a payload byte of the third chunk
    TMemoryFile File(Block);
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    std::string Got(Data.size(), '\0');
    EXPECT_EQ(DataErrorOf([&] { Reader.Read(&Got[0], 3 * 4096); }), BlockCorrupt);
    EXPECT_EQ(Got.substr(0, 2 * 4096), Data.substr(0, 2 * 4096));
    EXPECT_EQ(Got.substr(2 * 4096), std::string(4096, '\0')) << "nothing of the bad chunk";
}

TEST(BlockReader, LateChunkErrorInCompressedBlockSurfacesLate) {
    const std::string Data = SamplePayload(200000, 7);
    std::string Block = LzmaBlock(Data);
    ASSERT_GT(Block.size(), 9u + 3 * 4100u);
    Block[Block.size() - 10] ^= 0x01; // the last chunk
    TMemoryFile File(Block);
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    std::string Head(1000, '\0');
    Reader.Read(&Head[0], 1000);
    EXPECT_EQ(Head, Data.substr(0, 1000));
    std::string Rest(Data.size() - 1000, '\0');
    EXPECT_EQ(DataErrorOf([&] { Reader.Read(&Rest[0], static_cast<int32_t>(Rest.size())); }),
              BlockCorrupt);
}

TEST(BlockReader, DestructorLeavesFileBehindTheBlock) {
    const std::string First = SamplePayload(10000, 3);
    std::string Package = StoredBlock(First);
    const uint64_t SecondStart = Package.size();
    AppendLzmaBlock(Package, First.data(), First.size());
    const uint64_t ThirdStart = Package.size();
    Package += StoredBlock("third");

    TMemoryFile File(Package);
    for (uint64_t Expected : {SecondStart, ThirdStart}) {
        {
            TCompressedBlockReader Reader(File, LZMADecompressorClass);
            char Buffer[5000];
            Reader.Read(Buffer, 5000); // part of the block only
            EXPECT_EQ(std::string(Buffer, 5000), First.substr(0, 5000));
        }
        EXPECT_EQ(File.GetPosition(), Expected);
    }
    TCompressedBlockReader Third(File, LZMADecompressorClass);
    char Buffer[5];
    Third.Read(Buffer, 5);
    EXPECT_EQ(std::string(Buffer, 5), "third");
}

TEST(BlockReader, DestructorAfterFailedReadStillSkipsTheBlock) {
    std::string Package = StoredBlock(SamplePayload(9000));
    Package[9 + 4100 + 10] ^= 1; // second chunk
    const uint64_t End = Package.size();
    Package += "next";
    TMemoryFile File(Package);
    {
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        std::string Buffer(9000, '\0');
        EXPECT_THROW(Reader.Read(&Buffer[0], 9000), ECompressDataError);
    }
    EXPECT_EQ(File.GetPosition(), End);
}

TEST(BlockReader, FailedConstructorDoesNotMoveTheFile) {
    std::string Block = StoredBlock("payload");
    Block[0] ^= 1;
    TMemoryFile File(Block);
    EXPECT_THROW(TCompressedBlockReader(File, LZMADecompressorClass), ECompressDataError);
    EXPECT_EQ(File.GetPosition(), 9u) << "where the header reading stopped";
}

TEST(BlockReader, StoredSizeOf2GiBFailsWhenReadAndIsSkippedWhole) {
    // A file that claims to be large enough to hold the block.
    TMemoryFile File(RawHeader(0x80000010u, 0) + std::string(100, 'z'));
    File.ClaimSize(uint64_t(9) + 0x80000010u);
    {
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        char C;
        EXPECT_EQ(DataErrorOf([&] { Reader.Read(&C, 1); }), BlockCorrupt);
    }
    EXPECT_EQ(File.GetPosition(), uint64_t(9) + 0x80000010u) << "never backwards";
}

TEST(BlockReader, FileShorterThanItsSizeIsAFileError) {
    std::string Block = StoredBlock(SamplePayload(5000));
    TMemoryFile File(Block.substr(0, 9 + 4100 + 20));
    File.ClaimSize(Block.size());
    TCompressedBlockReader Reader(File, LZMADecompressorClass);
    std::string Buffer(5000, '\0');
    try {
        Reader.Read(&Buffer[0], 5000);
        ADD_FAILURE() << "no EFileError";
    } catch (const EFileError &E) {
        EXPECT_EQ(E.SystemErrorCode, ErrorHandleEof);
    }
}

} // namespace
