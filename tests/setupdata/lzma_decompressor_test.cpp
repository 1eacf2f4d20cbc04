#include "setupdata/lzma_decompressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "support/builtin_texts.h"
#include "support/exceptions.h"
#include "tests/setupdata/test_data.h"
#include "tools/packlib/lzma_compress.h"

namespace {

// Feeds a byte string to a decompressor, after the first call in pieces of at most MaxPiece
// bytes (the properties header must come whole), and can have its stream replaced (for Reset).
class TStringInput {
public:
    explicit TStringInput(std::string Bytes, int32_t MaxPiece = 1 << 30)
        : FBytes(std::move(Bytes)), FMaxPiece(MaxPiece) {}
    TCompressedInputProc Proc() { return TCompressedInputProc{this, &Supply}; }
    void Replace(std::string Bytes) {
        FBytes = std::move(Bytes);
        FPos = 0;
    }
    int Calls = 0;

private:
    static int32_t Supply(void *Object, void *Buffer, int32_t Count) {
        TStringInput *Self = static_cast<TStringInput *>(Object);
        ++Self->Calls;
        size_t Piece = Self->FPos == 0 ? size_t(Count) : size_t(Self->FMaxPiece);
        size_t N = std::min<size_t>({size_t(Count), Piece, Self->FBytes.size() - Self->FPos});
        std::memcpy(Buffer, Self->FBytes.data() + Self->FPos, N);
        Self->FPos += N;
        return static_cast<int32_t>(N);
    }
    std::string FBytes;
    size_t FPos = 0;
    int32_t FMaxPiece;
};

// Reads a whole stream of Size bytes with DecompressLast, and checks what it reports on the way.
std::string DecompressLastRead(const std::string &Stream, size_t Size) {
    TStringInput Input(Stream);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Size, '\0');
    std::vector<uint32_t> Reports;
    auto Report = [](void *Object, uint32_t Done) {
        static_cast<std::vector<uint32_t> *>(Object)->push_back(Done);
    };
    Decompressor.DecompressLast(&Out[0], static_cast<int32_t>(Size), {&Reports, Report});
    EXPECT_TRUE(std::is_sorted(Reports.begin(), Reports.end()));
    EXPECT_EQ(Reports.empty() ? 0 : Reports.back(), Size) << "the last report is the whole count";
    return Out;
}

// Piece 0 reads the stream with one DecompressLast.
std::string Decompress(const std::string &Stream, size_t Size, size_t Piece = 1 << 30) {
    if (Piece == 0)
        return DecompressLastRead(Stream, Size);
    TStringInput Input(Stream);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Size, '\0');
    for (size_t Done = 0; Done < Size;) {
        size_t N = std::min(Piece, Size - Done);
        Decompressor.DecompressTo(&Out[Done], static_cast<int32_t>(N));
        Done += N;
    }
    return Out;
}


std::string LzmaError(int Code) {
    return FormatWithNumber(LzmaDataErrorPattern, Code);
}

void PatchDictionarySize(std::string &Stream, uint32_t Size) {
    Stream.replace(1, 4, Le32(Size));
}

TEST(LzmaDecompressor, RoundTripsInPieces) {
    const std::string Data = SamplePayload(300000, 11);
    const std::string Stream = LzmaCompress(Data.data(), Data.size());
    ASSERT_EQ(uint8_t(Stream[0]), 0x5D);
    for (size_t Piece : {size_t(1), size_t(7), size_t(4096), Data.size(), size_t(0)}) {
        SCOPED_TRACE(testing::Message() << "piece " << Piece);
        EXPECT_EQ(Decompress(Stream, Data.size(), Piece), Data);
    }
}

TEST(LzmaDecompressor, InputArrivingInSmallPiecesGivesSameBytes) {
    const std::string Data = SamplePayload(50000, 5);
    TStringInput Input(LzmaCompress(Data.data(), Data.size()), 3);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Data.size(), '\0');
    Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
    EXPECT_EQ(Out, Data);
}

