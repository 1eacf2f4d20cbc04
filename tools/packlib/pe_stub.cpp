#include "tools/packlib/pe_stub.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "support/byte_order.h"

// Layout read here (all little-endian):
//   DOS header      0x00 "MZ", 0x3C e_lfanew (u32): file offset of the PE signature
//   PE signature    "PE\0\0"
//   file header     20 bytes: +0 Machine (u16), +2 NumberOfSections (u16),
//                   +16 SizeOfOptionalHeader (u16), +18 Characteristics (u16)
//   optional header PE32 (magic 0x10B) or PE32+ (0x20B): +60 SizeOfHeaders, +64 CheckSum,
//                   +68 Subsystem (u16); PE32: +92 NumberOfRvaAndSizes, +96 data directories;
//                   PE32+: +108 NumberOfRvaAndSizes, +112 data directories (8 bytes each: RVA,
//                   size; #2 resources, #4 the certificate table, whose "RVA" is a file offset)
//   section table   40 bytes each: +12 VirtualAddress, +16 SizeOfRawData, +20 PointerToRawData
//   resources       directory (16 bytes: +12 named count u16, +14 id count u16) followed by
//                   8-byte entries (name or id, offset; top bit of the offset = subdirectory);
//                   a data entry is 16 bytes: +0 RVA of the data, +4 Size.

