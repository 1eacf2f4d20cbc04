// Extraction the loader's way (block reader, LZMA adapter, call transform, CRC-32, the written
// file) over a real x86 payload, beside liblzma's raw LZMA1 decoder and `xz --format=lzma -dc` on
// the same stream and zlib's crc32 on the same bytes; packing with and without the call
// transform beside `xz -9e` with the same LZMA settings; and the peak memory of an extraction
// with a 2 MiB and a 64 MiB dictionary, measured in a child process. Extraction times are
// wall-clock time (the loader writes on a second thread behind its decoder: what the user waits
// for), with the CPU time beside; packing and CRC times are CPU time. All are the best of a few
// rounds, so other load on a shared machine disturbs them less.
//
//   extraction_bench [--payload FILE] [DLL-DIR] [MIN-MB]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <lzma.h>
#include <zlib.h>

#include "bench/loader_extraction.h"
#include "bench/process_memory.h"
#include "records/setup_package.h"
#include "setupdata/block_reader.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "setupdata/offset_table.h"
#include "support/byte_order.h"
#include "support/exceptions.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"

namespace fs = std::filesystem;

namespace {

// CPU seconds of this process.
double CpuNow() {
    timespec Now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
    return Now.tv_sec + Now.tv_nsec / 1e9;
}

// Wall-clock seconds.
double WallNow() {
    timespec Now;
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return Now.tv_sec + Now.tv_nsec / 1e9;
}

// CPU seconds of the children that have been waited for.
double ChildrenCpuNow() {
    rusage Usage;
    getrusage(RUSAGE_CHILDREN, &Usage);
    return Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec +
           (Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

// Runs a shell command and returns its CPU time (its wall-clock time with Wall), or -1 when it
// failed.
double RunTimed(const std::string &Command, bool Wall = false) {
    const double Start = Wall ? WallNow() : ChildrenCpuNow();
    if (std::system(Command.c_str()) != 0)
        return -1;
    return (Wall ? WallNow() : ChildrenCpuNow()) - Start;
}

// The CPU model and core count, for the figures' context.
void PrintMachine() {
    std::ifstream In("/proc/cpuinfo");
    std::string Line, Model = "unknown CPU";
    while (std::getline(In, Line))
        if (Line.compare(0, 10, "model name") == 0) {
            Model = Line.substr(Line.find(':') + 2);
            break;
        }
    std::printf("machine: %s, %u cores\n", Model.c_str(), std::thread::hardware_concurrency());
    FILE *Pipe = popen("xz --version 2>/dev/null | head -1", "r");
    char Version[128] = "";
    if (Pipe) {
        if (!std::fgets(Version, sizeof Version, Pipe))
            Version[0] = 0;
        pclose(Pipe);
    }
    std::printf("xz:      %s", Version[0] ? Version : "not found\n");
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

// The loader's extraction from the package file to a program file beside it.
void ExtractToFile(const std::string &PackagePath, uint32_t Size, uint32_t Crc) {
    ExtractProgramFile(PackagePath, PackagePath + ".out", Size, Crc);
}

// Parts of that path into a fresh buffer; returns the CRC of what it read. Piece 0 reads the
// whole program in one call (the reader and the decoder alone, the stored bytes summed after);
// another piece size reads through the adapter's dictionary and finishes the program in one
// pass of transform and CRC, as the loader did before it wrote behind its decoder.
uint32_t ReadLikeLoader(const std::string &PackagePath, uint32_t Size, int32_t Piece) {
    std::unique_ptr<uint8_t, decltype(&std::free)> Out(static_cast<uint8_t *>(std::calloc(Size, 1)),
                                                       &std::free);
    TFile Self(PackagePath, fcOpenExisting, amRead, smRead);
    TCompressedBlockReader Reader(Self, LZMADecompressorClass);
    if (Piece == 0) {
        Reader.ReadLast(Out.get(), static_cast<int32_t>(Size), {});
        return ComputeCrc32(Out.get(), Size);
    }
    for (uint32_t Done = 0; Done < Size; Done += uint32_t(Piece))
        Reader.Read(Out.get() + Done, static_cast<int32_t>(std::min<uint32_t>(Piece, Size - Done)));
    return DecodeCallOperandsWithCrc32(Out.get(), Size);
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

// Runs one extraction in a fresh process (its peak resident set starts anew with exec) and
// returns how far that peak rose above the resident set before the extraction, in KiB.
long ExtractionPeakKiB(const char *Self, const std::string &Path, uint32_t Size, uint32_t Crc) {
    return ChildPeakKiB(std::string(Self) + " --extract '" + Path + "' " + std::to_string(Size) +
                        " " + std::to_string(Crc));
}

// Child mode: the loader's routine (buffer of Size bytes, reader, LZMA, transform, CRC, the
// file written beside the package); prints the rise of the peak resident set in KiB.
int RunExtractChild(const char *Path, uint32_t Size, uint32_t Crc) {
    const long Before = StatusKiB("VmRSS");
    try {
        ExtractToFile(Path, Size, Crc);
        std::remove((std::string(Path) + ".out").c_str());
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

    // --payload FILE writes the payload to FILE and stops (the Windows benchmark extracts the
    // same program, packed by quovpack).
    const char *PayloadOut = nullptr;
    if (ArgCount > 2 && std::strcmp(Args[1], "--payload") == 0) {
        PayloadOut = Args[2];
        Args += 2;
        ArgCount -= 2;
    }
    const fs::path Dir = ArgCount > 1 ? Args[1] : "/usr/lib/i386-linux-gnu/wine/i386-windows";
    const size_t MinBytes = size_t(ArgCount > 2 ? std::stoul(Args[2]) : 24) << 20;
    const std::string Program = LoadPayload(Dir, MinBytes);
    if (Program.size() < MinBytes) {
        std::printf("not enough DLLs under %s (%zu bytes)\n", Dir.c_str(), Program.size());
        return 1;
    }
    if (PayloadOut) {
        std::ofstream(PayloadOut, std::ios::binary) << Program;
        return 0;
    }
    const uint32_t Size = static_cast<uint32_t>(Program.size());
    const uint32_t Crc = ComputeCrc32(Program.data(), Size);
    PrintMachine();
    std::printf("payload: %.1f MB of i386 DLLs from %s\n", Size / 1e6, Dir.c_str());
    const std::string TempBase =
        (fs::temp_directory_path() / ("quov-bench-" + std::to_string(getpid()))).string();

    // Packing: our call transform + LZMA (what the packager does), LZMA alone, and xz's best
    // preset with the same dictionary and lc/lp/pb on the transformed and on the plain payload.
    std::string Stored = Program;
    double Start = CpuNow();
    ConvertCallOperands(&Stored[0], Size, true, 0);
    const std::string Stream = LzmaCompress(Stored.data(), Stored.size());
    const double PackTime = CpuNow() - Start;
    Start = CpuNow();
    const size_t PlainSize = LzmaCompress(Program.data(), Program.size()).size();
    const double PlainTime = CpuNow() - Start;
    const std::string XzOptions = "xz --format=lzma --lzma1=preset=9e,dict=2MiB,lc=3,lp=0,pb=2 -c ";
    auto XzPack = [&](const std::string &Input, double &Seconds) -> long {
        std::ofstream(TempBase + ".in", std::ios::binary) << Input;
        Seconds = RunTimed(XzOptions + "'" + TempBase + ".in' > '" + TempBase + ".xz'");
        const long Bytes = Seconds < 0 ? -1 : long(fs::file_size(TempBase + ".xz"));
        fs::remove(TempBase + ".in");
        fs::remove(TempBase + ".xz");
        return Bytes;
    };
    double XzStoredTime = 0, XzPlainTime = 0;
    const long XzStored = XzPack(Stored, XzStoredTime);
    const long XzPlain = XzPack(Program, XzPlainTime);
    const double MB = Size / 1e6;
    std::printf("\npacking (compressed size, share of the payload, CPU seconds per MB)\n");
    auto PackLine = [&](const char *What, double Bytes, double Seconds) {
        if (Bytes < 0 || Seconds < 0)
            std::printf("  %-44s failed\n", What);
        else
            std::printf("  %-44s %9.0f bytes %5.1f%%  %5.3f s/MB\n", What, Bytes,
                        100.0 * Bytes / Size, Seconds / MB);
    };
    PackLine("call transform + our LZMA (the packager):", double(Stream.size()), PackTime);
    PackLine("our LZMA without the transform:", double(PlainSize), PlainTime);
    PackLine("call transform + xz -9e (same dict/lc/lp/pb):", double(XzStored), XzStoredTime);
    PackLine("xz -9e without the transform:", double(XzPlain), XzPlainTime);
    std::printf("  transform gain: %.1f%% smaller than without; packager / xz -9e plain: %.3fx\n",
                100.0 * (1.0 - double(Stream.size()) / double(PlainSize)),
                XzPlain > 0 ? double(Stream.size()) / double(XzPlain) : 0.0);

    // The extraction reads the program as quovpack packs it by default; the memory figures also
    // take the 2 MiB stream above and one that declares a 64 MiB dictionary.
    auto WritePackage = [&](const std::string &Lzma, const char *Suffix) {
        std::string Package;
        AppendCompressedBlock(Package, Lzma.data(), Lzma.size(), true);
        const std::string Path = TempBase + Suffix;
        std::ofstream(Path, std::ios::binary) << Package;
        return Path;
    };
    const std::string ProgramStream =
        LzmaCompressProgram(Stored.data(), Stored.size(), DefaultProgramDictionarySize);
    const std::string PackagePath = WritePackage(ProgramStream, ".pkg");
    // The same stream as a .lzma file: properties, unknown size (the stream has its end
    // marker), data.
    const std::string LzmaPath = TempBase + ".lzma";
    std::ofstream(LzmaPath, std::ios::binary)
        << ProgramStream.substr(0, 5) << std::string(8, '\xFF') << ProgramStream.substr(5);

    const int Rounds = 5;
    double Loader = 1e9, LoaderCpu = 0, Bare = 1e9, Pieces = 1e9, Liblzma = 1e9, Xz = 1e9;
    bool Same = true;
    const uint32_t StoredCrc = ComputeCrc32(Stored.data(), Size);
    for (int Round = 0; Round < Rounds; ++Round) {
        Start = WallNow();
        const double Cpu = CpuNow();
        ExtractToFile(PackagePath, Size, Crc); // throws unless the CRC matches
        if (WallNow() - Start < Loader) {
            Loader = WallNow() - Start;
            LoaderCpu = CpuNow() - Cpu;
        }
        fs::remove(PackagePath + ".out");
        Start = WallNow();
        Same = ReadLikeLoader(PackagePath, Size, 0) == StoredCrc && Same;
        Bare = std::min(Bare, WallNow() - Start);
        Start = WallNow();
        Same = ReadLikeLoader(PackagePath, Size, 65536) == Crc && Same;
        Pieces = std::min(Pieces, WallNow() - Start);
        Start = WallNow();
        std::string Raw = DecodeWithLiblzma(ProgramStream, Size);
        Liblzma = std::min(Liblzma, WallNow() - Start);
        Same = Same && Raw == Stored;
        const double XzTime =
            RunTimed("xz --format=lzma -dc '" + LzmaPath + "' > /dev/null", /*Wall=*/true);
        Xz = XzTime < 0 ? -1 : std::min(Xz, XzTime);
    }
    std::printf("\nextraction (quovpack's default %u MiB dictionary, %u MiB declared; best of %d,"
                " output MB per wall-clock second)%s\n",
                DefaultProgramDictionarySize >> 20, LoadLe32(ProgramStream.data() + 1) >> 20,
                Rounds, Same ? "" : "  *** OUTPUT MISMATCH ***");
    auto SpeedLine = [&](const char *What, double Seconds) {
        if (Seconds < 0)
            std::printf("  %-56s failed\n", What);
        else
            std::printf("  %-56s %7.1f MB/s  loader/this %.2fx\n", What, MBps(Size, Seconds),
                        Seconds / Loader);
    };
    SpeedLine("loader's extraction (reader, LZMA, transform, CRC, file):", Loader);
    std::printf("    (its CPU time: %.0f%% of its wall-clock time; the file is written on a second"
                " thread)\n",
                100.0 * LoaderCpu / Loader);
    SpeedLine("  reader + LZMA alone, one read into a buffer:", Bare);
    SpeedLine("  64 KiB reads through the dictionary, then transform+CRC:", Pieces);
    SpeedLine("liblzma raw LZMA1 decoder alone (in memory, no file):", Liblzma);
    SpeedLine("xz --format=lzma -dc (file to /dev/null):", Xz);
    std::printf("  (loader/this: the loader's speed over that line's; target >= 1.00x against"
                " liblzma)\n");

    const int CrcRounds = 7;
    double Ours = 1e9, Zlib = 1e9;
    uint32_t Sink = 0;
    for (int Round = 0; Round < CrcRounds; ++Round) {
        Start = CpuNow();
        Sink ^= ComputeCrc32(Program.data(), Size);
        Ours = std::min(Ours, CpuNow() - Start);
        Start = CpuNow();
        Sink ^=
            static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef *>(Program.data()), Size));
        Zlib = std::min(Zlib, CpuNow() - Start);
    }
    std::printf("\nCRC-32 (best of %d)%s\n", CrcRounds, Sink == 0 ? "" : "  *** CRC MISMATCH ***");
    std::printf("  ComputeCrc32: %7.1f MB/s\n", MBps(Size, Ours));
    std::printf("  zlib crc32:   %7.1f MB/s\n", MBps(Size, Zlib));
    std::printf("  ratio:        %7.2fx\n", Zlib / Ours);

    // The extraction's memory must not grow with the dictionary a stream declares.
    const std::string SmallPath = WritePackage(Stream, "-2m.pkg");
    const std::string LargeStream =
        LzmaCompressWith(Stored.data(), Stored.size(), 3, 0, 2, LzmaMaxDictionarySize);
    const std::string LargePath = WritePackage(LargeStream, "-64m.pkg");
    const long Budget = long(Size / 1024) + 512;
    std::printf("\npeak memory of one extraction (rise of a fresh process's peak resident set;"
                " budget N + 512 KiB = %ld KiB)\n",
                Budget);
    for (const auto &[What, Path] : {std::pair<const char *, std::string>{"2 MiB", SmallPath},
                                     {"default", PackagePath},
                                     {"64 MiB", LargePath}}) {
        const long Peak = ExtractionPeakKiB(Args[0], Path, Size, Crc);
        std::printf("  %-7s dictionary: %ld KiB, N %+ld KiB (%s)\n", What, Peak,
                    Peak - long(Size / 1024),
                    Peak < 0         ? "not measured"
                    : Peak <= Budget ? "within"
                                     : "OVER");
        if (Path != PackagePath)
            fs::remove(Path);
    }
    fs::remove(PackagePath);
    fs::remove(LzmaPath);
    return 0;
}