TEST(LzmaDecompressor, DecodesEveryLiteralAndPositionSetting) {
    const std::string Data = SamplePayload(20000, 9);
    const int Settings[][3] = {{0, 0, 0}, {8, 4, 4}, {8, 0, 0}, {0, 4, 0}, {1, 2, 3}, {3, 0, 2}};
    for (const auto &S : Settings) {
        SCOPED_TRACE(testing::Message() << "lc " << S[0] << " lp " << S[1] << " pb " << S[2]);
        std::string Stream = LzmaCompressWith(Data.data(), Data.size(), S[0], S[1], S[2], 1 << 16);
        EXPECT_EQ(uint8_t(Stream[0]), (S[2] * 5 + S[1]) * 9 + S[0]);
        EXPECT_EQ(Decompress(Stream, Data.size(), 777), Data);
    }
}

TEST(LzmaDecompressor, RefusesBadHeaders) {
    const std::string Data = SamplePayload(1000);
    const std::string Good = LzmaCompress(Data.data(), Data.size());
    std::string Props225 = Good;
    Props225[0] = char(225);
    std::string DictTooLarge = Good;
    PatchDictionarySize(DictTooLarge, LzmaMaxDictionarySize + 1);
    struct {
        const char *Name;
        std::string Stream;
        int Code;
    } Cases[] = {
        {"FourBytePayload", Good.substr(0, 4), 1},
        {"EmptyPayload", "", 1},
        {"PropertiesByte225", Props225, 3},
        {"Dictionary64MiBPlusOne", DictTooLarge, 7},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TStringInput Input(Case.Stream);
        TLZMADecompressor Decompressor(Input.Proc());
        // Even a read of nothing prepares the stream.
        EXPECT_EQ(DataErrorOf([&] { Decompressor.DecompressTo(nullptr, 0); }),
                  LzmaError(Case.Code));
        EXPECT_EQ(Decompressor.WorkAreaSize(), 0u) << "refused before any allocation";
    }
}

TEST(LzmaDecompressor, ErrorTextIsTheBuiltInOne) {
    // "lzma: " then the code page 936 text for damaged compressed data.
    EXPECT_EQ(LzmaError(1), "lzma: \xd1\xb9\xcb\xf5\xca\xfd\xbe\xdd\xd2\xd1\xcb\xf0\xbb\xb5 (1)");
}

TEST(LzmaDecompressor, DictionarySizeLimits) {
    // The sample refers back up to a few hundred bytes; a run of one byte only to the last one.
    const std::string Sample = SamplePayload(3000);
    const std::string Run(3000, 'r');
    const size_t ProbBytes = 2 * (1846 + 768 * 8);
    const struct {
        const char *Name;
        const std::string &Data;
        uint32_t Declared;
        bool Accepted;
    } Cases[] = {
        {"sample, 4 KiB", Sample, 4096, true},
        {"sample, 1 byte", Sample, 1, false},
        {"sample, 16 bytes", Sample, 16, false},
        {"run, 0 taken as 1", Run, 0, true},
        {"run, 1 byte", Run, 1, true},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        std::string Stream =
            LzmaCompressWith(Case.Data.data(), Case.Data.size(), 3, 0, 2, 4096);
        PatchDictionarySize(Stream, Case.Declared);
        TStringInput Input(Stream);
        TLZMADecompressor Decompressor(Input.Proc());
        std::string Out(Case.Data.size(), '\0');
        auto Run = [&] { Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size())); };
        if (Case.Accepted) {
            Run();
            EXPECT_EQ(Out, Case.Data);
        } else {
            EXPECT_EQ(DataErrorOf(Run), LzmaError(5)) << "a match beyond the declared dictionary";
        }
        EXPECT_EQ(Decompressor.WorkAreaSize(), ProbBytes + 4096) << "the decoder's 4 KiB minimum";
    }
    std::string Largest = LzmaCompressWith(Sample.data(), Sample.size(), 3, 0, 2, 4096);
    PatchDictionarySize(Largest, LzmaMaxDictionarySize);
    EXPECT_EQ(Decompress(Largest, Sample.size()), Sample);
}

