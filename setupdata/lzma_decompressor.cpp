#include "setupdata/lzma_decompressor.h"

#include <cstring>
#include <new>

#include "setupdata/work_area.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

extern "C" {
#include <LzmaDec.h>
}

struct TLZMADecompressor::TDecodeState {
    CLzmaDec Dec;
};

namespace {

// The probability table as the decoder sizes it: 1846 fixed entries plus 768 per literal
// context, 16 bits each.
size_t ProbabilityBytes(const CLzmaProps &Props) {
    return (1846 + (size_t(768) << (Props.lc + Props.lp))) * sizeof(CLzmaProb);
}

// Decoding straight into a caller's buffer goes in steps of at most this many bytes, so that a
// reader of the progress gets the output in stretches while the rest is decoded.
constexpr SizeT InPlaceStep = 256 * 1024;
static_assert(InPlaceStep <= MaxOutputAhead, "each step is reported before the next begins");

[[noreturn]] void RaiseLzmaInternalError(int32_t Result) {
    throw ECompressInternalError(std::string("lzma: ") +
                                 FormatWithNumber(LzmaDecodeFailedPattern, Result));
}

} // namespace

void RaiseLzmaDataError(TLzmaDataError Kind) {
    const uint8_t Code = static_cast<uint8_t>(Kind);
    throw ECompressDataError(FormatWithNumber(LzmaDataErrorPattern, Code),
                             MakeDataFault(TFaultCheck::LzmaData, Code));
}

TCustomDecompressor *CreateLZMADecompressor(TCompressedInputProc InputProc) {
    TCustomDecompressor *Result = new (std::nothrow) TLZMADecompressor(InputProc);
    if (!Result)
        throw EOutOfMemory();
    return Result;
}

TLZMADecompressor::TLZMADecompressor(TCompressedInputProc InputProc)
    : TCustomDecompressor(InputProc) {}

TLZMADecompressor::~TLZMADecompressor() {
    ReleaseWorkArea();
}

void TLZMADecompressor::Reset() {
    FStreamReady = false;
    FStreamSpent = false;
    FInputExhausted = false;
    FInputPos = FInputLen = 0;
}

void TLZMADecompressor::ReleaseWorkArea() {
    FreeWorkArea(FWorkArea, FWorkAreaSize);
    FWorkArea = nullptr;
    FWorkAreaSize = 0;
}

void TLZMADecompressor::PrepareStream(bool WithDictionary) {
    static_assert(LzmaStreamHeaderSize == LZMA_PROPS_SIZE, "the SDK reads the same header");
    uint8_t Header[LzmaStreamHeaderSize];
    if (FInputProc(Header, LzmaStreamHeaderSize) != LzmaStreamHeaderSize)
        RaiseLzmaDataError(TLzmaDataError::HeaderCut);
    if (!FDecodeState) {
        FDecodeState.reset(new (std::nothrow) TDecodeState);
        if (!FDecodeState)
            throw EOutOfMemory();
    }
    CLzmaDec &Dec = FDecodeState->Dec;
    std::memset(&Dec, 0, sizeof(Dec));
    if (Header[LzmaPropertiesOffset] > LzmaMaxPropertiesByte)
        RaiseLzmaDataError(TLzmaDataError::PropertiesTooLarge);
    const uint32_t DictionarySize = LoadLe32(Header + LzmaDictionarySizeOffset);
    if (DictionarySize > LzmaMaxDictionarySize)
        RaiseLzmaDataError(TLzmaDataError::DictionaryTooLarge);

    CLzmaProps Props;
    if (SRes Result = LzmaProps_Decode(&Props, Header, LzmaStreamHeaderSize))
        RaiseLzmaInternalError(Result);
    // The decoder raises any dictionary below 4 KiB (0 included) to 4 KiB and uses that much
    // of the buffer, so that is what the area holds.
    const size_t ProbBytes = ProbabilityBytes(Props);
    const size_t DictionaryBytes = WithDictionary ? Props.dicSize : 0;
    const size_t Needed = ProbBytes + DictionaryBytes;
    if (Needed != FWorkAreaSize) {
        ReleaseWorkArea();
        FWorkArea = AllocateWorkArea(Needed);
        if (!FWorkArea)
            throw EOutOfMemory();
        FWorkAreaSize = Needed;
    }

    Dec.prop = Props;
    // The decoder checks match distances against prop.dicSize once that many bytes are out.
    // Its ring never holds less than 4 KiB, but a stream that declares less may not refer
    // further back than it declared (0 counts as 1).
    if (DictionarySize < Props.dicSize)
        Dec.prop.dicSize = DictionarySize == 0 ? 1 : DictionarySize;
    Dec.probs = static_cast<CLzmaProb *>(FWorkArea);
    Dec.numProbs = static_cast<UInt32>(ProbBytes / sizeof(CLzmaProb));
    Dec.dic = WithDictionary ? static_cast<Byte *>(FWorkArea) + ProbBytes : nullptr;
    Dec.dicBufSize = DictionaryBytes;
    LzmaDec_Init(&Dec);
    FStreamReady = true;
    FStreamStarted = false;
}

