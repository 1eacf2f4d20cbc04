// The LZMA1 decompressor of compressed blocks. Owns its work area (probability table followed by
// the dictionary, one allocation; a stream read by one last read needs no dictionary there) and
// its input buffer; borrows the input callback.
//
// Stream layout (the block's payload):
//   0  1  properties byte   (pb * 5 + lp) * 9 + lc, at most 224
//   1  4  dictionary size   little-endian; 0 counts as 1; above 64 MiB refused; no match
//                           refers further back than this
//   5  ...                  the range-coded data, ended by the end-of-stream marker
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "setupdata/decompressor.h"

constexpr uint32_t LzmaPropertiesOffset = 0;
constexpr uint32_t LzmaDictionarySizeOffset = 1;
constexpr uint32_t LzmaStreamHeaderSize = 5;
constexpr uint8_t LzmaMaxPropertiesByte = 224;
constexpr uint32_t LzmaMaxDictionarySize = 64u << 20;

class TLZMADecompressor : public TCustomDecompressor {
public:
    static constexpr int32_t InputBufSize = 65536;

    explicit TLZMADecompressor(TCompressedInputProc InputProc);
    ~TLZMADecompressor() override;

    void DecompressTo(void *Buffer, int32_t Count) override;
    void Reset() override;
    // A stream that starts with its last read is decoded straight into Buffer, which serves as
    // the dictionary: the work area then holds the probability table only, whatever dictionary
    // the stream declares. The bytes and the errors are those of the dictionary's way.
    void DecompressLast(void *Buffer, int32_t Count, TOutputProgress Progress) override;

    // For tests and measurements: the current work area and its size (none and 0 before the
    // first stream).
    const void *WorkArea() const { return FWorkArea; }
    size_t WorkAreaSize() const { return FWorkAreaSize; }

private:
    struct TDecodeState;

    void PrepareStream(bool WithDictionary);
    void ReleaseWorkArea();
    void RefillInput();

    struct TDecodeStep {
        size_t Start = 0;
        size_t Produced = 0;
        size_t Consumed = 0;
        int Result = 0;
        bool Finished = false;
    };
    TDecodeStep DecodeStep(size_t Limit);
    void CheckDecodeStep(const TDecodeStep &Step, int32_t Left);
    void DecodeInPlace(uint8_t *Buffer, int32_t Count, TOutputProgress Progress);

    bool FInputExhausted = false;
    bool FStreamReady = false;
    // The current stream has produced output through the dictionary: a last read can no longer
    // take it from its start.
    bool FStreamStarted = false;
    // A last read took the current stream without keeping its dictionary: nothing can follow.
    bool FStreamSpent = false;
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

// Why the decoder refused a stream. The value is the number the error text shows and the
// Found of the fault (TFaultCheck::LzmaData) that the tools describe.
enum class TLzmaDataError : uint8_t {
    HeaderCut = 1,          // the block ends inside the 5-byte stream header
    PropertiesTooLarge = 3, // the properties byte is above LzmaMaxPropertiesByte
    Damaged = 5,            // the coded data are damaged, or end before the end marker
    EndsEarly = 6,          // the end marker comes before the count that was asked for
    DictionaryTooLarge = 7, // the declared dictionary is above LzmaMaxDictionarySize
};

// "lzma: compressed data is corrupted (<Kind's number>)" as ECompressDataError.
[[noreturn]] void RaiseLzmaDataError(TLzmaDataError Kind);
