// Any bytes as a whole installer file, read the way `quovpack inspect` (and, for the inputs
// whose last byte is odd, `quovpack verify`) reads it: the PE reader, the offset table, the
// setup records, every message block, the program block and the code signature.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "support/exceptions.h"
#include "tools/package_reader.h"

namespace {

std::string ScratchPath() {
    const char *Base = std::getenv("TMPDIR");
    return std::string(Base ? Base : "/tmp") + "/package_inspect_fuzz." +
           std::to_string(::getpid()) + ".exe";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    static const std::string Path = ScratchPath();
    FILE *F = std::fopen(Path.c_str(), "wb");
    if (!F)
        return 0;
    const bool Written = std::fwrite(Data, 1, Size, F) == Size;
    if (std::fclose(F) != 0 || !Written)
        return 0;
    try {
        const bool DecodeProgram = Size > 0 && (Data[Size - 1] & 1);
        ReadPackage(Path, DecodeProgram);
    } catch (const Exception &) {
    }
    ::unlink(Path.c_str());
    return 0;
}