void TLZMADecompressor::RefillInput() {
    FInputPos = 0;
    FInputLen = 0;
    if (FInputExhausted)
        return;
    int32_t Got = FInputProc(FInputBuf, InputBufSize);
    if (Got <= 0)
        FInputExhausted = true;
    else
        FInputLen = static_cast<uint32_t>(Got > InputBufSize ? InputBufSize : Got);
}

// One decoder call towards Limit in the current dictionary, refilling the input first when it
// is used up. Reports what was produced; the caller checks the outcome with CheckDecodeStep
// after it has taken the bytes.
TLZMADecompressor::TDecodeStep TLZMADecompressor::DecodeStep(size_t Limit) {
    CLzmaDec &Dec = FDecodeState->Dec;
    if (FInputPos == FInputLen)
        RefillInput();
    TDecodeStep Step;
    Step.Start = Dec.dicPos;
    SizeT InLen = FInputLen - FInputPos;
    ELzmaStatus Status;
    Step.Result = LzmaDec_DecodeToDic(&Dec, Limit, FInputBuf + FInputPos, &InLen,
                                      LZMA_FINISH_ANY, &Status);
    FInputPos += static_cast<uint32_t>(InLen);
    Step.Produced = Dec.dicPos - Step.Start;
    Step.Consumed = InLen;
    Step.Finished = Status == LZMA_STATUS_FINISHED_WITH_MARK;
    return Step;
}

void TLZMADecompressor::CheckDecodeStep(const TDecodeStep &Step, int32_t Left) {
    if (Step.Result == SZ_ERROR_DATA)
        RaiseLzmaDataError(TLzmaDataError::Damaged);
    if (Step.Result != SZ_OK)
        RaiseLzmaInternalError(Step.Result);
    if (Step.Finished) {
        if (Left > 0)
            RaiseLzmaDataError(TLzmaDataError::EndsEarly);
        return;
    }
    if (Step.Produced == 0 && Step.Consumed == 0) {
        // The decoder wants another symbol and the block has no more input.
        if (FInputExhausted)
            RaiseLzmaDataError(TLzmaDataError::Damaged);
        if (FInputPos != FInputLen)
            RaiseLzmaInternalError(Step.Result);
    }
}

// Decodes the stream's first Count bytes straight into Buffer, which serves as the dictionary.
// Distances are checked against the bytes decoded so far and the dictionary size the stream
// declares, never against the buffer's length, so the outcome and the errors are those of the
// ring buffer. Leaves the decoder pointing into Buffer.
void TLZMADecompressor::DecodeInPlace(uint8_t *Buffer, int32_t Count, TOutputProgress Progress) {
    CLzmaDec &Dec = FDecodeState->Dec;
    Dec.dic = Buffer;
    Dec.dicBufSize = static_cast<SizeT>(Count);
    Dec.dicPos = 0;
    while (Dec.dicPos < Dec.dicBufSize) {
        const SizeT Left = Dec.dicBufSize - Dec.dicPos;
        const TDecodeStep Step = DecodeStep(Dec.dicPos + (Left < InPlaceStep ? Left : InPlaceStep));
        CheckDecodeStep(Step, Count - static_cast<int32_t>(Dec.dicPos));
        Progress(static_cast<uint32_t>(Dec.dicPos));
        if (Step.Finished)
            break;
    }
}

void TLZMADecompressor::DecompressLast(void *Buffer, int32_t Count, TOutputProgress Progress) {
    // The stream must start with its last read: bytes of it that earlier reads took are not in
    // the caller's buffer.
    if (FStreamStarted || FStreamSpent)
        RaiseLzmaInternalError(SZ_ERROR_FAIL);
    if (!FStreamReady)
        PrepareStream(/*WithDictionary=*/false);
    FStreamSpent = true;
    if (Count <= 0)
        return;
    FStreamStarted = true;
    // Nothing is read after this call, so the buffer's bytes never need to move anywhere. The
    // decoder is left pointing into Buffer, but a spent stream is not decoded again: Reset
    // prepares the next one afresh.
    DecodeInPlace(static_cast<uint8_t *>(Buffer), Count, Progress);
}

void TLZMADecompressor::DecompressTo(void *Buffer, int32_t Count) {
    // A last read keeps no dictionary to continue from: a further read is the caller's fault.
    if (FStreamSpent)
        RaiseLzmaInternalError(SZ_ERROR_FAIL);
    if (!FStreamReady)
        PrepareStream(/*WithDictionary=*/true);
    if (Count <= 0)
        return;
    FStreamStarted = true;
    CLzmaDec &Dec = FDecodeState->Dec;
    uint8_t *Out = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        if (Dec.dicPos == Dec.dicBufSize)
            Dec.dicPos = 0;
        const SizeT Room = Dec.dicBufSize - Dec.dicPos;
        const TDecodeStep Step =
            DecodeStep(Dec.dicPos + (SizeT(Count) < Room ? SizeT(Count) : Room));
        std::memcpy(Out, Dec.dic + Step.Start, Step.Produced);
        Out += Step.Produced;
        Count -= static_cast<int32_t>(Step.Produced);
        CheckDecodeStep(Step, Count);
        if (Step.Finished)
            break;
    }
}
