#include "tools/damage_sweep.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>

#include "records/messages.h"
#include "records/setup_package.h"
#include "records/setup_records.h"
#include "setupdata/block_reader.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"
#include "tools/packlib/pe_stub.h"

namespace {

// A read-only file over the first Length bytes of a string the caller keeps alive, so that a
// case costs no copy of the package.
class TByteViewFile : public TCustomFile {
public:
    TByteViewFile(const std::string &Bytes, uint64_t Length) : FBytes(Bytes), FLength(Length) {}
    uint64_t GetPosition() override { return FPosition; }
    uint64_t GetSize() override { return FLength; }
    uint32_t Read(void *Buffer, uint32_t Count) override {
        if (FPosition >= FLength)
            return 0;
        const uint32_t N = static_cast<uint32_t>(std::min<uint64_t>(FLength - FPosition, Count));
        std::memcpy(Buffer, FBytes.data() + FPosition, N);
        FPosition += N;
        return N;
    }
    void SeekTo64(uint64_t Offset) override { FPosition = Offset; }
    void Write(const void *, uint32_t) override { RaiseFileError(5); } // ERROR_ACCESS_DENIED

private:
    const std::string &FBytes;
    uint64_t FLength;
    uint64_t FPosition = 0;
};

// The headers lie in the first 64 KiB; the resource walker gets the image up to its end, as
// `quovpack verify` reads them.
TLoaderOffsetTable TableFromImage(const std::string &Bytes, uint64_t Length) {
    const auto *Data = reinterpret_cast<const uint8_t *>(Bytes.data());
    const TPeHeaders Pe =
        ParsePeHeaders(Data, static_cast<size_t>(std::min<uint64_t>(Length, 65536)));
    return FindOffsetTableInImage(Data, static_cast<size_t>(std::min(Length, Pe.ImageEnd)));
}

TCaseResult CheckPrefix(const std::string &Package, uint64_t Length, const std::string &Program,
                        TFile &Scratch) {
    TCaseResult Result;
    try {
        Scratch.Seek(0);
        Scratch.Truncate();
        TByteViewFile File(Package, Length);
        const TLoaderOffsetTable Table = TableFromImage(Package, Length);
        AcceptOffsetTable(Table, File);
        TSetupHeaderRec Header;
        std::vector<TSetupLanguageEntry> Entries;
        ReadSetupRecords(File, Header, Entries);
        for (const TSetupLanguageEntry &Entry : Entries)
            LoadMessageBlock(Entry.MessageBlock().data(), Entry.MessageBlock().size());
        ClearLoaderMessages();
        File.SeekTo64(Table.SetupProgramOffset);
        ExtractSetupProgram(File, Table, Scratch);
    } catch (const Exception &E) {
        ClearLoaderMessages();
        Result.Outcome = TCaseOutcome::Detected;
        Result.Detail = E.Message();
        return Result;
    } catch (const std::exception &E) {
        Result.Detail = std::string("exception outside the system's tree: ") + E.what();
        return Result;
    } catch (...) {
        Result.Detail = "exception of an unknown type";
        return Result;
    }
    // Accepted: only the original program, byte for byte, is harmless.
    std::string Extracted;
    try {
        const uint64_t Size = Scratch.GetSize();
        if (Size != Program.size()) {
            Result.Detail = "accepted with a program of " + std::to_string(Size) + " bytes";
            return Result;
        }
        Extracted.resize(Program.size());
        Scratch.Seek(0);
        if (!Extracted.empty())
            Scratch.ReadExact(&Extracted[0], static_cast<uint32_t>(Extracted.size()));
    } catch (const Exception &E) {
        Result.Detail = "cannot read back the extracted program: " + E.Message();
        return Result;
    }
    if (Extracted != Program) {
        Result.Detail = "accepted with different program bytes";
        return Result;
    }
    Result.Outcome = TCaseOutcome::Harmless;
    return Result;
}

uint32_t Get32(const std::string &Bytes, uint64_t At) {
    uint32_t V = 0;
    for (int I = 3; I >= 0; --I)
        V = V << 8 | static_cast<uint8_t>(Bytes[static_cast<size_t>(At) + I]);
    return V;
}

// The block at Offset, header included; its stored size comes from the (intact) header.
TSweepRegion BlockRegion(const std::string &Name, const std::string &Package, uint64_t Offset) {
    if (Offset + 9 > Package.size())
        throw Exception(Name + ": the block header lies outside the file");
    const uint64_t Stored = Get32(Package, Offset + 4);
    if (Stored > Package.size() - Offset - 9)
        throw Exception(Name + ": the block reaches past the end of the file");
    return {Name, Offset, 9 + Stored};
}

uint64_t TableSlotOffset(const std::string &Package) {
    const auto *Data = reinterpret_cast<const uint8_t *>(Package.data());
    const TPeHeaders Pe =
        ParsePeHeaders(Data, static_cast<size_t>(std::min<uint64_t>(Package.size(), 65536)));
    const TOffsetTableSlot Slot = FindOffsetTableSlot(
        Data, static_cast<size_t>(std::min<uint64_t>(Package.size(), Pe.ImageEnd)));
    if (!Slot.Found || Slot.Size != OffsetTableSize)
        throw Exception("no 44-byte offset table slot");
    return Slot.FileOffset;
}

} // namespace

