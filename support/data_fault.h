// What a reader of stored data found wrong, and where: numbers only, filled in by the reader
// that refused the data and completed by the routine that knows which structure it was reading.
// The loader shows one text for every fault; the tools describe the fault to the author
// (DescribeDataFault in records/setup_package.h).
#pragma once

#include <cstdint>

enum class TFaultCheck : uint8_t {
    None,
    // The offset table and the file around it.
    TableMissing,      // no 44-byte table among the loader's resources
    TableVersion,      // Found: FormatVersion, Expected: the one the loader reads
    TableChecksum,     // Found: TableChecksum, Expected: the CRC of the table's bytes
    FileTooShort,      // Found: the file's length, Expected: MinFileSize
    SignatureMismatch, // the 64 bytes at SetupDataOffset are not the setup data signature
    SignatureCut,      // the file ends inside the signature
    // A compressed block (Item: the chunk, ItemOffset: where it starts).
    BlockHeaderCut,    // fewer header bytes than the header needs
    BlockHeaderCrc,    // Found: HeaderCRC, Expected: the CRC of the header's bytes
    BlockPastEnd,      // Found: BlockStoredSize, Expected: the bytes left in the file
    ChunkCut,          // the stored size leaves less than a chunk CRC and one byte
    ChunkCrc,          // Found: ChunkCRC, Expected: the CRC of the chunk's bytes
    BlockDataShort,    // a stored (uncompressed) block holds fewer bytes than were asked for
    LzmaData,          // Found: the decoder's TLzmaDataError (setupdata/lzma_decompressor.h)
    // The setup records (Item: the record, 0 the header, K + 1 language entry K).
    RecordStringLength, // Found: the stored length, as a signed 32-bit value
    LanguageCount,      // Found: LanguageEntryCount, as a signed 32-bit value
    // A language's message block (Item: the language entry; Offset: within the block).
    MessageBlockShort,     // Found: the block's length
    MessageBlockSignature,
    MessageBlockCount,     // Found: MessageCount
    MessageBlockSize,      // Found: MessageBlockSize, Expected: the block's length
    MessageBlockCrc,       // Found: MessagesCRC, Expected: the CRC of the messages
    MessageBlockUnended,   // the block's last byte is not zero
    MessageBlockMissing,   // Found: the messages the block holds, Expected: all of them
    // The setup program.
    ProgramTooLarge,  // Found: SetupProgramSize
    ProgramCrc,       // Found: the CRC of the decoded program, Expected: SetupProgramCRC
};

enum class TFaultStructure : uint8_t {
    None,
    OffsetTable,
    SetupDataSignature,
    SetupRecords,
    MessageBlock,
    SetupProgram,
};

constexpr uint64_t NoFaultOffset = ~uint64_t(0);

struct TDataFault {
    TFaultCheck Check = TFaultCheck::None;
    TFaultStructure Structure = TFaultStructure::None;
    int32_t Item = -1;                   // see the check; -1: none
    uint64_t Offset = NoFaultOffset;     // where the structure starts in the file
    uint64_t ItemOffset = NoFaultOffset; // where the item starts in the file
    uint64_t Found = 0;
    uint64_t Expected = 0;
};

inline TDataFault MakeDataFault(TFaultCheck Check, uint64_t Found = 0, uint64_t Expected = 0) {
    TDataFault Fault;
    Fault.Check = Check;
    Fault.Found = Found;
    Fault.Expected = Expected;
    return Fault;
}
