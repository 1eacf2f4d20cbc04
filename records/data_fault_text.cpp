#include "records/data_fault_text.h"

#include <cinttypes>
#include <cstdio>

#include "records/setup_records.h"
#include "setupdata/lzma_decompressor.h"

namespace {

std::string Hex32(uint64_t Value) {
    char Text[16];
    std::snprintf(Text, sizeof(Text), "0x%08" PRIX32, static_cast<uint32_t>(Value));
    return Text;
}

std::string Signed32(uint64_t Value) {
    return std::to_string(static_cast<int32_t>(static_cast<uint32_t>(Value)));
}

const char *LzmaDataErrorMeaning(uint64_t Found) {
    // A number outside the kinds (none the decoder raises) falls through to the general text.
    const auto Kind = static_cast<TLzmaDataError>(Found <= 0xFF ? Found : 0);
    switch (Kind) {
    case TLzmaDataError::HeaderCut:
        return "the 5-byte stream header is cut short";
    case TLzmaDataError::PropertiesTooLarge:
        return "the properties byte is above 224";
    case TLzmaDataError::Damaged:
        return "the compressed data are damaged or cut short";
    case TLzmaDataError::EndsEarly:
        return "the stream ends before the size the loader expects";
    case TLzmaDataError::DictionaryTooLarge:
        return "the dictionary is larger than 64 MiB";
    }
    return "the compressed data are damaged";
}

std::string StructureText(const TDataFault &F) {
    std::string Where;
    switch (F.Structure) {
    case TFaultStructure::None:
        Where = "stored data";
        break;
    case TFaultStructure::OffsetTable:
        Where = "offset table";
        break;
    case TFaultStructure::SetupDataSignature:
        Where = "setup data signature";
        break;
    case TFaultStructure::SetupRecords:
        Where = "setup records block";
        break;
    case TFaultStructure::MessageBlock:
        Where = F.Item >= 0 ? "message block of language " + std::to_string(F.Item)
                            : std::string("message block");
        break;
    case TFaultStructure::SetupProgram:
        Where = "setup program block";
        break;
    }
    if (F.Offset != NoFaultOffset)
        Where += " at offset " + std::to_string(F.Offset);
    return Where;
}

std::string ChunkText(const TDataFault &F) {
    std::string Text = "chunk " + std::to_string(F.Item);
    if (F.ItemOffset != NoFaultOffset)
        Text += " at offset " + std::to_string(F.ItemOffset);
    return Text;
}

std::string CheckText(const TDataFault &F) {
    const std::string Found = std::to_string(F.Found);
    const std::string Expected = std::to_string(F.Expected);
    switch (F.Check) {
    case TFaultCheck::None:
        return "not accepted";
    case TFaultCheck::TableMissing:
        return "the loader's resources hold no 44-byte offset table";
    case TFaultCheck::TableVersion:
        return "format version " + Found + ", the loader reads version " + Expected;
    case TFaultCheck::TableChecksum:
        return "TableChecksum is " + Hex32(F.Found) + " but the table's bytes give " +
               Hex32(F.Expected) + " (damaged, or never filled in)";
    case TFaultCheck::FileTooShort:
        return "the file has " + Found + " bytes but MinFileSize is " + Expected +
               " (the file is truncated)";
    case TFaultCheck::SignatureMismatch:
        return "the 64 bytes at SetupDataOffset are not the setup data signature";
    case TFaultCheck::SignatureCut:
        return "the file ends inside the 64-byte signature";
    case TFaultCheck::BlockHeaderCut:
        return "the file ends inside the 9-byte block header";
    case TFaultCheck::BlockHeaderCrc:
        return "HeaderCRC is " + Hex32(F.Found) + " but the header's bytes give " +
               Hex32(F.Expected);
    case TFaultCheck::BlockPastEnd:
        return "BlockStoredSize " + Found + " reaches past the end of the file (" + Expected +
               " bytes left)";
    case TFaultCheck::ChunkCut:
        return ChunkText(F) + ": BlockStoredSize ends inside the chunk's CRC";
    case TFaultCheck::ChunkCrc:
        return ChunkText(F) + ": ChunkCRC is " + Hex32(F.Found) + " but its bytes give " +
               Hex32(F.Expected);
    case TFaultCheck::BlockDataShort:
        return "the stored block holds fewer than the " + Found + " bytes asked for";
    case TFaultCheck::LzmaData:
        return "LZMA data error " + Found + ": " + LzmaDataErrorMeaning(F.Found);
    case TFaultCheck::RecordStringLength:
        return (F.Item <= 0 ? std::string("the header record")
                            : "language entry " + std::to_string(F.Item - 1)) +
               " has a string of negative length " + Signed32(F.Found);
    case TFaultCheck::LanguageCount:
        return "LanguageEntryCount " + Signed32(F.Found) + " is outside 0.." +
               std::to_string(MaxLanguageEntryCount);
    case TFaultCheck::MessageBlockShort:
        return "the block has " + Found + " bytes, no more than its header";
    case TFaultCheck::MessageBlockSignature:
        return "the block does not start with the message block signature";
    case TFaultCheck::MessageBlockCount:
        return "MessageCount is " + Found + ", the loader needs " + Expected;
    case TFaultCheck::MessageBlockSize:
        return "MessageBlockSize " + Found + " does not match its complement or the block's " +
               Expected + " bytes";
    case TFaultCheck::MessageBlockCrc:
        return "MessagesCRC is " + Hex32(F.Found) + " but the messages give " + Hex32(F.Expected);
    case TFaultCheck::MessageBlockUnended:
        return "the block's last byte is not zero";
    case TFaultCheck::MessageBlockMissing:
        return "the block ends after " + Found + " of the " + Expected + " messages";
    case TFaultCheck::ProgramTooLarge:
        return "SetupProgramSize " + Found + " is 2 GiB or more";
    case TFaultCheck::ProgramCrc:
        return "the decoded program's CRC is " + Hex32(F.Found) + " but SetupProgramCRC is " +
               Hex32(F.Expected);
    }
    return "not accepted";
}

} // namespace

std::string DescribeDataFault(const TDataFault &Fault) {
    return StructureText(Fault) + ": " + CheckText(Fault);
}
