#include "setupdata/block_reader.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

namespace {

[[noreturn]] void RaiseBlockCorrupt() {
    throw ECompressDataError(CompressedBlockCorruptText);
}

uint32_t LoadLe32(const uint8_t *P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

} // namespace

TCompressedBlockReader::TCompressedBlockReader(TCustomFile &Source, TDecompressorClassRef Class)
    : FSource(Source) {
    uint8_t HeaderCrcBytes[4];
    uint8_t Header[5]; // BlockStoredSize (4), IsCompressed (1)
    if (FSource.Read(HeaderCrcBytes, 4) != 4)
        RaiseBlockCorrupt();
    if (FSource.Read(Header, 5) != 5)
        RaiseBlockCorrupt();
    if (ComputeCrc32(Header, 5) != LoadLe32(HeaderCrcBytes))
        RaiseBlockCorrupt();
    const uint32_t StoredSize = LoadLe32(Header);
    // A block that would reach past the end of the file is refused before any chunk is read.
    if (FSource.GetPosition() + StoredSize > FSource.GetSize())
        RaiseBlockCorrupt();
    if (Header[4] != 0)
        FOwnedDecompressor = Class(TCompressedInputProc{this, SupplyInputProc});
    // A stored size of 2^31 or more becomes negative here and fails when a chunk is needed.
    FStoredLeft = static_cast<int32_t>(StoredSize);
    FConstructed = true;
}

TCompressedBlockReader::~TCompressedBlockReader() {
    delete FOwnedDecompressor;
    if (!FConstructed)
        return;
    // FStoredLeft only shrinks from the stored size, or stays at it when that was 2^31 or more:
    // read as unsigned it is always the count of bytes still ahead in the block.
    try {
        FSource.SeekTo64(FSource.GetPosition() + static_cast<uint32_t>(FStoredLeft));
    } catch (const Exception &) {
        // A destructor must not throw; the next positioned read will report the file's state.
    }
}

void TCompressedBlockReader::Read(void *Buffer, int32_t Count) {
    if (FOwnedDecompressor) {
        FOwnedDecompressor->DecompressTo(Buffer, Count);
        return;
    }
    if (Count < 0 || SupplyInput(Buffer, Count) != Count)
        RaiseBlockCorrupt();
}

int32_t TCompressedBlockReader::SupplyInputProc(void *Object, void *Buffer, int32_t Count) {
    return static_cast<TCompressedBlockReader *>(Object)->SupplyInput(Buffer, Count);
}

int32_t TCompressedBlockReader::SupplyInput(void *Buffer, int32_t Count) {
    uint8_t *Out = static_cast<uint8_t *>(Buffer);
    int32_t Copied = 0;
    while (Count > 0) {
        if (FChunkLeft == 0) {
            if (FStoredLeft == 0)
                break;
            LoadNextChunk();
        }
        int32_t N = Count < FChunkLeft ? Count : FChunkLeft;
        std::memcpy(Out, FChunkBuf + FChunkPos, static_cast<size_t>(N));
        Out += N;
        FChunkPos += N;
        FChunkLeft -= N;
        Count -= N;
        Copied += N;
    }
    return Copied;
}

void TCompressedBlockReader::LoadNextChunk() {
    // A chunk needs its CRC and at least one payload byte.
    if (FStoredLeft < 5)
        RaiseBlockCorrupt();
    uint8_t CrcBytes[4];
    FSource.ReadExact(CrcBytes, 4);
    FStoredLeft -= 4;
    const int32_t N = FStoredLeft < ChunkSize ? FStoredLeft : ChunkSize;
    FSource.ReadExact(FChunkBuf, static_cast<uint32_t>(N));
    FStoredLeft -= N;
    FChunkPos = 0;
    FChunkLeft = N;
    if (ComputeCrc32(FChunkBuf, static_cast<size_t>(N)) != LoadLe32(CrcBytes)) {
        // Nothing of a chunk that fails its CRC is handed out, even to a caller that goes on.
        FChunkLeft = 0;
        RaiseBlockCorrupt();
    }
}
