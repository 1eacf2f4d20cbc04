// The packager's view of a loader stub: a PE32 image (or the loader's x86-64 build, a PE32+
// image) whose RCDATA resource 11111 is the 44-byte slot for the offset table. Works on byte ranges the caller owns; nothing here keeps a pointer.
// Every offset and size taken from the image is checked against the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "setupdata/offset_table.h"
#include "support/exceptions.h"

// The image is not a usable stub: neither a PE32 file nor an x86-64 PE32+ one, damaged headers or resources, no slot, a slot
// of the wrong size, or data appended behind the last section. The message says which.
class EStubError : public Exception {
public:
    using Exception::Exception;
};

// A stub is the loader itself: a few hundred KiB. Anything beyond this is refused unread.
constexpr uint64_t MaxStubImageSize = 64ull << 20;

// Where things are in the file, from the headers alone.
struct TPeHeaders {
    uint64_t ChecksumOffset = 0;  // file offset of the optional header's CheckSum field
    uint32_t StoredChecksum = 0;  // the value in that field
    uint64_t ImageEnd = 0;        // end of the headers and of the last section's raw data
    uint32_t ResourceDirRva = 0;  // data directory 2, 0 when the image has no resources
    uint32_t ResourceDirSize = 0;
    // Data directory 4, the certificate table: a file offset and size (it is never mapped);
    // all three are 0 when the image has no such entry.
    uint64_t CertificateEntryOffset = 0; // file offset of the 8-byte directory entry
    uint32_t CertificateTableOffset = 0;
    uint32_t CertificateTableSize = 0;
};

// Where the offset table slot is.
struct TOffsetTableSlot {
    bool Found = false;     // RCDATA / 11111 / first language exists
    uint64_t FileOffset = 0; // its bytes in the file (valid when Found)
    uint32_t Size = 0;       // the resource's size (the loader insists on 44)
};

// Reads the DOS, file and optional headers and the section table. Needs only the first bytes of
// the file (the headers must lie within Size). Throws EStubError.
TPeHeaders ParsePeHeaders(const uint8_t *Data, size_t Size);

// Walks the resource directory down to RT_RCDATA (10) / 11111 / the first language and maps the
// data entry's RVA to a file offset. Data must hold the image up to its ImageEnd (or the whole
// file if it is shorter). A missing slot is reported as Found = false; a damaged directory or a
// slot that does not lie inside a section's raw data throws EStubError.
TOffsetTableSlot FindOffsetTableSlot(const uint8_t *Data, size_t Size);

// A stub ready for packing: headers, a 44-byte slot, and nothing behind the image.
struct TStubImage {
    TPeHeaders Headers;
    TOffsetTableSlot Slot;
    bool Is64Bit = false; // the loader's x86-64 build: its installers start on 64-bit Windows only
};

// Checks a whole stub file for packing: a PE32 image (or a PE32+ image for x86-64) with a 44-byte
// slot that ends where the file ends. Throws EStubError with a message meant for the installer author.
TStubImage AnalyzeStub(const uint8_t *Data, size_t Size);

// Copies the table into the slot of a stub held in memory.
void WriteOffsetTableSlot(uint8_t *Image, size_t Size, const TStubImage &Stub,
                          const TLoaderOffsetTable &Table);

// For inspect and verify: the 44 bytes of the slot of a packaged file (Data as for
// FindOffsetTableSlot). Throws EStubError when the image has no slot or one of another size.
TLoaderOffsetTable FindOffsetTableInImage(const uint8_t *Data, size_t Size);

// The PE checksum: 16-bit one's-complement style sum of the whole file with carries folded,
// the 4-byte CheckSum field counted as zero, plus the file length. Fed in pieces of any size.
class TPeChecksum {
public:
    explicit TPeChecksum(uint64_t ChecksumOffset) : FChecksumOffset(ChecksumOffset) {}
    void Add(const void *Data, size_t Size);
    // The value for the CheckSum field; the length is the number of bytes added.
    uint32_t Finish() const;

private:
    uint64_t FChecksumOffset;
    uint64_t FPosition = 0;
    uint32_t FSum = 0;
    int FPendingByte = -1; // low byte of a word split between two pieces
};

// What Windows makes of a file that the loader hands to CreateProcess as the setup program.
struct TProgramImageCheck {
    std::string Refusal;               // empty when Windows can start it; else the reason
    std::vector<std::string> Warnings; // it starts only on some Windows systems
};

// Data holds the first bytes of the file (at least its headers), FileSize its whole length.
// Refused: an empty file, one without MZ and PE headers (text, an MS-DOS program), a DLL, an
// image not marked executable, a subsystem other than GUI or console, sections that end past
// the file, a machine that no Windows running the x86 loader starts. A program for x64, ARM or
// Itanium starts only on those systems: a warning.
TProgramImageCheck CheckProgramImage(const uint8_t *Data, size_t Size, uint64_t FileSize);

uint32_t ComputePeChecksum(const uint8_t *Data, size_t Size, uint64_t ChecksumOffset);
