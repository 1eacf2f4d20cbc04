// The stored form of a compressed block: a CRC-protected header, then the payload cut into
// CRC-protected chunks. Read by TCompressedBlockReader, written by the packager's block writer.
//
// Layout (little-endian):
//   0  4  HeaderCRC        CRC-32 of the 5 bytes at offsets 4..8
//   4  4  BlockStoredSize  bytes after this header, chunk CRCs included; below 2^31
//   8  1  IsCompressed     0: the payload is the data; otherwise it is an LZMA stream
//   9  ...                 chunks: ChunkCRC (4), then BlockChunkSize payload bytes (1 to
//                          BlockChunkSize in the last), until BlockStoredSize bytes are used
#pragma once

#include <cstdint>

#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "support/data_fault.h"

constexpr uint32_t BlockHeaderCrcOffset = 0;
constexpr uint32_t BlockStoredSizeOffset = 4;
constexpr uint32_t BlockIsCompressedOffset = 8;
constexpr uint32_t BlockHeaderSize = 9;
// The header CRC covers the stored size and the flag.
constexpr uint32_t BlockHeaderCheckedBytes = BlockHeaderSize - BlockStoredSizeOffset;

constexpr uint32_t BlockChunkCrcSize = 4;
constexpr uint32_t BlockChunkSize = 4096;
// The reader counts stored bytes in a signed 32-bit field.
constexpr uint32_t BlockMaxStoredSize = 0x7FFFFFFFu;

// The stored size of a block whose payload is PayloadSize bytes (chunk CRCs included).
constexpr uint64_t BlockStoredSizeFor(uint64_t PayloadSize) {
    return PayloadSize + BlockChunkCrcSize * ((PayloadSize + BlockChunkSize - 1) / BlockChunkSize);
}

// A block header's fields as stored.
struct TBlockHeader {
    uint32_t StoredSize = 0;
    bool IsCompressed = false;
};

// Checks a block's BlockHeaderSize header bytes: the header CRC first, then the stored size
// against BytesLeft(), what the file holds behind the header (asked only once the CRC is right).
// Fills Header either way and returns the fault (Check None for a good header; the caller adds
// where the block lies). The block reader and the tools that map a package both check with it.
template <class TBytesLeft>
TDataFault CheckBlockHeader(const uint8_t *Bytes, TBytesLeft BytesLeft, TBlockHeader &Header) {
    Header.StoredSize = LoadLe32(Bytes + BlockStoredSizeOffset);
    Header.IsCompressed = Bytes[BlockIsCompressedOffset] != 0;
    const uint32_t StoredCrc = LoadLe32(Bytes + BlockHeaderCrcOffset);
    const uint32_t HeaderCrc = ComputeCrc32(Bytes + BlockStoredSizeOffset, BlockHeaderCheckedBytes);
    if (HeaderCrc != StoredCrc)
        return MakeDataFault(TFaultCheck::BlockHeaderCrc, StoredCrc, HeaderCrc);
    // A block that would reach past the end of the file is refused before any chunk is read.
    const uint64_t Left = BytesLeft();
    if (Header.StoredSize > Left)
        return MakeDataFault(TFaultCheck::BlockPastEnd, Header.StoredSize, Left);
    return TDataFault();
}
