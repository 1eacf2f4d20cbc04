#include "setupdata/block_reader.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

TCompressedBlockReader::TCompressedBlockReader(TCustomFile &Source, TDecompressorClassRef Class)
    : FSource(Source), FBlockOffset(Source.GetPosition()) {
    uint8_t Header[BlockHeaderSize];
    // The CRC and the checked bytes are read one after the other, as two reads.
    if (FSource.Read(Header, BlockStoredSizeOffset) != BlockStoredSizeOffset ||
        FSource.Read(Header + BlockStoredSizeOffset, BlockHeaderCheckedBytes) !=
            BlockHeaderCheckedBytes)
        RaiseBlockCorrupt(MakeDataFault(TFaultCheck::BlockHeaderCut));
    TBlockHeader Fields;
    auto BytesLeft = [this]() -> uint64_t {
        const uint64_t Position = FSource.GetPosition();
        const uint64_t Size = FSource.GetSize();
        return Size > Position ? Size - Position : 0;
    };
    const TDataFault Fault = CheckBlockHeader(Header, BytesLeft, Fields);
    if (Fault.Check != TFaultCheck::None)
        RaiseBlockCorrupt(Fault);
    if (Fields.IsCompressed)
        FOwnedDecompressor = Class(TCompressedInputProc{this, SupplyInputProc});
    // A stored size of 2^31 or more becomes negative here and fails when a chunk is needed.
    FStoredLeft = static_cast<int32_t>(Fields.StoredSize);
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

void TCompressedBlockReader::RaiseBlockCorrupt(TDataFault Fault) const {
    Fault.Offset = FBlockOffset;
    throw ECompressDataError(CompressedBlockCorruptText, Fault);
}

void TCompressedBlockReader::Read(void *Buffer, int32_t Count) {
    if (FOwnedDecompressor) {
        FOwnedDecompressor->DecompressTo(Buffer, Count);
        return;
    }
    if (Count < 0 || SupplyInput(Buffer, Count) != Count)
        RaiseBlockCorrupt(MakeDataFault(TFaultCheck::BlockDataShort, Count < 0 ? 0 : Count));
}

void TCompressedBlockReader::ReadLast(void *Buffer, int32_t Count, TOutputProgress Progress) {
    if (FOwnedDecompressor) {
        FOwnedDecompressor->DecompressLast(Buffer, Count, Progress);
        return;
    }
    Read(Buffer, Count);
    if (Count > 0)
        Progress(static_cast<uint32_t>(Count));
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
    TDataFault Fault;
    Fault.Item = ++FChunkIndex;
    Fault.ItemOffset = FSource.GetPosition();
    // A chunk needs its CRC and at least one payload byte.
    if (FStoredLeft < static_cast<int32_t>(BlockChunkCrcSize) + 1) {
        Fault.Check = TFaultCheck::ChunkCut;
        RaiseBlockCorrupt(Fault);
    }
    uint8_t CrcBytes[BlockChunkCrcSize];
    FSource.ReadExact(CrcBytes, BlockChunkCrcSize);
    FStoredLeft -= BlockChunkCrcSize;
    const int32_t ChunkSize = static_cast<int32_t>(BlockChunkSize);
    const int32_t N = FStoredLeft < ChunkSize ? FStoredLeft : ChunkSize;
    FSource.ReadExact(FChunkBuf, static_cast<uint32_t>(N));
    FStoredLeft -= N;
    FChunkPos = 0;
    FChunkLeft = N;
    const uint32_t StoredCrc = LoadLe32(CrcBytes);
    const uint32_t ChunkCrc = ComputeCrc32(FChunkBuf, static_cast<size_t>(N));
    if (ChunkCrc != StoredCrc) {
        // Nothing of a chunk that fails its CRC is handed out, even to a caller that goes on.
        FChunkLeft = 0;
        Fault.Check = TFaultCheck::ChunkCrc;
        Fault.Found = StoredCrc;
        Fault.Expected = ChunkCrc;
        RaiseBlockCorrupt(Fault);
    }
}
