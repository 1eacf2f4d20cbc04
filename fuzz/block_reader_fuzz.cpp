// Any bytes as a file holding one block, read in pieces through the LZMA adapter.
#include <cstddef>
#include <cstdint>
#include <string>

#include "setupdata/block_reader.h"
#include "setupdata/lzma_decompressor.h"
#include "support/exceptions.h"
#include "tests/setupdata/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    if (Size < 1)
        return 0;
    // The first byte picks the read pattern; the rest is the file.
    static const int32_t Pieces[] = {1, 7, 4096, 65536};
    const int32_t Piece = Pieces[Data[0] % 4];
    TMemoryFile File(std::string(reinterpret_cast<const char *>(Data) + 1, Size - 1));
    static uint8_t Buffer[65536];
    try {
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        // Enough output to wrap small dictionaries several times, bounded in time.
        const int32_t Limit = Piece == 1 ? 65536 : 1 << 20;
        for (int32_t Done = 0; Done < Limit; Done += Piece)
            Reader.Read(Buffer, Piece);
    } catch (const Exception &) {
    }
    return 0;
}
