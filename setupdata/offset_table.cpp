#include "setupdata/offset_table.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

// The table is read in place: the build targets are little-endian (x86 on both sides).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian layout");

const uint8_t OffsetTableSignature[12] = {'r', 'D', 'l', 'P', 't', 'S',
                                          0xCD, 0xE6, 0xD7, 0x7B, 0x0B, 0x2A};
const uint8_t SetupDataSignature[SetupDataSignatureSize] = {};

const TLoaderOffsetTable *OffsetTableAt(const void *Bytes) {
    return static_cast<const TLoaderOffsetTable *>(Bytes);
}

namespace {

[[noreturn]] void RaiseTableFault(TFaultStructure Structure, TDataFault Fault) {
    Fault.Structure = Structure;
    throw ECompressDataError(SetupCorruptText, Fault);
}

} // namespace

void AcceptOffsetTable(const TLoaderOffsetTable &Table, TCustomFile &SelfFile) {
    constexpr TFaultStructure InTable = TFaultStructure::OffsetTable;
    if (Table.FormatVersion != OffsetTableFormatVersion)
        RaiseTableFault(InTable, MakeDataFault(TFaultCheck::TableVersion, Table.FormatVersion,
                                               OffsetTableFormatVersion));
    const uint32_t Crc = ComputeCrc32(&Table, OffsetTableChecksummedBytes);
    if (Crc != Table.TableChecksum)
        RaiseTableFault(InTable, MakeDataFault(TFaultCheck::TableChecksum, Table.TableChecksum, Crc));
    const uint64_t FileSize = SelfFile.GetSize();
    if (FileSize < Table.MinFileSize)
        RaiseTableFault(InTable,
                        MakeDataFault(TFaultCheck::FileTooShort, FileSize, Table.MinFileSize));

    TDataFault Fault;
    Fault.Offset = Table.SetupDataOffset;
    SelfFile.Seek(Table.SetupDataOffset);
    uint8_t Found[SetupDataSignatureSize];
    try {
        SelfFile.ReadExact(Found, sizeof(Found));
    } catch (EFileError &E) {
        if (E.SystemErrorCode == ErrorHandleEof) {
            Fault.Check = TFaultCheck::SignatureCut;
            Fault.Structure = TFaultStructure::SetupDataSignature;
            E.Fault() = Fault;
        }
        throw;
    }
    if (std::memcmp(Found, SetupDataSignature, sizeof(Found)) != 0) {
        Fault.Check = TFaultCheck::SignatureMismatch;
        RaiseTableFault(TFaultStructure::SetupDataSignature, Fault);
    }
}

void SealOffsetTable(TLoaderOffsetTable &Table) {
    Table.TableChecksum = ComputeCrc32(&Table, OffsetTableChecksummedBytes);
}
