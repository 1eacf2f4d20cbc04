// The decompressor interface of the block reader: a decompressor pulls its compressed input
// through a bound callback that it borrows (in practice the block reader's SupplyInput).
#pragma once

#include <cstdint>

// An object and one of its operations. Places up to Count bytes into Buffer and returns how
// many it placed; 0 means the compressed input is exhausted.
struct TCompressedInputProc {
    void *Object = nullptr;
    int32_t (*Proc)(void *Object, void *Buffer, int32_t Count) = nullptr;

    int32_t operator()(void *Buffer, int32_t Count) const { return Proc(Object, Buffer, Count); }
};

// Told, while one long read goes on, how many bytes at the start of the caller's buffer are final
// (the count only grows; the last report is the whole count). It runs on the reading thread, must
// not throw, and must leave the reported bytes as they are: the decompressor may still read them.
// Before its first report and between two reports, the decompressor writes nothing more than
// MaxOutputAhead bytes past the count it last reported (0 before the first).
constexpr uint32_t MaxOutputAhead = 1u << 20;
struct TOutputProgress {
    void *Object = nullptr;
    void (*Proc)(void *Object, uint32_t Done) = nullptr;

    void operator()(uint32_t Done) const {
        if (Proc)
            Proc(Object, Done);
    }
};

class TCustomDecompressor {
public:
    explicit TCustomDecompressor(TCompressedInputProc InputProc) : FInputProc(InputProc) {}
    TCustomDecompressor(const TCustomDecompressor &) = delete;
    TCustomDecompressor &operator=(const TCustomDecompressor &) = delete;
    virtual ~TCustomDecompressor() = default;

    // Places exactly Count decompressed bytes into Buffer, continuing the current stream, or
    // throws (ECompressDataError, ECompressInternalError, EOutOfMemory, or the callback's error).
    virtual void DecompressTo(void *Buffer, int32_t Count) = 0;
    // Forgets the current stream: the next DecompressTo starts a new one.
    virtual void Reset() = 0;
    // The stream's one read, from its start: places exactly Count bytes into Buffer like
    // DecompressTo, reporting progress, and nothing more is read from the stream until Reset. A
    // decompressor that keeps a dictionary may then decode straight into Buffer without one.
    virtual void DecompressLast(void *Buffer, int32_t Count, TOutputProgress Progress) = 0;

protected:
    TCompressedInputProc FInputProc;
};

// Creates a decompressor of one kind bound to InputProc. Never returns null: a failed
// allocation throws EOutOfMemory.
using TDecompressorClassRef = TCustomDecompressor *(*)(TCompressedInputProc InputProc);
