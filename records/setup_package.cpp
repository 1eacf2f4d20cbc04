#include "records/setup_package.h"

#include "records/messages.h"
#include "setupdata/block_reader.h"
#include "setupdata/call_transform.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "setupdata/offset_table.h"
#include "setupdata/program_writer.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

namespace {

// Runs one stage's reading: damaged data become the setup-corrupt error, their fault completed
// with the structure and, where the reader could not tell, the structure's file offset.
template <typename TStep> void ReadStored(TFaultStructure Structure, uint64_t Offset, TStep &&Step) {
    try {
        Step();
    } catch (ECompressDataError &E) {
        TDataFault &Fault = E.Fault();
        if (Fault.Structure == TFaultStructure::None)
            Fault.Structure = Structure;
        if (Fault.Offset == NoFaultOffset)
            Fault.Offset = Offset;
        RaiseSetupCorrupt(Fault);
    }
}

[[noreturn]] void RaiseProgramFault(TFaultCheck Check, uint64_t Offset, uint64_t Found,
                                    uint64_t Expected = 0) {
    TDataFault Fault = MakeDataFault(Check, Found, Expected);
    Fault.Structure = TFaultStructure::SetupProgram;
    Fault.Offset = Offset;
    RaiseSetupCorrupt(Fault);
}

void ReadSetupRecordBlock(TCustomFile &File, TSetupHeaderRec &Header,
                          std::vector<TSetupLanguageEntry> &Entries) {
    int32_t Record = 0; // 0 the header record, K + 1 language entry K
    try {
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        ReadSetupRecord(Reader, Header);
        const int32_t Count = Header.LanguageEntryCount();
        if (Count < 0 || Count > MaxLanguageEntryCount)
            throw ECompressDataError(CompressedBlockCorruptText,
                                     MakeDataFault(TFaultCheck::LanguageCount,
                                                   static_cast<uint32_t>(Count)));
        // Entries are added as they arrive, so a large count that the block cannot back
        // allocates no more than what was really read.
        for (int32_t Index = 0; Index < Count; ++Index) {
            Record = Index + 1;
            Entries.emplace_back();
            ReadSetupRecord(Reader, Entries.back());
        }
    } catch (ECompressDataError &E) {
        if (E.Fault().Check == TFaultCheck::RecordStringLength)
            E.Fault().Item = Record;
        throw;
    }
}

// The reader's count is signed: a program of 2 GiB or more cannot have been stored.
constexpr uint32_t MaxProgramSize = 0x7FFFFFFFu;

// The buffer a program of the table's size is decoded into, zero-filled (none for size 0).
TProgramBuffer AllocateProgramBuffer(const TLoaderOffsetTable &Table) {
    const uint32_t Size = Table.SetupProgramSize;
    if (Size > MaxProgramSize)
        RaiseProgramFault(TFaultCheck::ProgramTooLarge, Table.SetupProgramOffset, Size);
    TProgramBuffer Buffer;
    if (Size != 0) {
        Buffer.reset(static_cast<uint8_t *>(std::calloc(Size, 1)));
        if (!Buffer)
            throw EOutOfMemory();
    }
    return Buffer;
}

// Decodes the program's block, where File stands, into Buffer in one last read (no dictionary of
// the decoder's own), telling Progress how much of it is final as the decoder goes.
void ReadProgramBlock(TCustomFile &File, const TLoaderOffsetTable &Table, uint8_t *Buffer,
                      TOutputProgress Progress) {
    ReadStored(TFaultStructure::SetupProgram, Table.SetupProgramOffset, [&] {
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        Reader.ReadLast(Buffer, static_cast<int32_t>(Table.SetupProgramSize), Progress);
    });
}

void CheckProgramCrc(const TLoaderOffsetTable &Table, uint32_t Crc) {
    if (Crc != Table.SetupProgramCRC)
        RaiseProgramFault(TFaultCheck::ProgramCrc, Table.SetupProgramOffset, Crc,
                          Table.SetupProgramCRC);
}

} // namespace

void AcceptPackageHead(const TLoaderOffsetTable *Table, TCustomFile &File,
                       TSetupHeaderRec &Header, std::vector<TSetupLanguageEntry> &Entries) {
    if (!Table) {
        TDataFault Fault = MakeDataFault(TFaultCheck::TableMissing);
        Fault.Structure = TFaultStructure::OffsetTable;
        RaiseSetupCorrupt(Fault);
    }
    ReadStored(TFaultStructure::OffsetTable, NoFaultOffset,
               [&] { AcceptOffsetTable(*Table, File); });
    ReadSetupRecords(File, Header, Entries);
}

