// The 44-byte offset table in the loader's RCDATA resource 11111, the 64-byte setup-data
// signature, and the acceptance of both. The table is used in place; nothing here owns it.
#pragma once

#include <cstdint>

class TCustomFile;

// Layout, all numbers unsigned 32-bit little-endian:
//   0  12  Signature           "rDlPtS" CD E6 D7 7B 0B 2A
//  12   4  FormatVersion       must be 1
//  16   4  MinFileSize         the packaged file's exact length
//  20   4  SetupProgramOffset  block holding the setup program
//  24   4  SetupProgramSize    length after decompression
//  28   4  SetupProgramCRC     CRC-32 of the program as written (after the call transform)
//  32   4  SetupDataOffset     the 64-byte signature, then the record blocks
//  36   4  SecondDataOffset    area only the setup program reads
//  40   4  TableChecksum       CRC-32 of bytes 0..39
struct TLoaderOffsetTable {
    uint8_t Signature[12];
    uint32_t FormatVersion;
    uint32_t MinFileSize;
    uint32_t SetupProgramOffset;
    uint32_t SetupProgramSize;
    uint32_t SetupProgramCRC;
    uint32_t SetupDataOffset;
    uint32_t SecondDataOffset;
    uint32_t TableChecksum;
};
static_assert(sizeof(TLoaderOffsetTable) == 44, "the table is used in place");

constexpr int OffsetTableResourceId = 11111;
constexpr uint32_t OffsetTableSize = 44;
constexpr uint32_t OffsetTableFormatVersion = 1;
constexpr uint32_t OffsetTableChecksummedBytes = 40;
extern const uint8_t OffsetTableSignature[12];

constexpr uint32_t SetupDataSignatureSize = 64;
extern const uint8_t SetupDataSignature[SetupDataSignatureSize];

// Finds the table among the loader module's own resources (Windows only). Null for a missing
// resource, one that is not 44 bytes, or one that cannot be loaded.
const TLoaderOffsetTable *FindOffsetTable();

// Interprets 44 bytes as a table (resource walkers and host tools); the bytes must outlive it.
const TLoaderOffsetTable *OffsetTableAt(const void *Bytes);

// The loader's acceptance of a table and of its own file, in this order: FormatVersion 1, the
// table CRC, the file at least MinFileSize long, and the 64 signature bytes at SetupDataOffset.
// The first three and a signature mismatch raise ECompressDataError with the fault; a file that
// ends inside the signature raises EFileError 38 (its fault names the signature). Leaves the
// file right behind the signature.
void AcceptOffsetTable(const TLoaderOffsetTable &Table, TCustomFile &SelfFile);

// Fills in TableChecksum for a table whose other fields are set (the packager's side).
void SealOffsetTable(TLoaderOffsetTable &Table);
