// The stored form of a folder of files in the author's setup-data area (quovpack pack --files),
// which the reference setup program installs. Read by setupdata/file_tree_reader.h, written by
// the packager's tree writer; nothing here owns anything.
//
// The area, from its start:
//   0   8  Signature      "QuovTree"
//   8   4  FormatVersion  must be 1
//  12  ...                the index block, then the data block (setupdata/block_format.h)
//
// The index block's stream, all numbers little-endian:
//   0   4  EntryCount     entries that follow, at most FileTreeMaxEntries
//   4   8  TotalSize      the sum of the files' sizes, at most FileTreeMaxTotalSize
//  12   2  RunLength      bytes of the run command that follows (UTF-8; 0: run nothing)
//  14 ...                 the run command: a program path relative to the target folder, then
//                         its arguments, quoted as a Windows command line
// then EntryCount entries, sorted by path (bytewise), folders before what they hold:
//   0   1  Kind           0 folder, 1 file
//   1   1  Flags          bit 0: the file's bytes are stored call-transformed (setupdata/
//                         call_transform.h, position 0 at the file's start); no other bit is set
//   2   2  PathLength     bytes of the path that follows, 1 to FileTreeMaxPathBytes
//   4   4  Attributes     Windows attribute bits kept (read-only, hidden, system, archive)
//   8   8  WriteTime      FILETIME (100 ns since 1601 UTC); 0 when not stored
//  16   8  Size           the file's length (0 for a folder)
//  24   4  Crc            CRC-32 of the file as installed (0 for a folder)
//  28 ...                 the path: UTF-8, relative, parts joined by '/'
//
// The data block's stream is the files' bytes in entry order, nothing between them.
#pragma once

#include <cstdint>

constexpr uint32_t FileTreeSignatureSize = 8;
extern const uint8_t FileTreeSignature[FileTreeSignatureSize];
constexpr uint32_t FileTreeFormatVersion = 1;
constexpr uint32_t FileTreeAreaHeaderSize = 12;

constexpr uint32_t FileTreeIndexHeaderSize = 14;
constexpr uint32_t FileTreeEntryHeaderSize = 28;

constexpr uint8_t FileTreeKindFolder = 0;
constexpr uint8_t FileTreeKindFile = 1;
constexpr uint8_t FileTreeFlagCallTransform = 0x01;
// FILE_ATTRIBUTE_READONLY | HIDDEN | SYSTEM | ARCHIVE: the bits an installed file keeps.
constexpr uint32_t FileTreeKeptAttributes = 0x01 | 0x02 | 0x04 | 0x20;

// Ceilings the reader checks before it allocates: the whole data stream is one block, so it
// stays below the block's 2^31 bytes; a call-transformed file has a ceiling of its own (the
// packer transforms no larger file; the reader undoes it piece by piece); a path fits the
// system's long-path limit of 32767 UTF-16 units.
constexpr uint32_t FileTreeMaxEntries = 1u << 20;
constexpr uint64_t FileTreeMaxTotalSize = 0x7FFFFFFFull - (64u << 20);
constexpr uint64_t FileTreeMaxTransformedSize = 64u << 20;
constexpr uint32_t FileTreeMaxPathBytes = 32767;
constexpr uint32_t FileTreeMaxRunBytes = 32767;
