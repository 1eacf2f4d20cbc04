// A TCustomFile over a byte string, for tests: reads may be cut to a fixed piece size, and a
// test can see how far the reader went.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "setupdata/file.h"

class TMemoryFile : public TCustomFile {
public:
    explicit TMemoryFile(std::string Bytes, uint32_t MaxPiece = 0xFFFFFFFFu)
        : FBytes(std::move(Bytes)), FMaxPiece(MaxPiece) {}

    uint64_t GetPosition() override { return FPosition; }
    uint64_t GetSize() override { return FClaimedSize ? FClaimedSize : FBytes.size(); }
    uint32_t Read(void *Buffer, uint32_t Count) override {
        if (FPosition >= FBytes.size())
            return 0;
        uint64_t Left = FBytes.size() - FPosition;
        uint32_t N = static_cast<uint32_t>(std::min<uint64_t>({Left, Count, FMaxPiece}));
        std::memcpy(Buffer, FBytes.data() + FPosition, N);
        FPosition += N;
        return N;
    }
    void SeekTo64(uint64_t Offset) override { FPosition = Offset; }
    void Write(const void *Buffer, uint32_t Count) override {
        if (FPosition + Count > FBytes.size())
            FBytes.resize(FPosition + Count);
        std::memcpy(&FBytes[FPosition], Buffer, Count);
        FPosition += Count;
    }

    // Makes GetSize report Size whatever the bytes are: a file that shrank under the reader, or
    // one too large to hold in a test.
    void ClaimSize(uint64_t Size) { FClaimedSize = Size; }

    const std::string &Bytes() const { return FBytes; }
    std::string &Bytes() { return FBytes; }

private:
    std::string FBytes;
    uint64_t FPosition = 0;
    uint64_t FClaimedSize = 0;
    uint32_t FMaxPiece;
};