namespace {

constexpr uint32_t ImageDosSignatureOffset = 0x3C;
constexpr uint32_t FileHeaderSize = 20;
constexpr uint16_t Pe32Magic = 0x10B;
constexpr uint16_t Pe32PlusMagic = 0x20B;
constexpr uint32_t FileMachine = 0;
constexpr uint32_t FileCharacteristics = 18;
constexpr uint32_t OptSubsystem = 68;
constexpr uint16_t ImageFileExecutableImage = 0x0002;
constexpr uint16_t ImageFileDll = 0x2000;
constexpr uint32_t OptChecksum = 64;
constexpr uint32_t OptSizeOfHeaders = 60;
constexpr uint32_t OptNumberOfRvaAndSizes = 92;
constexpr uint32_t OptDataDirectories = 96;
constexpr uint32_t OptPlusNumberOfRvaAndSizes = 108;
constexpr uint32_t OptPlusDataDirectories = 112;
constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint32_t ResourceDirectoryIndex = 2;
constexpr uint32_t CertificateDirectoryIndex = 4;
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t MaxSections = 96; // the PE format's own limit
constexpr uint32_t RtRcdata = 10;
constexpr uint32_t SubdirectoryFlag = 0x80000000u;

[[noreturn]] void Fail(const std::string &Why) { throw EStubError(Why); }

// True when [Offset, Offset + Count) lies within Size bytes; no overflow for any input.
bool Fits(uint64_t Offset, uint64_t Count, uint64_t Size) {
    return Offset <= Size && Count <= Size - Offset;
}

struct TSection {
    uint32_t VirtualAddress;
    uint32_t RawSize;
    uint32_t RawOffset;
};

struct TParsed {
    TPeHeaders Headers;
    std::vector<TSection> Sections;
    uint16_t Machine = 0;
    uint16_t Characteristics = 0;
    uint16_t Magic = 0;
    uint16_t Subsystem = 0;
};

// The headers of any PE image; the stub's own demands (PE32, its size) come on top.
TParsed ParseImage(const uint8_t *Data, size_t Size) {
    TParsed Result;
    if (Size < 0x40 || Data[0] != 'M' || Data[1] != 'Z')
        Fail("not a Windows executable (no MZ header)");
    uint32_t PeOffset = LoadLe32(Data + ImageDosSignatureOffset);
    if (!Fits(PeOffset, 4 + FileHeaderSize, Size) || std::memcmp(Data + PeOffset, "PE\0\0", 4))
        Fail("not a PE image (no PE signature where the DOS header points)");
    const uint8_t *FileHeader = Data + PeOffset + 4;
    Result.Machine = LoadLe16(FileHeader + FileMachine);
    Result.Characteristics = LoadLe16(FileHeader + FileCharacteristics);
    uint32_t SectionCount = LoadLe16(FileHeader + 2);
    uint32_t OptionalSize = LoadLe16(FileHeader + 16);
    uint64_t OptionalOffset = uint64_t(PeOffset) + 4 + FileHeaderSize;
    if (OptionalSize < OptDataDirectories || !Fits(OptionalOffset, OptionalSize, Size))
        Fail("PE optional header is truncated");
    const uint8_t *Optional = Data + OptionalOffset;
    Result.Magic = LoadLe16(Optional);
    Result.Subsystem = LoadLe16(Optional + OptSubsystem);
    Result.Headers.ChecksumOffset = OptionalOffset + OptChecksum;
    Result.Headers.StoredChecksum = LoadLe32(Optional + OptChecksum);
    // The data directories follow the fields whose width differs between the two formats.
    const bool Plus = Result.Magic == Pe32PlusMagic;
    const bool KnownFormat = Result.Magic == Pe32Magic || Plus;
    const uint32_t Directories = Plus ? OptPlusDataDirectories : OptDataDirectories;
    const uint32_t DirectoryCount =
        KnownFormat && Directories <= OptionalSize
            ? LoadLe32(Optional + (Plus ? OptPlusNumberOfRvaAndSizes : OptNumberOfRvaAndSizes))
            : 0;
    if (DirectoryCount > ResourceDirectoryIndex &&
        Directories + 8 * (ResourceDirectoryIndex + 1) <= OptionalSize) {
        const uint8_t *Dir = Optional + Directories + 8 * ResourceDirectoryIndex;
        Result.Headers.ResourceDirRva = LoadLe32(Dir);
        Result.Headers.ResourceDirSize = LoadLe32(Dir + 4);
    }
    if (DirectoryCount > CertificateDirectoryIndex &&
        Directories + 8 * (CertificateDirectoryIndex + 1) <= OptionalSize) {
        const uint32_t Entry = Directories + 8 * CertificateDirectoryIndex;
        Result.Headers.CertificateEntryOffset = OptionalOffset + Entry;
        Result.Headers.CertificateTableOffset = LoadLe32(Optional + Entry);
        Result.Headers.CertificateTableSize = LoadLe32(Optional + Entry + 4);
    }
    if (SectionCount == 0 || SectionCount > MaxSections)
        Fail("PE image has " + std::to_string(SectionCount) + " sections");
    uint64_t SectionTable = OptionalOffset + OptionalSize;
    if (!Fits(SectionTable, uint64_t(SectionCount) * SectionHeaderSize, Size))
        Fail("PE section table is truncated");
    uint64_t ImageEnd = LoadLe32(Optional + OptSizeOfHeaders);
    if (ImageEnd < SectionTable + uint64_t(SectionCount) * SectionHeaderSize)
        ImageEnd = SectionTable + uint64_t(SectionCount) * SectionHeaderSize;
    for (uint32_t I = 0; I < SectionCount; ++I) {
        const uint8_t *H = Data + SectionTable + uint64_t(I) * SectionHeaderSize;
        TSection S{LoadLe32(H + 12), LoadLe32(H + 16), LoadLe32(H + 20)};
        if (S.RawSize != 0 && uint64_t(S.RawOffset) + S.RawSize > ImageEnd)
            ImageEnd = uint64_t(S.RawOffset) + S.RawSize;
        Result.Sections.push_back(S);
    }
    Result.Headers.ImageEnd = ImageEnd;
    return Result;
}

TParsed ParseAll(const uint8_t *Data, size_t Size) {
    TParsed Result = ParseImage(Data, Size);
    // The loader is a 32-bit program; its x86-64 build (a PE32+ image) is accepted too, so
    // that it can be tested where 32-bit programs do not run.
    const bool Is64BitX86 = Result.Magic == Pe32PlusMagic && Result.Machine == MachineAmd64;
    if (Result.Magic != Pe32Magic && !Is64BitX86)
        Fail("not a 32-bit (PE32) image; the loader stub is a 32-bit program");
    if (Result.Headers.ImageEnd > MaxStubImageSize)
        Fail("PE image claims " + std::to_string(Result.Headers.ImageEnd) +
             " bytes; a stub is far smaller");
    return Result;
}

// Maps Count bytes at an RVA to a file offset; they must lie in one section's raw data and in
// the bytes at hand.
bool MapRva(const std::vector<TSection> &Sections, uint32_t Rva, uint32_t Count, size_t Size,
            uint64_t &FileOffset) {
    for (const TSection &S : Sections) {
        if (Rva < S.VirtualAddress)
            continue;
        uint64_t Delta = Rva - S.VirtualAddress;
        if (!Fits(Delta, Count, S.RawSize))
            continue;
        FileOffset = uint64_t(S.RawOffset) + Delta;
        return Fits(FileOffset, Count, Size);
    }
    return false;
}

// The resource directory lies in one piece of the file; entries point into it by offsets.
struct TResourceView {
    const uint8_t *Base;
    uint64_t Size;

