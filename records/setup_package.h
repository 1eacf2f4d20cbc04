// The acceptance of a package: the one routine through which the loader and the tools read
// what the loader's file holds, in the loader's order. The loader runs its stages one by one
// (it asks the user and makes the temporary folder between them); the tools run them all with
// AcceptPackage. Borrows the files it is given; what it reads belongs to the caller.
//
// Every damaged structure is the setup-corrupt error (ESetupCorrupt, the text the loader
// shows); its fault (support/data_fault.h) names the check, the structure and the file offset,
// and DescribeDataFault (records/data_fault_text.h) turns it into a sentence for the tools.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "records/setup_records.h"
#include "support/data_fault.h"
#include "support/worker_thread.h"

class TCustomFile;
class TFile;
struct TLoaderOffsetTable;

// Stage 1, the head of the package. Table is the offset table (null: the loader found none
// among its resources, itself the setup-corrupt error). Checks it and the file
// (AcceptOffsetTable), then reads the header record and its LanguageEntryCount language
// entries (appended to Entries) from the one compressed block behind the setup data
// signature. A count below 0 or above MaxLanguageEntryCount is damaged data. A file that ends
// inside the signature raises EFileError 38; other exceptions pass unchanged.
void AcceptPackageHead(const TLoaderOffsetTable *Table, TCustomFile &File,
                       TSetupHeaderRec &Header, std::vector<TSetupLanguageEntry> &Entries);

// The records half of stage 1: File stands at the records block (right behind the signature).
// Damaged data anywhere are the setup-corrupt error (a RecordStringLength fault names the
// record); the reader is gone in every case.
void ReadSetupRecords(TCustomFile &File, TSetupHeaderRec &Header,
                      std::vector<TSetupLanguageEntry> &Entries);

// Stage 2, a language's message block: ParseMessageBlock (records/message_block.h), which the
// loader runs through ActivateLanguage for the language it picks.

// Stage 3, the setup program: decoded from its block at SetupProgramOffset into a buffer of
// SetupProgramSize bytes (the decoder needs no dictionary besides it, whatever the stream
// declares), its call operands restored and its CRC compared with SetupProgramCRC. A size of
// 2^31 or more and a CRC mismatch are damaged data; a failed allocation is EOutOfMemory.
struct TFreeDeleter {
    void operator()(void *P) const { std::free(P); }
};
using TProgramBuffer = std::unique_ptr<uint8_t, TFreeDeleter>;
TProgramBuffer DecodeSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table);

// Stage 3 as the loader runs it, in two steps. First File goes to the program's block at
// SetupProgramOffset; the loader does this before it creates Target, and a file error here is
// its own (reading the loader's file is not writing the temporary file).
void SeekSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table);
// Then, from where File stands, the same checks as DecodeSetupProgram in the same order, but the
// program is written to Target behind the decoder (TProgramWriter: on a second thread when the
// system starts one), Target taking its final length first. A file error counts only after the
// whole program has passed, and passes unchanged. On any failure Target is left empty. The
// buffer is released in every case.
void ExtractSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table, TFile &Target);

// Stage 3 begun before it is needed, while the loader waits for the user: the program is decoded
// into a buffer of its own on a second thread, from the program's block (the seek included), its
// call operands restored and its CRC compared. Nothing is created or written and nothing is
// reported: a program that did not pass (damaged, unreadable, no memory) is dropped, and the
// loader then runs stage 3 as usual, which meets the same fault at the same point as without this
// start. The thread never touches the message table, so it may still run while the process ends.
// Borrows File, which nobody else may use while the thread runs, and Table; owns the buffer.
class TEarlyProgramDecode {
public:
    TEarlyProgramDecode(TCustomFile &File, const TLoaderOffsetTable &Table)
        : FFile(File), FTable(Table) {}
    // Waits for a thread that still runs: to give the decoding up without waiting, leave this
    // object and File to the end of the process.
    ~TEarlyProgramDecode() = default;
    TEarlyProgramDecode(const TEarlyProgramDecode &) = delete;
    TEarlyProgramDecode &operator=(const TEarlyProgramDecode &) = delete;

    // Takes the buffer and starts the thread. False when either fails: nothing runs then. Never
    // throws.
    bool Start() noexcept;
    // Waits for the thread. True when the buffer holds the whole program, checked; otherwise the
    // buffer is released and File stands anywhere.
    bool Finish() noexcept;
    // After Finish said true: writes the program to Target (WriteCheckedProgram) and releases the
    // buffer. A file error is thrown; Target is then empty.
    void WriteTo(TFile &Target);

private:
    static void ThreadMain(void *Object);

    TCustomFile &FFile;
    const TLoaderOffsetTable &FTable;
    TProgramBuffer FBuffer;
    bool FPassed = false; // the thread's verdict, read once it has ended
    TWorkerThread FThread;
};

// All stages, for the tools: the head, every language's message block (the loader checks only
// the one it picks, but any may be picked; a fault's Item names the entry) unless
// AllMessageBlocks is false, and the program when DecodeProgram is set. Fills Out as each
// stage passes, so that after a throw it holds what was accepted before the fault.
struct TAcceptedPackage {
    bool HeadAccepted = false;
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    TProgramBuffer Program; // SetupProgramSize bytes, when decoded
};
struct TAcceptOptions {
    bool AllMessageBlocks = true;
    bool DecodeProgram = true;
};
void AcceptPackage(TCustomFile &File, const TLoaderOffsetTable &Table,
                   const TAcceptOptions &Options, TAcceptedPackage &Out);
