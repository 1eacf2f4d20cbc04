// The stored folder of files (quovpack pack --files) beside the loader's program extraction on
// the same bytes: a real tree's first files in path order, stored as a folder by the packager's
// tree writer and, concatenated, as a setup program by the loader's writer. Prints the
// extraction rates (the setup program's reader writing every file into a fresh folder, against
// the loader's ExtractSetupProgram writing the program file; wall-clock, best of five rounds,
// CPU time beside) and the peak memory of a read of the folder for two payload sizes, measured
// in a child process. Asserts nothing.
//
//   file_tree_bench [DIR] [MB] [MEMORY-MB...]
// DIR defaults to Wine's i386 DLL folder, MB (the payload of the rate figures) to 48, the
// memory figures to the first 24 and 96 MB.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/loader_extraction.h"
#include "bench/process_memory.h"
#include "records/setup_package.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/file_tree_reader.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "tools/file_tree_packer.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"

namespace fs = std::filesystem;

namespace {

double Now(clockid_t Clock) {
    timespec T;
    clock_gettime(Clock, &T);
    return T.tv_sec + T.tv_nsec / 1e9;
}

// The tree's files in path order until MinBytes are gathered (all of them when 0).
std::vector<TTreeSourceEntry> FirstFiles(const std::string &Dir, uint64_t MinBytes) {
    std::vector<TTreeSourceEntry> All = ScanHostTree(Dir, /*ZeroTimes=*/true), Out;
    std::sort(All.begin(), All.end(),
              [](const TTreeSourceEntry &A, const TTreeSourceEntry &B) { return A.Path < B.Path; });
    uint64_t Sum = 0;
    for (TTreeSourceEntry &E : All) {
        if (MinBytes != 0 && Sum >= MinBytes)
            break;
        Sum += E.Data.size();
        Out.push_back(std::move(E));
    }
    return Out;
}

uint64_t LargestFile(const std::vector<TTreeSourceEntry> &Entries) {
    uint64_t Largest = 0;
    for (const TTreeSourceEntry &E : Entries)
        Largest = std::max<uint64_t>(Largest, E.Data.size());
    return Largest;
}

// Reads every file of the folder stored in AreaPath; with Target, writes each into that folder
// (flat: the bench's trees have no subfolders that matter) as the setup program writes them.
uint64_t ReadTree(const std::string &AreaPath, const std::string &Target) {
    TFile Area(AreaPath, fcOpenExisting, amRead, smRead);
    TFileTreeReader Reader(Area);
    uint64_t Bytes = 0;
    for (const TFileTreeEntry &Entry : Reader.Index().Entries) {
        if (Entry.IsFolder) {
            if (!Target.empty())
                fs::create_directories(Target + "/" + Entry.Path);
            continue;
        }
        if (Target.empty()) {
            Reader.ReadFile(Entry, [&](const void *, uint32_t Size) { Bytes += Size; });
            continue;
        }
        TFile Out(Target + "/" + Entry.Path, fcCreateAlways, amWrite, smNone);
        Reader.ReadFile(Entry, [&](const void *Data, uint32_t Size) {
            Out.Write(Data, Size);
            Bytes += Size;
        });
    }
    return Bytes;
}

// Child mode: one read of the folder, files discarded; prints the rise of the peak resident set
// in KiB.
int RunReadChild(const char *AreaPath) {
    const long Before = StatusKiB("VmRSS");
    try {
        ReadTree(AreaPath, std::string());
    } catch (const Exception &E) {
        std::fprintf(stderr, "read failed: %s\n", E.Message().c_str());
        return 1;
    }
    std::printf("%ld\n", StatusKiB("VmHWM") - Before);
    return 0;
}

long ReadPeakKiB(const char *Self, const std::string &AreaPath) {
    return ChildPeakKiB(std::string(Self) + " --read '" + AreaPath + "'");
}

void WriteBytes(const std::string &Path, const std::string &Bytes) {
    std::ofstream(Path, std::ios::binary) << Bytes;
}

} // namespace

