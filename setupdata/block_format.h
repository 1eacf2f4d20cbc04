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
