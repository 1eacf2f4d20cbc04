#include "tools/packlib/block_writer.h"

#include "setupdata/crc32.h"
#include "support/exceptions.h"
#include "tools/packlib/lzma_compress.h"

namespace {

void AppendLe32(std::string &Out, uint32_t Value) {
    for (int Shift = 0; Shift < 32; Shift += 8)
        Out.push_back(static_cast<char>((Value >> Shift) & 0xFF));
}

} // namespace

uint64_t BlockStoredSizeFor(uint64_t PayloadSize) {
    uint64_t Chunks = (PayloadSize + BlockChunkSize - 1) / BlockChunkSize;
    return PayloadSize + 4 * Chunks;
}

void AppendCompressedBlock(std::string &Out, const void *Payload, size_t Size, bool IsCompressed) {
    // The reader keeps the stored count in a signed 32-bit field.
    uint64_t StoredSize = BlockStoredSizeFor(Size);
    if (StoredSize >= (uint64_t(1) << 31))
        throw ECompressInternalError("compressed block too large: stored size would reach 2 GiB");

    std::string Header;
    AppendLe32(Header, static_cast<uint32_t>(StoredSize));
    Header.push_back(IsCompressed ? 1 : 0);
    Out.reserve(Out.size() + BlockHeaderSize + StoredSize);
    AppendLe32(Out, ComputeCrc32(Header.data(), Header.size()));
    Out += Header;

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