int main(int ArgCount, char **Args) {
    if (ArgCount == 3 && std::strcmp(Args[1], "--read") == 0)
        return RunReadChild(Args[2]);
    const std::string Dir = ArgCount > 1 ? Args[1] : "/usr/lib/i386-linux-gnu/wine/i386-windows";
    const uint64_t RateBytes = uint64_t(ArgCount > 2 ? std::stoul(Args[2]) : 48) << 20;
    std::vector<uint64_t> MemoryBytes;
    for (int I = 3; I < ArgCount; ++I)
        MemoryBytes.push_back(uint64_t(std::stoul(Args[I])) << 20);
    if (MemoryBytes.empty())
        MemoryBytes = {24u << 20, 96u << 20};
    const std::string Base =
        (fs::temp_directory_path() / ("quov-tree-bench-" + std::to_string(getpid()))).string();
    try {
        // The rate: the same bytes as a stored folder and as the loader's setup program.
        std::vector<TTreeSourceEntry> Files = FirstFiles(Dir, RateBytes);
        std::string Program;
        for (const TTreeSourceEntry &E : Files)
            Program += E.Data;
        const uint32_t Size = static_cast<uint32_t>(Program.size());
        std::printf("payload: %zu files, %.1f MB from %s, the largest %.1f MB\n", Files.size(),
                    Size / 1e6, Dir.c_str(), LargestFile(Files) / 1e6);
        const std::string AreaPath = Base + ".area";
        WriteBytes(AreaPath, BuildFileTreeArea(std::move(Files), std::string()));
        const uint32_t Crc = ComputeCrc32(Program.data(), Size);
        ConvertCallOperands(&Program[0], Size, /*MakeAbsolute=*/true, /*PositionBias=*/0);
        const std::string Stream =
            LzmaCompressProgram(Program.data(), Size, DefaultProgramDictionarySize);
        std::string().swap(Program);
        std::string Block;
        AppendCompressedBlock(Block, Stream.data(), Stream.size(), /*IsCompressed=*/true);
        const std::string ProgramPath = Base + ".program";
        WriteBytes(ProgramPath, Block);
        std::printf("stored: folder %llu bytes, program block %zu bytes\n",
                    (unsigned long long)fs::file_size(AreaPath), Block.size());

        const int Rounds = 5;
        double Loader = 1e9, LoaderCpu = 0, Tree = 1e9, TreeCpu = 0, Bare = 1e9, BareCpu = 0;
        for (int Round = 0; Round < Rounds; ++Round) {
            double Wall = Now(CLOCK_MONOTONIC), Cpu = Now(CLOCK_PROCESS_CPUTIME_ID);
            ExtractProgramFile(ProgramPath, Base + ".out", Size, Crc);
            if (Now(CLOCK_MONOTONIC) - Wall < Loader) {
                Loader = Now(CLOCK_MONOTONIC) - Wall;
                LoaderCpu = Now(CLOCK_PROCESS_CPUTIME_ID) - Cpu;
            }
            fs::remove(Base + ".out");

            fs::create_directories(Base + ".tree");
            Wall = Now(CLOCK_MONOTONIC);
            Cpu = Now(CLOCK_PROCESS_CPUTIME_ID);
            if (ReadTree(AreaPath, Base + ".tree") != Size)
                throw Exception("the folder read back is not the payload's size");
            if (Now(CLOCK_MONOTONIC) - Wall < Tree) {
                Tree = Now(CLOCK_MONOTONIC) - Wall;
                TreeCpu = Now(CLOCK_PROCESS_CPUTIME_ID) - Cpu;
            }
            fs::remove_all(Base + ".tree");

            Wall = Now(CLOCK_MONOTONIC);
            Cpu = Now(CLOCK_PROCESS_CPUTIME_ID);
            ReadTree(AreaPath, std::string());
            if (Now(CLOCK_MONOTONIC) - Wall < Bare) {
                Bare = Now(CLOCK_MONOTONIC) - Wall;
                BareCpu = Now(CLOCK_PROCESS_CPUTIME_ID) - Cpu;
            }
        }
        std::printf("\nextraction of the same %.1f MB (best of %d, MB of output per wall-clock "
                    "second, CPU seconds beside)\n",
                    Size / 1e6, Rounds);
        std::printf("  %-58s %7.1f MB/s  %.2f s CPU\n",
                    "loader's program extraction (ExtractSetupProgram, a file):",
                    Size / 1e6 / Loader, LoaderCpu);
        std::printf("  %-58s %7.1f MB/s  %.2f s CPU  %.2fx the loader's\n",
                    "stored folder (TFileTreeReader, a file each):", Size / 1e6 / Tree, TreeCpu,
                    Loader / Tree);
        std::printf("  %-58s %7.1f MB/s  %.2f s CPU  %.2fx the loader's\n",
                    "stored folder read, files discarded:", Size / 1e6 / Bare, BareCpu,
                    Loader / Bare);
        std::printf("  (CPU time: the loader writes on a second thread; by CPU time the folder's "
                    "read with its files is %.2fx the loader's)\n",
                    LoaderCpu / TreeCpu);
        fs::remove(AreaPath);
        fs::remove(ProgramPath);

        // The memory: a read of the folder for payloads of two sizes.
        std::printf("\npeak memory of one read of the folder, files discarded (rise of a fresh "
                    "process's peak resident set)\n");
        for (uint64_t Want : MemoryBytes) {
            std::vector<TTreeSourceEntry> Part = FirstFiles(Dir, Want);
            uint64_t Total = 0;
            for (const TTreeSourceEntry &E : Part)
                Total += E.Data.size();
            const uint64_t Largest = LargestFile(Part);
            WriteBytes(AreaPath, BuildFileTreeArea(std::move(Part), std::string()));
            const long Peak = ReadPeakKiB(Args[0], AreaPath);
            std::printf("  payload %6.1f MB: %ld KiB; largest file %.1f MB (dictionary: %u MiB, or "
                        "the smallest that holds a smaller payload)\n",
                        Total / 1e6, Peak, Largest / 1e6, DefaultFileTreeDictionarySize >> 20);
            fs::remove(AreaPath);
        }
    } catch (const Exception &E) {
        std::fprintf(stderr, "file_tree_bench: %s\n", E.Message().c_str());
        return 1;
    }
    return 0;
}