    // Finds the entry with integer id Id (or the first id entry when Id < 0) in the directory at
    // Offset; returns its raw offset field, or false when there is none.
    bool FindEntry(uint32_t Offset, int64_t Id, uint32_t &Target) const {
        if (!Fits(Offset, 16, Size))
            Fail("resource directory is damaged (a directory lies outside the resources)");
        uint32_t Named = LoadLe16(Base + Offset + 12);
        uint32_t Ids = LoadLe16(Base + Offset + 14);
        uint64_t First = uint64_t(Offset) + 16;
        if (!Fits(First, (uint64_t(Named) + Ids) * 8, Size))
            Fail("resource directory is damaged (its entries lie outside the resources)");
        for (uint32_t I = Named; I < Named + Ids; ++I) {
            const uint8_t *Entry = Base + First + uint64_t(I) * 8;
            uint32_t Name = LoadLe32(Entry);
            if (Name & SubdirectoryFlag)
                continue; // a named entry among the ids: not ours
            if (Id < 0 || Name == Id) {
                Target = LoadLe32(Entry + 4);
                return true;
            }
        }
        return false;
    }
};

} // namespace

TPeHeaders ParsePeHeaders(const uint8_t *Data, size_t Size) { return ParseAll(Data, Size).Headers; }

TOffsetTableSlot FindOffsetTableSlot(const uint8_t *Data, size_t Size) {
    TParsed Parsed = ParseAll(Data, Size);
    TOffsetTableSlot Slot;
    const TPeHeaders &H = Parsed.Headers;
    if (H.ResourceDirRva == 0)
        return Slot;
    // The directory's extent: from its start to the end of the section's raw data that holds it
    // (the data directory's size is not always trustworthy, entries may point past it).
    uint64_t DirOffset = 0;
    if (!MapRva(Parsed.Sections, H.ResourceDirRva, 16, Size, DirOffset))
        Fail("resource directory lies outside the image's sections");
    uint64_t DirSize = 0;
    for (const TSection &S : Parsed.Sections)
        if (DirOffset >= S.RawOffset && DirOffset < uint64_t(S.RawOffset) + S.RawSize)
            DirSize = uint64_t(S.RawOffset) + S.RawSize - DirOffset;
    if (DirSize > Size - DirOffset)
        DirSize = Size - DirOffset;
    TResourceView View{Data + DirOffset, DirSize};

    uint32_t TypeDir = 0, NameDir = 0, LangEntry = 0;
    if (!View.FindEntry(0, RtRcdata, TypeDir))
        return Slot;
    if (!(TypeDir & SubdirectoryFlag))
        Fail("resource directory is damaged (RCDATA is not a directory)");
    if (!View.FindEntry(TypeDir & ~SubdirectoryFlag, OffsetTableResourceId, NameDir))
        return Slot;
    if (!(NameDir & SubdirectoryFlag))
        Fail("resource directory is damaged (RCDATA 11111 is not a directory)");
    if (!View.FindEntry(NameDir & ~SubdirectoryFlag, -1, LangEntry))
        return Slot;
    if (LangEntry & SubdirectoryFlag)
        Fail("resource directory is damaged (RCDATA 11111 has no data entry)");
    if (!Fits(LangEntry, 16, View.Size))
        Fail("resource directory is damaged (a data entry lies outside the resources)");
    uint32_t DataRva = LoadLe32(View.Base + LangEntry);
    uint32_t DataSize = LoadLe32(View.Base + LangEntry + 4);
    if (!MapRva(Parsed.Sections, DataRva, DataSize, Size, Slot.FileOffset))
        Fail("resource RCDATA 11111 lies outside the image's sections");
    Slot.Found = true;
    Slot.Size = DataSize;
    return Slot;
}

