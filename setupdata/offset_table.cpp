#include "setupdata/offset_table.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/setup_corrupt.h"

// The table is read in place: the build targets are little-endian (x86 on both sides).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian layout");

const uint8_t OffsetTableSignature[12] = {'r', 'D', 'l', 'P', 't', 'S',
                                          0xCD, 0xE6, 0xD7, 0x7B, 0x0B, 0x2A};
const uint8_t SetupDataSignature[SetupDataSignatureSize] = {};

const TLoaderOffsetTable *OffsetTableAt(const void *Bytes) {
    return static_cast<const TLoaderOffsetTable *>(Bytes);
}

void AcceptOffsetTable(const TLoaderOffsetTable &Table, TCustomFile &SelfFile) {
    if (Table.FormatVersion != OffsetTableFormatVersion)
        RaiseSetupCorrupt();
    if (ComputeCrc32(&Table, OffsetTableChecksummedBytes) != Table.TableChecksum)
        RaiseSetupCorrupt();
    if (SelfFile.GetSize() < Table.MinFileSize)
        RaiseSetupCorrupt();
    SelfFile.Seek(Table.SetupDataOffset);
    uint8_t Found[SetupDataSignatureSize];
    SelfFile.ReadExact(Found, sizeof(Found));
    if (std::memcmp(Found, SetupDataSignature, sizeof(Found)) != 0)
        RaiseSetupCorrupt();
}

void SealOffsetTable(TLoaderOffsetTable &Table) {
    Table.TableChecksum = ComputeCrc32(&Table, OffsetTableChecksummedBytes);
}