TEST(LzmaDecompressor, ReportsEndAndDamage) {
    const std::string Data = SamplePayload(100000, 13);
    const std::string Stream = LzmaCompress(Data.data(), Data.size());

    SCOPED_TRACE("one byte more than the stream holds");
    {
        TStringInput Input(Stream);
        TLZMADecompressor Decompressor(Input.Proc());
        std::string Out(Data.size() + 1, '\0');
        EXPECT_EQ(DataErrorOf([&] {
                      Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
                  }),
                  LzmaError(6));
        EXPECT_EQ(Out.substr(0, Data.size()), Data);
        // After the end marker nothing more comes, even for a later call.
        char C;
        EXPECT_EQ(DataErrorOf([&] { Decompressor.DecompressTo(&C, 1); }), LzmaError(6));
    }
    SCOPED_TRACE("exactly the stream's length, then one more");
    {
        TStringInput Input(Stream);
        TLZMADecompressor Decompressor(Input.Proc());
        std::string Out(Data.size(), '\0');
        Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
        char C;
        EXPECT_EQ(DataErrorOf([&] { Decompressor.DecompressTo(&C, 1); }), LzmaError(6));
    }
    SCOPED_TRACE("stream cut in the middle");
    {
        std::string Out(Data.size(), '\0');
        EXPECT_EQ(
            DataErrorOf([&] { Decompress(Stream.substr(0, Stream.size() / 2), Data.size()); }),
            LzmaError(5));
    }
    SCOPED_TRACE("garbage after a good header");
    {
        std::string Garbage = Stream.substr(0, 5) + std::string(1, '\0') + SamplePayload(5000, 99);
        EXPECT_EQ(DataErrorOf([&] { Decompress(Garbage, Data.size()); }), LzmaError(5));
    }
}

// Reads come out of the dictionary in the work area: a first read shorter or longer than the
// dictionary (so the ring wraps at any point, often with a match cut off), then reads in
// pieces, must give the bytes of one whole read, and never look at the first read's buffer
// again.
TEST(LzmaDecompressor, FirstReadIntoCallerBufferThenPiecesGivesSameBytes) {
    const std::string Data = SamplePayload(200000, 17);
    const struct {
        const char *Name;
        std::string Stream;
    } Streams[] = {
        {"4 KiB dictionary", LzmaCompressWith(Data.data(), Data.size(), 3, 0, 2, 4096)},
        {"2 MiB dictionary", LzmaCompress(Data.data(), Data.size())},
    };
    for (const auto &S : Streams)
        for (size_t First : {size_t(1), size_t(1000), size_t(4095), size_t(4096), size_t(4097),
                             size_t(70001)}) {
            SCOPED_TRACE(testing::Message() << S.Name << ", first read " << First);
            TStringInput Input(S.Stream);
            TLZMADecompressor Decompressor(Input.Proc());
            std::string Out(Data.size(), '\0');
            // Another buffer for the first read, wiped afterwards: later reads must not use it.
            std::string FirstBuf(First, '\0');
            Decompressor.DecompressTo(&FirstBuf[0], static_cast<int32_t>(First));
            Out.replace(0, First, FirstBuf);
            FirstBuf.assign(First, '\x5A');
            for (size_t Done = First; Done < Data.size();) {
                const size_t N = std::min<size_t>(777, Data.size() - Done);
                Decompressor.DecompressTo(&Out[Done], static_cast<int32_t>(N));
                Done += N;
            }
            EXPECT_EQ(Out, Data);
        }
}