TStubImage AnalyzeStub(const uint8_t *Data, size_t Size) {
    TStubImage Stub;
    const TParsed Parsed = ParseAll(Data, Size);
    Stub.Headers = Parsed.Headers;
    Stub.Is64Bit = Parsed.Magic == Pe32PlusMagic;
    if (Stub.Headers.ImageEnd > Size)
        Fail("stub is truncated: its sections end at byte " +
             std::to_string(Stub.Headers.ImageEnd) + " but the file has " + std::to_string(Size));
    Stub.Slot = FindOffsetTableSlot(Data, Size);
    if (!Stub.Slot.Found)
        Fail("stub has no offset table slot (RCDATA resource 11111); is it the loader?");
    if (Stub.Slot.Size != OffsetTableSize)
        Fail("stub's offset table slot (RCDATA 11111) has " + std::to_string(Stub.Slot.Size) +
             " bytes; it must have exactly 44");
    if (Size > Stub.Headers.ImageEnd)
        Fail("stub carries " + std::to_string(Size - Stub.Headers.ImageEnd) +
             " bytes behind its last section (already packed, signed or not stripped?); "
             "use the bare loader");
    return Stub;
}

void WriteOffsetTableSlot(uint8_t *Image, size_t Size, const TStubImage &Stub,
                          const TLoaderOffsetTable &Table) {
    if (!Stub.Slot.Found || Stub.Slot.Size != OffsetTableSize ||
        !Fits(Stub.Slot.FileOffset, OffsetTableSize, Size))
        Fail("offset table slot does not fit the image");
    std::memcpy(Image + Stub.Slot.FileOffset, &Table, OffsetTableSize);
}

TLoaderOffsetTable FindOffsetTableInImage(const uint8_t *Data, size_t Size) {
    TOffsetTableSlot Slot = FindOffsetTableSlot(Data, Size);
    if (!Slot.Found)
        Fail("no offset table (RCDATA resource 11111) in the image");
    if (Slot.Size != OffsetTableSize)
        Fail("offset table resource has " + std::to_string(Slot.Size) +
             " bytes; the loader requires exactly 44");
    TLoaderOffsetTable Table;
    std::memcpy(&Table, Data + Slot.FileOffset, OffsetTableSize);
    return Table;
}

void TPeChecksum::Add(const void *Data, size_t Size) {
    const uint8_t *P = static_cast<const uint8_t *>(Data);
    for (size_t I = 0; I < Size; ++I, ++FPosition) {
        uint8_t Byte = P[I];
        if (FPosition >= FChecksumOffset && FPosition < FChecksumOffset + 4)
            Byte = 0;
        if (FPendingByte < 0) {
            FPendingByte = Byte;
            continue;
        }
        FSum += static_cast<uint32_t>(FPendingByte) | static_cast<uint32_t>(Byte) << 8;
        FSum = (FSum & 0xFFFF) + (FSum >> 16);
        FPendingByte = -1;
    }
}

uint32_t TPeChecksum::Finish() const {
    uint32_t Sum = FSum;
    if (FPendingByte >= 0) { // an odd length counts as if padded with one zero byte
        Sum += static_cast<uint32_t>(FPendingByte);
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    }
    Sum = (Sum & 0xFFFF) + (Sum >> 16);
    return Sum + static_cast<uint32_t>(FPosition);
}

