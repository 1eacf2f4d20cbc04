#include "tools/packlib/block_writer.h"

#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "support/exceptions.h"
#include "tools/packlib/lzma_compress.h"

void AppendCompressedBlock(std::string &Out, const void *Payload, size_t Size, bool IsCompressed) {
    // The reader keeps the stored count in a signed 32-bit field.
    uint64_t StoredSize = BlockStoredSizeFor(Size);
    if (StoredSize > BlockMaxStoredSize)
        throw ECompressInternalError("compressed block too large: stored size would reach 2 GiB");

    uint8_t Header[BlockHeaderSize];
    StoreLe32(Header + BlockStoredSizeOffset, static_cast<uint32_t>(StoredSize));
    Header[BlockIsCompressedOffset] = IsCompressed ? 1 : 0;
    StoreLe32(Header + BlockHeaderCrcOffset,
              ComputeCrc32(Header + BlockStoredSizeOffset, BlockHeaderCheckedBytes));
    Out.reserve(Out.size() + BlockHeaderSize + StoredSize);
    Out.append(reinterpret_cast<const char *>(Header), BlockHeaderSize);

    const char *P = static_cast<const char *>(Payload);
    for (size_t Left = Size; Left > 0;) {
        size_t N = Left < BlockChunkSize ? Left : BlockChunkSize;
        AppendLe32(Out, ComputeCrc32(P, N));
        Out.append(P, N);
        P += N;
        Left -= N;
    }
}

void AppendLzmaBlock(std::string &Out, const void *Data, size_t Size) {
    std::string Stream = LzmaCompress(Data, Size);
    AppendCompressedBlock(Out, Stream.data(), Stream.size(), true);
}