TEST(LzmaDecompressor, OneReadAndPiecesReportTheSameErrors) {
    const std::string Data = SamplePayload(100000, 13);
    const std::string Stream = LzmaCompress(Data.data(), Data.size());
    std::string FlippedInMiddle = Stream;
    FlippedInMiddle[Stream.size() / 2] ^= 0x40;
    // A stream whose matches reach 60000 bytes back, declaring a dictionary of 32 KiB: the bytes
    // are in the caller's buffer, but the declared size still refuses the match.
    const std::string Half = SamplePayload(60000, 31);
    std::string ShortDictionary =
        LzmaCompressWith((Half + Half).data(), 2 * Half.size(), 3, 0, 2, 1 << 16);
    PatchDictionarySize(ShortDictionary, 1 << 15);
    const struct {
        const char *Name;
        std::string Stream;
        size_t Size;
        int Code;
    } Cases[] = {
        {"one byte more than the stream holds", Stream, Data.size() + 1, 6},
        {"stream cut in the middle", Stream.substr(0, Stream.size() / 2), Data.size(), 5},
        {"garbage after a good header",
         Stream.substr(0, 5) + std::string(1, '\0') + SamplePayload(5000, 99), Data.size(), 5},
        {"one bit flipped in the middle", FlippedInMiddle, Data.size(), 5},
        {"match beyond the declared dictionary", ShortDictionary, 2 * Half.size(), 5},
    };
    for (const auto &Case : Cases)
        for (size_t Piece : {size_t(1) << 30, size_t(4096), size_t(7), size_t(0)}) {
            SCOPED_TRACE(testing::Message() << Case.Name << ", pieces of " << Piece);
            EXPECT_EQ(DataErrorOf([&] { Decompress(Case.Stream, Case.Size, Piece); }),
                      LzmaError(Case.Code));
        }
}

TEST(LzmaDecompressor, ResetReusesOrReplacesTheWorkArea) {
    const std::string Data = SamplePayload(5000, 21);
    const std::string Small = LzmaCompressWith(Data.data(), Data.size(), 3, 0, 2, 1 << 16);
    const std::string Large = LzmaCompressWith(Data.data(), Data.size(), 3, 0, 2, 1 << 20);
    TStringInput Input(Small);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Data.size(), '\0');
    Decompressor.DecompressTo(&Out[0], 100);
    const void *FirstArea = Decompressor.WorkArea();
    const size_t FirstSize = Decompressor.WorkAreaSize();
    EXPECT_EQ(FirstSize, 2u * (1846 + 768 * 8) + (1u << 16));

    Decompressor.Reset();
    Input.Replace(Small);
    Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
    EXPECT_EQ(Out, Data) << "a new stream from its own header";
    EXPECT_EQ(Decompressor.WorkArea(), FirstArea);
    EXPECT_EQ(Decompressor.WorkAreaSize(), FirstSize);

    Decompressor.Reset();
    Input.Replace(Large);
    Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
    EXPECT_EQ(Out, Data);
    EXPECT_EQ(Decompressor.WorkAreaSize(), 2u * (1846 + 768 * 8) + (1u << 20));
}

TEST(LzmaDecompressor, LastReadNeedsNoDictionaryWhateverTheStreamDeclares) {
    const std::string Data = SamplePayload(300000, 23);
    std::string Stream = LzmaCompressWith(Data.data(), Data.size(), 3, 0, 2, 1 << 20);
    PatchDictionarySize(Stream, LzmaMaxDictionarySize);
    TStringInput Input(Stream);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Data.size(), '\0');
    Decompressor.DecompressLast(&Out[0], static_cast<int32_t>(Out.size()), {});
    EXPECT_EQ(Out, Data);
    EXPECT_EQ(Decompressor.WorkAreaSize(), 2u * (1846 + 768 * 8)) << "the probabilities only";
    char C;
    EXPECT_THROW(Decompressor.DecompressTo(&C, 1), ECompressInternalError) << "nothing follows";
}

TEST(LzmaDecompressor, AsksForInputOnlyWhenItsBufferIsUsedUp) {
    // Incompressible data: the stream is larger than one input buffer.
    std::string Data(200000, '\0');
    uint32_t State = 77;
    for (char &C : Data) {
        State = State * 1664525u + 1013904223u;
        C = char(State >> 24);
    }
    const std::string Stream = LzmaCompress(Data.data(), Data.size());
    TStringInput Input(Stream);
    TLZMADecompressor Decompressor(Input.Proc());
    std::string Out(Data.size(), '\0');
    Decompressor.DecompressTo(&Out[0], static_cast<int32_t>(Out.size()));
    EXPECT_EQ(Out, Data);
    // One call for the header, then one per 64 KiB of the rest (plus at most the final 0).
    const int Refills = int((Stream.size() - 5 + 65535) / 65536);
    EXPECT_LE(Input.Calls, 1 + Refills + 1);
}

} // namespace
