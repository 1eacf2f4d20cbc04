// The parts of a packaged installer in the order they lie in the file. Planning the offset
// table, writing an installer, building one in memory and mapping one that is read all walk
// PackageParts; nothing else repeats the order.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the offset table points is said beside each part.
enum class TPackagePart {
    Image,              // the stub image, its RCDATA slot holding the sealed offset table
    SecondData,         // the second data file as given; SecondDataOffset (the image end when
                        // there is none)
    SetupDataSignature, // SetupDataSignatureSize fixed bytes; SetupDataOffset
    RecordsBlock,       // one LZMA block: the header record, then one entry per language
    SetupData,          // the setup data file as given
    ProgramBlock,       // one LZMA block: the program with its call operands made absolute;
                        // SetupProgramOffset, and MinFileSize at its end
};
// The PE checksum covers the whole file, the parts above and nothing behind them.

struct TPackagePartInfo {
    TPackagePart Part;
    const char *Name; // for file maps and messages
};

constexpr size_t PackagePartCount = 6;
constexpr TPackagePartInfo PackageParts[PackagePartCount] = {
    {TPackagePart::Image, "image"},
    {TPackagePart::SecondData, "second data area"},
    {TPackagePart::SetupDataSignature, "setup data signature"},
    {TPackagePart::RecordsBlock, "setup records block"},
    {TPackagePart::SetupData, "further setup data"},
    {TPackagePart::ProgramBlock, "setup program block"},
};

constexpr size_t PartIndex(TPackagePart Part) {
    return static_cast<size_t>(Part);
}

// Where each part starts when the parts have the given sizes (indexed by PartIndex), and where
// the file ends.
struct TPackageLayout {
    uint64_t Offsets[PackagePartCount] = {};
    uint64_t FileSize = 0;
    uint64_t Start(TPackagePart Part) const { return Offsets[PartIndex(Part)]; }
};

inline TPackageLayout LayOutPackage(const uint64_t (&Sizes)[PackagePartCount]) {
    TPackageLayout Layout;
    for (const TPackagePartInfo &Info : PackageParts) {
        Layout.Offsets[PartIndex(Info.Part)] = Layout.FileSize;
        Layout.FileSize += Sizes[PartIndex(Info.Part)];
    }
    return Layout;
}
