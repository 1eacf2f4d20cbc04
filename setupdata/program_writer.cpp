#include "setupdata/program_writer.h"

#include <cstring>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"

TProgramWriter::TProgramWriter(const uint8_t *Program, uint32_t Size, TFile &Target,
                               uint32_t ThreadFrom, uint32_t Stretch)
    : FProgram(Program), FSize(Size), FTarget(Target), FStretch(Stretch) {
    // Without a thread (a small program, or the system starts none) the stretches are handled as
    // the decoder reports them.
    FThreaded = Size != 0 && Size >= ThreadFrom && FThread.Start(&ThreadMain, this);
}

TProgramWriter::~TProgramWriter() {
    if (FThreaded) {
        FAbandon.store(true);
        FStop.store(true);
        FThread.Wake();
        FThread.Join();
    }
    if (!FKeep && FSized)
        SetTargetLength(0);
}

uint32_t TProgramWriter::SetTargetLength(uint32_t Length) noexcept {
    uint32_t Code = FTarget.TrySeek(Length);
    if (!Code)
        Code = FTarget.TryTruncate();
    return Code ? Code : FTarget.TrySeek(0);
}

void TProgramWriter::ProgressProc(void *Object, uint32_t Done) {
    static_cast<TProgramWriter *>(Object)->Advance(Done);
}

void TProgramWriter::Advance(uint32_t Done) noexcept {
    if (!FThreaded) {
        WriteUpTo(Done);
        return;
    }
    FReady.store(Done);
    FThread.Wake();
}

TProgramWriter::TOutcome TProgramWriter::Finish() noexcept {
    if (FThreaded) {
        FReady.store(FSize);
        FStop.store(true);
        FThread.Wake();
        FThread.Join();
        FThreaded = false;
    } else {
        WriteUpTo(FSize);
    }
    return TOutcome{~FCrc, FWriteError};
}

void TProgramWriter::ThreadMain(void *Object) {
    TProgramWriter &Self = *static_cast<TProgramWriter *>(Object);
    Self.PrefaultAhead();
    for (;;) {
        // The stop is read first: once it is set, the ready count read after it is the last.
        const bool Stop = Self.FStop.load();
        if (Self.FAbandon.load())
            return;
        Self.WriteUpTo(Self.FReady.load());
        if (Stop)
            return;
        Self.FThread.WaitForWake();
    }
}

// A fresh buffer gets its memory from the system page by page, on the first write to each page:
// about 15 ms for 40 MB, which would otherwise fall to the decoder. The thread takes those faults
// first, walking up through the buffer well ahead of the decoder; it is done long before the
// decoder gets near. Each page is touched with a locked OR of 0, which leaves its contents as
// they are even if the decoder should write there at the same moment (the loader touches its
// own image pages the same way).
void TProgramWriter::PrefaultAhead() noexcept {
    constexpr uint32_t PageSize = 4096;
    constexpr uint32_t Margin = 4u << 20;
    // The buffer comes from the heap: its pages start at the next page boundary.
    const uintptr_t First =
        (reinterpret_cast<uintptr_t>(FProgram) + PageSize - 1) & ~uintptr_t(PageSize - 1);
    for (uintptr_t Offset = First - reinterpret_cast<uintptr_t>(FProgram) + Margin;
         Offset + 4 <= FSize; Offset += PageSize) {
        if (FAbandon.load(std::memory_order_relaxed) || FReady.load() + Margin > Offset)
            return;
        __atomic_fetch_or(
            const_cast<uint32_t *>(reinterpret_cast<const uint32_t *>(FProgram + Offset)), 0u,
            __ATOMIC_RELAXED);
    }
}

void TProgramWriter::WriteUpTo(uint32_t Ready) noexcept {
    if (!FSized) {
        FSized = true;
        // The file takes its final length before any byte is written.
        FWriteError = SetTargetLength(FSize);
    }
    while (FWritten < FSize && !FAbandon.load(std::memory_order_relaxed)) {
        const uint32_t Left = FSize - FWritten;
        const uint32_t Length = Left < FStretch ? Left : FStretch;
        if (Ready - FWritten < Length)
            return;
        // The operands are restored in a copy: the program buffer stays as decoded.
        uint8_t *Stage = FStaging;
        std::memcpy(Stage, FProgram + FWritten, Length);
        // An instruction in the copy's last 4 bytes may have its operand beyond them: unless the
        // program ends here, the scan stops before them and the next stretch starts where it
        // stopped. Everything before that point is final, a straddling operand included.
        const uint32_t To = Length == Left ? Length : Length - 4;
        const uint32_t Final = ConvertCallOperandsStretch(Stage, Length, 0, To,
                                                          /*MakeAbsolute=*/false, FWritten);
        FCrc = AccumulateCrc32(FCrc, Stage, Final);
        // After a failed write the rest is still summed: a damaged program is reported as such
        // before any file error.
        if (!FWriteError)
            FWriteError = FTarget.TryWrite(Stage, Final);
        FWritten += Final;
    }
}
