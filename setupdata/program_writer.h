// Writes the setup program behind its decoder. The decoder fills the program buffer from the front
// and reports how much of it is final; the writer restores the call operands of each new stretch,
// sums the CRC-32 of the result and writes it to the target file, on a second thread for a large
// program (when the system starts one) and on the decoder's thread otherwise. Owns its staging
// copy and its thread; borrows the program buffer and the target file.
#pragma once

#include <atomic>
#include <cstdint>

#include "setupdata/decompressor.h"
#include "setupdata/file.h"
#include "support/worker_thread.h"

class TProgramWriter {
public:
    // What the writing came to once the whole program has passed through.
    struct TOutcome {
        uint32_t Crc = 0;        // CRC-32 of the program with its call operands restored
        uint32_t WriteError = 0; // the first file error's Win32 code, 0 when every write succeeded
    };

    // The writer's unit of work, restored and summed in a copy inside the writer: small enough
    // for the cache and for the stack of the routine that holds the writer.
    static constexpr uint32_t DefaultStretch = 64 * 1024;
    // Under Wine a second thread costs about 5 ms (its start, and the loader's first window is
    // slower to create once a process has had one): what the work on 4 MiB costs the decoder's
    // thread.
    static constexpr uint32_t DefaultThreadFrom = 4u << 20;

    // Program holds Size bytes once the decoder is done; the writer reads only the bytes reported
    // final and never changes them (the decoder takes its matches from there). A program of
    // ThreadFrom bytes or more is written on a second thread. Stretch is how much the writer
    // handles at a time: more than 4 bytes and at most DefaultStretch.
    TProgramWriter(const uint8_t *Program, uint32_t Size, TFile &Target,
                   uint32_t ThreadFrom = DefaultThreadFrom, uint32_t Stretch = DefaultStretch);
    // Stops the thread, and unless Keep was called empties the target, so that a failed
    // extraction leaves no part of a program behind.
    ~TProgramWriter();
    TProgramWriter(const TProgramWriter &) = delete;
    TProgramWriter &operator=(const TProgramWriter &) = delete;

    // The decoder's progress reports, for TCompressedBlockReader::ReadLast.
    TOutputProgress Progress() { return TOutputProgress{this, &ProgressProc}; }
    // The first Done bytes of the program are final. Never throws.
    void Advance(uint32_t Done) noexcept;
    // After the whole program was reported final: waits until it is written and summed.
    TOutcome Finish() noexcept;
    // The written program is accepted: the destructor leaves the target as it is.
    void Keep() { FKeep = true; }

private:
    static void ProgressProc(void *Object, uint32_t Done);
    static void ThreadMain(void *Object);
    // Takes the buffer's page faults ahead of the decoder; on the second thread.
    void PrefaultAhead() noexcept;
    // On the decoder's thread, once it comes near the pages the prefault may still touch: ends
    // the prefault and waits until its last touch is done.
    void StopPrefault() noexcept;
    // Handles every stretch that is final up to Ready; on the writing thread.
    void WriteUpTo(uint32_t Ready) noexcept;

    const uint8_t *FProgram;
    uint32_t FSize;
    TFile &FTarget;
    uint32_t FStretch;
    uint8_t FStaging[DefaultStretch];
    // Shared with the thread: how much is final, and whether to stop (after the last stretch, or
    // at once when the extraction failed).
    std::atomic<uint32_t> FReady{0};
    std::atomic<bool> FStop{false};
    std::atomic<bool> FAbandon{false};
    // The prefault's own handshake with the decoder: every byte it touches lies at or above
    // FPrefaulted, and every touch below that is done; FPrefaultOver once it touches nothing
    // more. The decoder writes only below those bounds, so no byte is ever touched by both at
    // once (StopPrefault).
    std::atomic<uint32_t> FPrefaulted{0};
    std::atomic<bool> FPrefaultStop{false};
    std::atomic<bool> FPrefaultOver{false};
    // The writing thread's own state, read by the others only after it ended.
    bool FSized = false;
    uint32_t FWritten = 0;
    uint32_t FCrc = 0xFFFFFFFFu;
    uint32_t FWriteError = 0;
    bool FKeep = false;
    bool FThreaded = false;
    TWorkerThread FThread;
};

// Writes a program decoded ahead of time, its call operands already restored and its CRC already
// checked, to Target in one go. Target takes its final length first, as behind the writer above;
// on a file error it is emptied again and the error thrown (EFileError).
void WriteCheckedProgram(const uint8_t *Program, uint32_t Size, TFile &Target);