void ReadSetupRecords(TCustomFile &File, TSetupHeaderRec &Header,
                      std::vector<TSetupLanguageEntry> &Entries) {
    ReadStored(TFaultStructure::SetupRecords, File.GetPosition(),
               [&] { ReadSetupRecordBlock(File, Header, Entries); });
}

void SeekSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table) {
    File.Seek(Table.SetupProgramOffset);
}

TProgramBuffer DecodeSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table) {
    SeekSetupProgram(File, Table);
    TProgramBuffer Buffer = AllocateProgramBuffer(Table);
    ReadProgramBlock(File, Table, Buffer.get(), TOutputProgress());
    // The stored operands are restored and the result summed in one pass over the buffer.
    CheckProgramCrc(Table, DecodeCallOperandsWithCrc32(Buffer.get(), Table.SetupProgramSize));
    return Buffer;
}

void ExtractSetupProgram(TCustomFile &File, const TLoaderOffsetTable &Table, TFile &Target) {
    const TProgramBuffer Buffer = AllocateProgramBuffer(Table);
    // The program is decoded straight into the buffer, and written behind the decoder with its
    // operands restored and its CRC summed. The file is emptied again unless it all passes.
    TProgramWriter Writer(Buffer.get(), Table.SetupProgramSize, Target);
    ReadProgramBlock(File, Table, Buffer.get(), Writer.Progress());
    const TProgramWriter::TOutcome Outcome = Writer.Finish();
    CheckProgramCrc(Table, Outcome.Crc);
    if (Outcome.WriteError != 0)
        TCustomFile::RaiseFileError(Outcome.WriteError);
    Writer.Keep();
}

bool TEarlyProgramDecode::Start() noexcept {
    // A program too large to have been stored, or no memory: the usual extraction reports it.
    const uint32_t Size = FTable.SetupProgramSize;
    if (Size > MaxProgramSize)
        return false;
    FBuffer.reset(static_cast<uint8_t *>(std::calloc(Size, 1)));
    return (FBuffer || Size == 0) && FThread.Start(&ThreadMain, this);
}

// Every fault is dropped here: the usual stage 3 meets it again and reports it. Nothing here
// raises through the message table (ReadStored, CheckProgramCrc), which the ending process may be
// clearing while an abandoned thread still runs.
void TEarlyProgramDecode::ThreadMain(void *Object) {
    TEarlyProgramDecode &Self = *static_cast<TEarlyProgramDecode *>(Object);
    uint8_t *Program = Self.FBuffer.get();
    const uint32_t Size = Self.FTable.SetupProgramSize;
    try {
        SeekSetupProgram(Self.FFile, Self.FTable);
        TCompressedBlockReader Reader(Self.FFile, LZMADecompressorClass);
        Reader.ReadLast(Program, static_cast<int32_t>(Size), TOutputProgress());
    } catch (...) {
        return;
    }
    Self.FPassed = DecodeCallOperandsWithCrc32(Program, Size) == Self.FTable.SetupProgramCRC;
}

bool TEarlyProgramDecode::Finish() noexcept {
    FThread.Join();
    if (!FPassed)
        FBuffer.reset();
    return FPassed;
}

void TEarlyProgramDecode::WriteTo(TFile &Target) {
    const TProgramBuffer Program = std::move(FBuffer);
    WriteCheckedProgram(Program.get(), FTable.SetupProgramSize, Target);
}

void AcceptPackage(TCustomFile &File, const TLoaderOffsetTable &Table,
                   const TAcceptOptions &Options, TAcceptedPackage &Out) {
    AcceptPackageHead(&Table, File, Out.Header, Out.Entries);
    Out.HeadAccepted = true;
    if (Options.AllMessageBlocks) {
        std::string Scratch[LoaderMessageCount];
        for (size_t Index = 0; Index < Out.Entries.size(); ++Index) {
            const std::string &Block = Out.Entries[Index].MessageBlock();
            try {
                ParseMessageBlock(Block.data(), Block.size(), Scratch);
            } catch (ESetupCorrupt &E) {
                E.Fault().Item = static_cast<int32_t>(Index);
                throw;
            }
        }
    }
    if (Options.DecodeProgram)
        Out.Program = DecodeSetupProgram(File, Table);
}
