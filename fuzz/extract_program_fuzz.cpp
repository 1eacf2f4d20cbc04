// Any bytes as the loader's own file behind a table, extracted the way the loader extracts its
// setup program: to the block, then one last read of the decoder into the program buffer with
// the writer behind it (on its second thread from 4 MiB on), to a real file.
//
// Input layout:
//   0  4  SetupProgramSize  little-endian, taken modulo MaxProgramSize + 1
//   4  4  SetupProgramCRC   little-endian
//   8  ...                  the file; the program's block starts at its offset 0
// Whatever the bytes, the extraction ends in our errors or in the program, and a refused
// program leaves the target file empty: anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "records/setup_package.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"
#include "support/byte_order.h"
#include "support/exceptions.h"
#include "tests/setupdata/memory_file.h"

namespace {

// Past the writer's 4 MiB threshold and its prefault's margin, small enough for many runs.
constexpr uint32_t MaxProgramSize = 10u << 20;
constexpr size_t InputHeaderSize = 8;

std::string TargetPath() {
    const char *Base = std::getenv("TMPDIR");
    return std::string(Base ? Base : "/tmp") + "/extract_program_fuzz." +
           std::to_string(::getpid()) + ".tmp";
}

uint64_t TargetLength(const std::string &Path) {
    TFile Target(Path, fcOpenExisting, amRead, smNone);
    return Target.GetSize();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    if (Size < InputHeaderSize)
        return 0;
    static const std::string Path = TargetPath();
    TLoaderOffsetTable Table = {};
    Table.SetupProgramSize = LoadLe32(Data) % (MaxProgramSize + 1);
    Table.SetupProgramCRC = LoadLe32(Data + 4);
    TMemoryFile Self(std::string(reinterpret_cast<const char *>(Data) + InputHeaderSize,
                                 Size - InputHeaderSize));
    bool Accepted = false;
    try {
        SeekSetupProgram(Self, Table);
        TFile Target(Path, fcCreateAlways, amWrite, smNone);
        ExtractSetupProgram(Self, Table, Target);
        Accepted = true;
    } catch (const Exception &) {
    }
    const uint64_t Length = TargetLength(Path);
    if (Length != (Accepted ? Table.SetupProgramSize : 0)) {
        std::fprintf(stderr, "extract_program_fuzz: %s program left %llu bytes\n",
                     Accepted ? "an accepted" : "a refused",
                     static_cast<unsigned long long>(Length));
        std::abort();
    }
    ::unlink(Path.c_str());
    return 0;
}