TCaseResult CheckPackageCase(const std::string &Package, const std::string &Program,
                             TFile &Scratch) {
    return CheckPrefix(Package, Package.size(), Program, Scratch);
}

std::vector<TSweepRegion> FindSweepRegions(const std::string &Package) {
    const uint64_t Slot = TableSlotOffset(Package);
    TLoaderOffsetTable Table;
    std::memcpy(&Table, Package.data() + Slot, sizeof(Table));
    return {{"offset table", Slot, OffsetTableSize},
            {"setup-data signature", Table.SetupDataOffset, SetupDataSignatureSize},
            BlockRegion("records block", Package,
                        uint64_t(Table.SetupDataOffset) + SetupDataSignatureSize),
            BlockRegion("program block", Package, Table.SetupProgramOffset)};
}

void TSweepCounts::Add(const TCaseResult &Result, const std::string &CaseName) {
    ++Cases;
    switch (Result.Outcome) {
    case TCaseOutcome::Harmless:
        ++Harmless;
        break;
    case TCaseOutcome::Detected:
        ++Detected;
        break;
    case TCaseOutcome::Failure:
        ++Failures;
        if (FailureNotes.size() < 20)
            FailureNotes.push_back(CaseName + ": " + Result.Detail);
        break;
    }
}

TSweepCounts RunBitFlipSweep(const std::string &Package, const std::string &Program,
                             const std::string &ScratchPath, bool AllBits, const TCaseHook &Hook) {
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package);
    TFile Scratch(ScratchPath, fcCreateAlways, amReadWrite, smNone);
    std::string Work = Package;
    TSweepCounts Counts;
    for (const TSweepRegion &Region : Regions) {
        for (uint64_t At = Region.Offset; At < Region.Offset + Region.Size; ++At) {
            const int FirstBit = AllBits ? 0 : static_cast<int>(At % 8);
            const int LastBit = AllBits ? 7 : FirstBit;
            for (int Bit = FirstBit; Bit <= LastBit; ++Bit) {
                const std::string Name = Region.Name + " byte " +
                                         std::to_string(At - Region.Offset) + " (file offset " +
                                         std::to_string(At) + ") bit " + std::to_string(Bit);
                if (Hook)
                    Hook(Name);
                Work[static_cast<size_t>(At)] ^= static_cast<char>(1 << Bit);
                Counts.Add(CheckPackageCase(Work, Program, Scratch), Name);
                Work[static_cast<size_t>(At)] ^= static_cast<char>(1 << Bit);
            }
        }
    }
    return Counts;
}

TSweepCounts RunTruncationSweep(const std::string &Package, const std::string &Program,
                                const std::string &ScratchPath, uint64_t SampleStep,
                                const TCaseHook &Hook) {
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package);
    const uint64_t Slot = Regions[0].Offset;
    std::set<uint64_t> Cuts;
    auto AddAround = [&](uint64_t At) {
        for (uint64_t Cut : {At - 1, At, At + 1})
            if (At > 0 && Cut < Package.size())
                Cuts.insert(Cut);
    };
    for (const TSweepRegion &Region : Regions) {
        AddAround(Region.Offset);
        AddAround(Region.Offset + Region.Size);
    }
    for (size_t Block = 2; Block < Regions.size(); ++Block) {
        const uint64_t Chunks = Regions[Block].Offset + 9;
        const uint64_t End = Regions[Block].Offset + Regions[Block].Size;
        for (uint64_t At = Chunks; At < End; At += 4 + TCompressedBlockReader::ChunkSize)
            AddAround(At);
    }
    for (uint64_t Cut = 0; Cut < Package.size(); Cut += std::max<uint64_t>(SampleStep, 1))
        Cuts.insert(Cut);

    TFile Scratch(ScratchPath, fcCreateAlways, amReadWrite, smNone);
    TSweepCounts Counts;
    for (uint64_t Cut : Cuts) {
        const std::string Name = "cut at " + std::to_string(Cut);
        if (Hook)
            Hook(Name);
        Counts.Add(CheckPrefix(Package, Cut, Program, Scratch), Name);
        // With the table resealed for the shorter file the readers meet the end themselves.
        if (Cut < Slot + OffsetTableSize)
            continue;
        std::string Resealed = Package.substr(0, static_cast<size_t>(Cut));
        TLoaderOffsetTable Table;
        std::memcpy(&Table, Resealed.data() + Slot, sizeof(Table));
        Table.MinFileSize = static_cast<uint32_t>(Cut);
        SealOffsetTable(Table);
        std::memcpy(&Resealed[static_cast<size_t>(Slot)], &Table, sizeof(Table));
        if (Hook)
            Hook(Name + ", table resealed");
        Counts.Add(CheckPackageCase(Resealed, Program, Scratch), Name + ", table resealed");
    }
    return Counts;
}
