// Extraction the loader's way (block reader, LZMA adapter, call transform, CRC-32) over a real
// x86 payload, beside liblzma's raw LZMA1 decoder on the same stream and zlib's crc32 on the
// same bytes; and the peak memory of an extraction, measured in a child process.
//
//   extraction_bench [DLL-DIR] [MIN-MB]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <lzma.h>
#include <zlib.h>

#include "records/setup_package.h"
#include "setupdata/block_reader.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"

namespace fs = std::filesystem;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

double MBps(size_t Bytes, double Seconds) {
    return Bytes / 1e6 / Seconds;
}

std::string LoadPayload(const fs::path &Dir, size_t MinBytes) {
    std::vector<fs::path> Files;
    for (const auto &Entry : fs::directory_iterator(Dir))
        if (Entry.is_regular_file() && Entry.path().extension() == ".dll")
            Files.push_back(Entry.path());
    std::sort(Files.begin(), Files.end());
    std::string Out;
    for (const fs::path &Path : Files) {
        if (Out.size() >= MinBytes)
            break;
        std::ifstream In(Path, std::ios::binary);
        Out.append(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
    return Out;
}

// The loader's extraction from the package file into memory; returns the CRC of the result.
uint32_t ExtractLikeLoader(const std::string &PackagePath, uint32_t Size, std::string &Out) {
    TFile Self(PackagePath, fcOpenExisting, amRead, smRead);
    TCompressedBlockReader Reader(Self, LZMADecompressorClass);
    Reader.Read(&Out[0], static_cast<int32_t>(Size));
    ConvertCallOperands(&Out[0], Size, false, 0);
    return ComputeCrc32(Out.data(), Size);
}

std::string DecodeWithLiblzma(const std::string &Stream, size_t Size) {
    lzma_filter Filters[2];
    Filters[0].id = LZMA_FILTER_LZMA1;
    Filters[1].id = LZMA_VLI_UNKNOWN;
    if (lzma_properties_decode(&Filters[0], nullptr,
                               reinterpret_cast<const uint8_t *>(Stream.data()), 5) != LZMA_OK)
        throw Exception("liblzma: bad properties");
    lzma_stream Strm = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&Strm, Filters) != LZMA_OK)
        throw Exception("liblzma: no decoder");
    std::string Out(Size, '\0');
    Strm.next_in = reinterpret_cast<const uint8_t *>(Stream.data()) + 5;
    Strm.avail_in = Stream.size() - 5;
    Strm.next_out = reinterpret_cast<uint8_t *>(&Out[0]);
    Strm.avail_out = Size;
    lzma_ret Result = lzma_code(&Strm, LZMA_FINISH);
    lzma_end(&Strm);
    free(Filters[0].options);
    if (Result != LZMA_STREAM_END && Result != LZMA_OK)
        throw Exception("liblzma: decode failed");
    return Out;
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM); 0 when it cannot be read.
long StatusKiB(const char *Field) {
    std::ifstream In("/proc/self/status");
    std::string Line;
    const size_t Len = std::strlen(Field);
    while (std::getline(In, Line))
        if (Line.compare(0, Len, Field) == 0 && Line.size() > Len && Line[Len] == ':')
            return std::stol(Line.substr(Len + 1));
    return 0;
}

// Runs one extraction in a fresh process (its peak resident set starts anew with exec) and
// returns how far that peak rose above the resident set before the extraction, in KiB.
long ExtractionPeakKiB(const char *Self, const std::string &Path, uint32_t Size, uint32_t Crc) {
    const std::string Command = std::string(Self) + " --extract '" + Path + "' " +
                                std::to_string(Size) + " " + std::to_string(Crc);
    FILE *Pipe = popen(Command.c_str(), "r");
    long Peak = -1;
    if (Pipe) {
        if (std::fscanf(Pipe, "%ld", &Peak) != 1)
            Peak = -1;
        pclose(Pipe);
    }
    return Peak;
}

// Child mode: the loader's routine (buffer of Size bytes, reader, LZMA, transform, CRC, one
// write to a file beside the package); prints the rise of the peak resident set in KiB.
int RunExtractChild(const char *Path, uint32_t Size, uint32_t Crc) {
    const long Before = StatusKiB("VmRSS");
    try {
        TFile Self(Path, fcOpenExisting, amRead, smRead);
        TLoaderOffsetTable Table = {};
        Table.SetupProgramSize = Size;
        Table.SetupProgramCRC = Crc;
        const std::string TargetPath = std::string(Path) + ".out";
        {
            TFile Target(TargetPath, fcCreateAlways, amWrite, smNone);
            ExtractSetupProgram(Self, Table, Target);
        }
        std::remove(TargetPath.c_str());
    } catch (const Exception &E) {
        std::fprintf(stderr, "extraction failed: %s\n", E.Message().c_str());
        return 1;
    }
    std::printf("%ld\n", StatusKiB("VmHWM") - Before);
    return 0;
}

} // namespace

