// Writes compressed blocks in the stored form the block reader expects. Owns nothing.
//
//   0  4  HeaderCRC        CRC-32 of the 5 bytes at offsets 4..8
//   4  4  BlockStoredSize  bytes after this header, chunk CRCs included (below 2^31)
//   8  1  IsCompressed     0: payload is the data; 1: payload is an LZMA stream
//   9  ...                 chunks: 4-byte CRC, then 4096 payload bytes (fewer in the last)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t BlockHeaderSize = 9;
constexpr uint32_t BlockChunkSize = 4096;

// The stored size of a block whose payload is PayloadSize bytes (chunk CRCs included).
uint64_t BlockStoredSizeFor(uint64_t PayloadSize);

// Appends one block holding Payload as it stands. IsCompressed only sets the header flag: the
// caller passes an LZMA stream when it is true. Throws ECompressInternalError, appending
// nothing, when the stored size would reach 2^31 bytes.
void AppendCompressedBlock(std::string &Out, const void *Payload, size_t Size, bool IsCompressed);

// Compresses Data with LzmaCompress and appends it as a compressed block.
void AppendLzmaBlock(std::string &Out, const void *Data, size_t Size);
