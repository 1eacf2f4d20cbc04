// The LZMA1 decompressor of compressed blocks. Owns its work area (probability table followed by
// the dictionary, one allocation) and its input buffer; borrows the input callback.
//
// Stream layout (the block's payload):
//   0  1  properties byte   (pb * 5 + lp) * 9 + lc, at most 224
//   1  4  dictionary size   little-endian; 0 counts as 1; above 64 MiB refused
//   5  ...                  the range-coded data
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "setupdata/decompressor.h"

constexpr uint32_t LzmaMaxDictionarySize = 64u << 20;

class TLZMADecompressor : public TCustomDecompressor {
public:
    static constexpr int32_t InputBufSize = 65536;

    explicit TLZMADecompressor(TCompressedInputProc InputProc);
    ~TLZMADecompressor() override;

    void DecompressTo(void *Buffer, int32_t Count) override;
    void Reset() override;

    // For tests and measurements: the current work area and its size (none and 0 before the
    // first stream).
    const void *WorkArea() const { return FWorkArea; }
    size_t WorkAreaSize() const { return FWorkAreaSize; }

private:
    struct TDecodeState;

    void PrepareStream();
    void ReleaseWorkArea();
    void RefillInput();

    bool FInputExhausted = false;
    bool FStreamReady = false;
    std::unique_ptr<TDecodeState> FDecodeState;
    void *FWorkArea = nullptr;
    size_t FWorkAreaSize = 0;
    uint32_t FInputPos = 0;
    uint32_t FInputLen = 0;
    uint8_t FInputBuf[InputBufSize];
};

// The class reference the loader hands to every block reader.
TCustomDecompressor *CreateLZMADecompressor(TCompressedInputProc InputProc);
constexpr TDecompressorClassRef LZMADecompressorClass = CreateLZMADecompressor;

// "lzma: compressed data is corrupted (Code)" as ECompressDataError.
[[noreturn]] void RaiseLzmaDataError(int32_t Code);