uint32_t ComputePeChecksum(const uint8_t *Data, size_t Size, uint64_t ChecksumOffset) {
    TPeChecksum Sum(ChecksumOffset);
    Sum.Add(Data, Size);
    return Sum.Finish();
}

namespace {

// Image file machines a program can be built for, and the Windows that start it when the 32-bit
// x86 loader asks (x86 itself runs everywhere the loader runs).
struct TMachine {
    uint16_t Machine;
    const char *Needs; // nullptr: every Windows the loader runs on
};
const TMachine StartableMachines[] = {
    {MachineI386, nullptr},
    {MachineAmd64, "a 64-bit x64 program: it starts only on 64-bit Windows"},
    {0xAA64, "an ARM64 program: it starts only on Windows on ARM64"},
    {0x01C4, "a 32-bit ARM program: it starts only on Windows on ARM that still runs such programs"},
    {0x0200, "an Itanium program: it starts only on Itanium Windows"},
};

// The two subsystems CreateProcess starts; the others are drivers, firmware or other systems.
constexpr uint16_t SubsystemWindowsGui = 2;
constexpr uint16_t SubsystemWindowsConsole = 3;

bool LooksLikeText(const uint8_t *Data, size_t Size) {
    for (size_t I = 0; I < Size; ++I)
        if (Data[I] < 0x20 && Data[I] != '\n' && Data[I] != '\r' && Data[I] != '\t')
            return false;
    return true;
}

} // namespace

TProgramImageCheck CheckProgramImage(const uint8_t *Data, size_t Size, uint64_t FileSize) {
    TProgramImageCheck Check;
    if (FileSize == 0) {
        Check.Refusal = "it is empty";
        return Check;
    }
    TParsed Image;
    try {
        Image = ParseImage(Data, Size);
    } catch (const EStubError &E) {
        if (Size >= 2 && Data[0] == 'M' && Data[1] == 'Z')
            Check.Refusal = "it is not a Windows program: " + E.Message();
        else
            Check.Refusal = std::string("it is not a Windows program: it does not start with the "
                                        "\"MZ\" header") +
                            (LooksLikeText(Data, Size < 4096 ? Size : 4096) ? " (it looks like text)"
                                                                           : "");
        return Check;
    }
    char Number[8];
    if (Image.Characteristics & ImageFileDll) {
        Check.Refusal = "it is a DLL: Windows loads DLLs into programs but does not start them";
    } else if (!(Image.Characteristics & ImageFileExecutableImage)) {
        Check.Refusal = "it is not marked as an executable image (an unlinked object file?)";
    } else if (Image.Magic != Pe32Magic && Image.Magic != Pe32PlusMagic) {
        std::snprintf(Number, sizeof(Number), "0x%04X", Image.Magic);
        Check.Refusal = std::string("its optional header has the unknown format ") + Number;
    } else if (Image.Subsystem != SubsystemWindowsGui && Image.Subsystem != SubsystemWindowsConsole) {
        Check.Refusal = "its subsystem is " + std::to_string(Image.Subsystem) +
                        " (a driver, firmware or another system's program); Windows starts "
                        "only GUI (2) and console (3) programs";
    } else if (Image.Headers.ImageEnd > FileSize) {
        Check.Refusal = "it is truncated: its sections end at byte " +
                        std::to_string(Image.Headers.ImageEnd) + " but the file has " +
                        std::to_string(FileSize) + " bytes";
    }
    if (!Check.Refusal.empty())
        return Check;
    for (const TMachine &M : StartableMachines)
        if (M.Machine == Image.Machine) {
            if (M.Needs)
                Check.Warnings.push_back(std::string("it is ") + M.Needs);
            return Check;
        }
    std::snprintf(Number, sizeof(Number), "0x%04X", Image.Machine);
    Check.Refusal = std::string("it is built for machine ") + Number +
                    ", which no Windows that runs the 32-bit x86 loader starts";
    return Check;
}
