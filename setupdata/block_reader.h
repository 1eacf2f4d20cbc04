// Reads one compressed block (setupdata/block_format.h) as a plain byte stream. Owns its
// decompressor and its chunk buffer; borrows the file it reads, and leaves that file right
// behind the block when destroyed.
#pragma once

#include <cstdint>

#include "setupdata/block_format.h"
#include "setupdata/decompressor.h"
#include "setupdata/file.h"

class TCompressedBlockReader {
public:
    // Reads and checks the header; reads no chunk. A short header, a header CRC mismatch or a
    // block that would reach past the end of the file throw ECompressDataError and leave the
    // file where the header reading stopped.
    TCompressedBlockReader(TCustomFile &Source, TDecompressorClassRef Class);
    ~TCompressedBlockReader();
    TCompressedBlockReader(const TCompressedBlockReader &) = delete;
    TCompressedBlockReader &operator=(const TCompressedBlockReader &) = delete;

    // Delivers exactly Count bytes of the block's (decompressed) stream or throws. The reader's
    // own faults name the block's file offset and, where one is at fault, the chunk; the
    // decoder's faults leave the offset to the caller.
    void Read(void *Buffer, int32_t Count);
    // The last read from this reader: delivers exactly Count bytes like Read, telling Progress
    // how much of Buffer is final as it goes (TOutputProgress), so that the decompressor can decode
    // straight into Buffer with no dictionary of its own. Nothing may be read afterwards.
    void ReadLast(void *Buffer, int32_t Count, TOutputProgress Progress);

private:
    static int32_t SupplyInputProc(void *Object, void *Buffer, int32_t Count);
    int32_t SupplyInput(void *Buffer, int32_t Count);
    void LoadNextChunk();
    [[noreturn]] void RaiseBlockCorrupt(TDataFault Fault) const;

    TCustomDecompressor *FOwnedDecompressor = nullptr;
    TCustomFile &FSource;
    uint64_t FBlockOffset = 0;
    int32_t FStoredLeft = 0;
    bool FConstructed = false;
    int32_t FChunkIndex = -1;
    int32_t FChunkPos = 0;
    int32_t FChunkLeft = 0;
    uint8_t FChunkBuf[BlockChunkSize];
};
