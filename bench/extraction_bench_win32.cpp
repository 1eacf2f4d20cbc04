// Extraction under Wine with the shipped loader's own build of the code (the stub tree's compiler
// and flags, the decoder included): the loader's whole extraction of a packaged setup program
// (block reader, LZMA, call transform, CRC-32 and the written file), then the same path cut
// short step by step down to the decoder alone on the stream in memory, so that the cost of each
// step shows. Wall-clock time, best of a few rounds, beside the process's CPU time for the whole
// extraction (it uses a second thread). Prints figures and asserts nothing.
//
//   extraction_bench_win32 PACKAGE [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "records/setup_package.h"
#include "setupdata/block_reader.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "support/win.h"

namespace {

double Now() {
    LARGE_INTEGER Frequency, Count;
    ::QueryPerformanceFrequency(&Frequency);
    ::QueryPerformanceCounter(&Count);
    return double(Count.QuadPart) / double(Frequency.QuadPart);
}

// User and kernel time of the process so far, in seconds.
double ProcessCpu() {
    FILETIME Created, Exited, Kernel, User;
    ::GetProcessTimes(::GetCurrentProcess(), &Created, &Exited, &Kernel, &User);
    auto Seconds = [](const FILETIME &T) {
        return double(uint64_t(T.dwHighDateTime) << 32 | T.dwLowDateTime) / 1e7;
    };
    return Seconds(Kernel) + Seconds(User);
}

// The offset table of another module, found the way the loader finds its own.
bool ReadOffsetTable(const char *Path, TLoaderOffsetTable &Table) {
    HMODULE Module = ::LoadLibraryExA(Path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!Module)
        return false;
    HRSRC Resource = ::FindResourceA(Module, MAKEINTRESOURCEA(OffsetTableResourceId),
                                     MAKEINTRESOURCEA(10) /*RT_RCDATA*/);
    const void *Bytes = Resource && ::SizeofResource(Module, Resource) == OffsetTableSize
                            ? ::LockResource(::LoadResource(Module, Resource))
                            : nullptr;
    if (Bytes)
        Table = *OffsetTableAt(Bytes);
    ::FreeLibrary(Module);
    return Bytes != nullptr;
}

// A decompressor that decompresses nothing: it takes the block's whole payload (every chunk
// checked by the reader) so that the decoder can later be timed on it in memory.
class TPayloadCapture : public TCustomDecompressor {
public:
    using TCustomDecompressor::TCustomDecompressor;
    void DecompressTo(void *, int32_t) override {
        char Piece[65536];
        while (int32_t Got = FInputProc(Piece, sizeof Piece))
            Captured.append(Piece, size_t(Got));
    }
    void Reset() override {}
    void DecompressLast(void *Buffer, int32_t Count, TOutputProgress) override {
        DecompressTo(Buffer, Count);
    }
    static std::string Captured;
};
std::string TPayloadCapture::Captured;

TCustomDecompressor *CreatePayloadCapture(TCompressedInputProc InputProc) {
    return new TPayloadCapture(InputProc);
}

// The compressed stream handed to the decoder from memory, in the pieces a block reader gives.
struct TMemoryInput {
    const std::string &Bytes;
    size_t Pos = 0;
    static int32_t Supply(void *Object, void *Buffer, int32_t Count) {
        TMemoryInput &Self = *static_cast<TMemoryInput *>(Object);
        const size_t N = std::min<size_t>(size_t(Count), Self.Bytes.size() - Self.Pos);
        std::memcpy(Buffer, Self.Bytes.data() + Self.Pos, N);
        Self.Pos += N;
        return int32_t(N);
    }
};

using TBuffer = std::unique_ptr<uint8_t, decltype(&std::free)>;

TBuffer FreshBuffer(uint32_t Size) {
    return TBuffer(static_cast<uint8_t *>(std::calloc(Size, 1)), &std::free);
}

} // namespace

int main(int ArgCount, char **Args) {
    if (ArgCount < 2) {
        std::printf("usage: extraction_bench_win32 PACKAGE [ROUNDS]\n");
        return 2;
    }
    const char *Package = Args[1];
    const int Rounds = ArgCount > 2 ? std::atoi(Args[2]) : 5;
    TLoaderOffsetTable Table;
    if (!ReadOffsetTable(Package, Table)) {
        std::printf("%s: no offset table\n", Package);
        return 1;
    }
    const uint32_t Size = Table.SetupProgramSize;
    const std::string Target = std::string(Package) + ".out";
    double Whole = 1e9, WholeCpu = 0, FromFile = 1e9, Decoder = 1e9;
    try {
        TFile Self(Package, fcOpenExisting, amRead, smRead);
        Self.Seek(Table.SetupProgramOffset);
        {
            TCompressedBlockReader Capture(Self, CreatePayloadCapture);
            Capture.Read(nullptr, 0);
        }
        const std::string &Stream = TPayloadCapture::Captured;
        for (int Round = 0; Round < Rounds; ++Round) {
            // The loader's extraction, from allocating the buffer to the closed file.
            double Cpu = ProcessCpu();
            double Start = Now();
            {
                TFile Out(Target, fcCreateAlways, amWrite, smNone);
                Self.Seek(Table.SetupProgramOffset);
                ExtractSetupProgram(Self, Table, Out);
            }
            if (Now() - Start < Whole) {
                Whole = Now() - Start;
                WholeCpu = ProcessCpu() - Cpu;
            }
            // The block reader and the decoder reading the file into a buffer.
            TBuffer Buffer = FreshBuffer(Size);
            Start = Now();
            {
                Self.Seek(Table.SetupProgramOffset);
                TCompressedBlockReader Reader(Self, LZMADecompressorClass);
                Reader.ReadLast(Buffer.get(), int32_t(Size), {});
            }
            FromFile = std::min(FromFile, Now() - Start);
            // The decoder alone, its input from memory.
            Buffer = FreshBuffer(Size);
            TMemoryInput Input{Stream};
            Start = Now();
            {
                TLZMADecompressor Decompressor(TCompressedInputProc{&Input, TMemoryInput::Supply});
                Decompressor.DecompressLast(Buffer.get(), int32_t(Size), {});
            }
            Decoder = std::min(Decoder, Now() - Start);
        }
    } catch (const Exception &E) {
        std::printf("extraction failed: %s\n", E.Message().c_str());
        return 1;
    }
    ::DeleteFileA(Target.c_str());
    const double MB = Size / 1e6;
    std::printf("extraction under Wine, the stub tree's build (%.1f MB program, best of %d, "
                "output MB per wall-clock second)\n",
                MB, Rounds);
    std::printf("  %-52s %7.1f MB/s  (CPU %.0f%% of wall)\n",
                "loader's extraction (to the written file):", MB / Whole, 100.0 * WholeCpu / Whole);
    std::printf("  %-52s %7.1f MB/s\n",
                "  reader + LZMA from the file into a buffer:", MB / FromFile);
    std::printf("  %-52s %7.1f MB/s\n", "  LZMA alone, its stream in memory:", MB / Decoder);
    return 0;
}