int main(int ArgCount, char **Args) {
    if (ArgCount == 5 && std::strcmp(Args[1], "--extract") == 0)
        return RunExtractChild(Args[2], uint32_t(std::stoul(Args[3])),
                               uint32_t(std::stoul(Args[4])));

    const fs::path Dir = ArgCount > 1 ? Args[1] : "/usr/lib/i386-linux-gnu/wine/i386-windows";
    const size_t MinBytes = size_t(ArgCount > 2 ? std::stoul(Args[2]) : 24) << 20;
    const std::string Program = LoadPayload(Dir, MinBytes);
    if (Program.size() < MinBytes) {
        std::printf("not enough DLLs under %s (%zu bytes)\n", Dir.c_str(), Program.size());
        return 1;
    }
    const uint32_t Size = static_cast<uint32_t>(Program.size());
    const uint32_t Crc = ComputeCrc32(Program.data(), Size);
    std::printf("payload: %.1f MB of i386 DLLs from %s\n", Size / 1e6, Dir.c_str());

    auto Start = TClock::now();
    std::string Stored = Program;
    ConvertCallOperands(&Stored[0], Size, true, 0);
    const std::string Stream = LzmaCompress(Stored.data(), Stored.size());
    std::string Package;
    AppendCompressedBlock(Package, Stream.data(), Stream.size(), true);
    std::printf("packing:  %.1f s, stream %.1f MB (%.1f%%)\n", SecondsSince(Start),
                Stream.size() / 1e6, 100.0 * Stream.size() / Size);
    const std::string PackagePath =
        (fs::temp_directory_path() / ("quov-bench-" + std::to_string(getpid()))).string();
    std::ofstream(PackagePath, std::ios::binary) << Package;

    const int Rounds = 3;
    std::string Out(Size, '\0');
    double Loader = 1e9, Liblzma = 1e9;
    bool Same = true;
    for (int Round = 0; Round < Rounds; ++Round) {
        Start = TClock::now();
        Same = ExtractLikeLoader(PackagePath, Size, Out) == Crc && Same;
        Loader = std::min(Loader, SecondsSince(Start));
        Start = TClock::now();
        std::string Raw = DecodeWithLiblzma(Stream, Size);
        Liblzma = std::min(Liblzma, SecondsSince(Start));
        Same = Same && Raw == Stored;
    }
    std::printf("\nextraction (best of %d, output bytes per second)%s\n", Rounds,
                Same ? "" : "  *** OUTPUT MISMATCH ***");
    std::printf("  loader path (reader + LZMA + transform + CRC): %7.1f MB/s\n",
                MBps(Size, Loader));
    std::printf("  liblzma raw LZMA1 decoder alone:               %7.1f MB/s\n",
                MBps(Size, Liblzma));
    std::printf("  ratio loader / liblzma:                        %7.2fx (target >= 0.90x)\n",
                Liblzma / Loader);

    const int CrcRounds = 5;
    double Ours = 1e9, Zlib = 1e9;
    uint32_t Sink = 0;
    for (int Round = 0; Round < CrcRounds; ++Round) {
        Start = TClock::now();
        Sink ^= ComputeCrc32(Program.data(), Size);
        Ours = std::min(Ours, SecondsSince(Start));
        Start = TClock::now();
        Sink ^=
            static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef *>(Program.data()), Size));
        Zlib = std::min(Zlib, SecondsSince(Start));
    }
    std::printf("\nCRC-32 (best of %d)%s\n", CrcRounds, Sink == 0 ? "" : "  *** CRC MISMATCH ***");
    std::printf("  ComputeCrc32: %7.1f MB/s\n", MBps(Size, Ours));
    std::printf("  zlib crc32:   %7.1f MB/s\n", MBps(Size, Zlib));
    std::printf("  ratio:        %7.2fx\n", Zlib / Ours);

    const long Peak = ExtractionPeakKiB(Args[0], PackagePath, Size, Crc);
    const long Budget = long(Size / 1024) + 2048 + 256;
    std::printf("\npeak memory of one extraction (rise of a fresh process's peak resident set)\n");
    std::printf("  %ld KiB; budget N + 2 MiB + 256 KiB = %ld KiB (%s)\n", Peak, Budget,
                Peak < 0         ? "not measured"
                : Peak <= Budget ? "within"
                                 : "OVER");
    fs::remove(PackagePath);
    return 0;
}
