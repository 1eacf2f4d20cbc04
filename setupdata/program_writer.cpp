#include "setupdata/program_writer.h"

#include <cstring>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"

namespace {
// The prefault touches one word per page, starting this far above the decoder and stopping when
// the decoder comes that near.
constexpr uint32_t PrefaultPageSize = 4096;
constexpr uint32_t PrefaultMargin = 4u << 20;

// Ends Target at Length, leaving it positioned at its start; 0 or the first error's code.
uint32_t SetTargetLength(TFile &Target, uint32_t Length) noexcept {
    uint32_t Code = Target.TrySeek(Length);
    if (!Code)
        Code = Target.TryTruncate();
    return Code ? Code : Target.TrySeek(0);
}
} // namespace

TProgramWriter::TProgramWriter(const uint8_t *Program, uint32_t Size, TFile &Target,
                               uint32_t ThreadFrom, uint32_t Stretch)
    : FProgram(Program), FSize(Size), FTarget(Target), FStretch(Stretch) {
    // The prefault's first page lies PrefaultMargin above the buffer's first page boundary (the
    // buffer comes from the heap: its pages start at the next boundary). Set before the thread
    // starts: the decoder may report before the thread first runs.
    const uintptr_t Start = reinterpret_cast<uintptr_t>(Program);
    const uintptr_t FirstPage = (Start + PrefaultPageSize - 1) & ~uintptr_t(PrefaultPageSize - 1);
    FPrefaulted.store(static_cast<uint32_t>(FirstPage - Start + PrefaultMargin));
    // Without a thread (a small program, or the system starts none) the stretches are handled as
    // the decoder reports them, and nothing is prefaulted.
    FThreaded = Size != 0 && Size >= ThreadFrom && FThread.Start(&ThreadMain, this);
    if (!FThreaded)
        FPrefaultOver.store(true);
}

TProgramWriter::~TProgramWriter() {
    if (FThreaded) {
        FAbandon.store(true);
        FStop.store(true);
        FThread.Wake();
        FThread.Join();
    }
    if (!FKeep && FSized)
        SetTargetLength(FTarget, 0);
}

void TProgramWriter::ProgressProc(void *Object, uint32_t Done) {
    static_cast<TProgramWriter *>(Object)->Advance(Done);
}

void TProgramWriter::Advance(uint32_t Done) noexcept {
    if (!FThreaded) {
        WriteUpTo(Done);
        return;
    }
    // Until the next report the decoder writes below Done + MaxOutputAhead: those bytes must
    // lie below every page that the prefault may still touch.
    if (!FPrefaultOver.load(std::memory_order_acquire) &&
        uint64_t(Done) + MaxOutputAhead > FPrefaulted.load(std::memory_order_acquire))
        StopPrefault();
    FReady.store(Done);
    FThread.Wake();
}

// The prefault stays far ahead and ends itself long before the decoder comes near, so this wait
// is for a second thread that the system has not run yet: it ends at its next page.
void TProgramWriter::StopPrefault() noexcept {
    FPrefaultStop.store(true);
    while (!FPrefaultOver.load(std::memory_order_acquire)) {
    }
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
// they are (the loader touches its own image pages the same way), and only where the decoder
// cannot write before it has learnt that the touch is done: each touch is published through
// FPrefaulted, which the decoder reads at each report (Advance).
void TProgramWriter::PrefaultAhead() noexcept {
    static_assert(MaxOutputAhead < PrefaultMargin, "the decoder starts below the first page");
    for (uint32_t Offset = FPrefaulted.load(std::memory_order_relaxed); Offset + 4 <= FSize;
         Offset += PrefaultPageSize) {
        FPrefaulted.store(Offset, std::memory_order_release);
        if (FPrefaultStop.load() || FAbandon.load(std::memory_order_relaxed) ||
            FReady.load() + PrefaultMargin > Offset)
            break;
        __atomic_fetch_or(
            const_cast<uint32_t *>(reinterpret_cast<const uint32_t *>(FProgram + Offset)), 0u,
            __ATOMIC_RELAXED);
    }
    FPrefaultOver.store(true, std::memory_order_release);
}

void TProgramWriter::WriteUpTo(uint32_t Ready) noexcept {
    if (!FSized) {
        FSized = true;
        // The file takes its final length before any byte is written.
        FWriteError = SetTargetLength(FTarget, FSize);
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

void WriteCheckedProgram(const uint8_t *Program, uint32_t Size, TFile &Target) {
    uint32_t Code = SetTargetLength(Target, Size);
    if (!Code)
        Code = Target.TryWrite(Program, Size);
    if (Code) {
        SetTargetLength(Target, 0);
        TCustomFile::RaiseFileError(Code);
    }
}
