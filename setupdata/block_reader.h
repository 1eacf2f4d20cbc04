// Reads one compressed block as a plain byte stream. Owns its decompressor and its chunk buffer;
// borrows the file it reads, and leaves that file right behind the block when destroyed.
//
// Block layout at the file position where the reader is created (little-endian):
//   0  4  HeaderCRC        CRC-32 of the 5 bytes at offsets 4..8
//   4  4  BlockStoredSize  bytes after this header, chunk CRCs included; below 2^31
//   8  1  IsCompressed     0: the payload is the data; otherwise it goes through the decompressor
//   9  ...                 chunks: ChunkCRC (4), then 4096 payload bytes (1..4096 in the last)
#pragma once

#include <cstdint>

#include "setupdata/decompressor.h"
#include "setupdata/file.h"

class TCompressedBlockReader {
public:
    static constexpr int32_t ChunkSize = 4096;

    // Reads and checks the header; reads no chunk. A short header, a header CRC mismatch or a
    // block that would reach past the end of the file throw ECompressDataError and leave the
    // file where the header reading stopped.
    TCompressedBlockReader(TCustomFile &Source, TDecompressorClassRef Class);
    ~TCompressedBlockReader();
    TCompressedBlockReader(const TCompressedBlockReader &) = delete;
    TCompressedBlockReader &operator=(const TCompressedBlockReader &) = delete;

    // Delivers exactly Count bytes of the block's (decompressed) stream or throws.
    void Read(void *Buffer, int32_t Count);

private:
    static int32_t SupplyInputProc(void *Object, void *Buffer, int32_t Count);
    int32_t SupplyInput(void *Buffer, int32_t Count);
    void LoadNextChunk();

    TCustomDecompressor *FOwnedDecompressor = nullptr;
    TCustomFile &FSource;
    int32_t FStoredLeft = 0;
    bool FConstructed = false;
    int32_t FChunkPos = 0;
    int32_t FChunkLeft = 0;
    uint8_t FChunkBuf[ChunkSize];
};
