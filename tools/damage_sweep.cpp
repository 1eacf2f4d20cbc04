#include "tools/damage_sweep.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>

#include "records/data_fault_text.h"
#include "records/setup_package.h"
#include "setupdata/block_format.h"
#include "setupdata/file.h"
#include "setupdata/file_tree.h"
#include "setupdata/file_tree_reader.h"
#include "setupdata/offset_table.h"
#include "support/byte_order.h"
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

// The block at Offset, header included; its stored size comes from the header, which must be
// intact.
TSweepRegion BlockRegion(const std::string &Name, const std::string &Package, uint64_t Offset) {
    if (Offset + BlockHeaderSize > Package.size())
        throw Exception(Name + ": the block header lies outside the file");
    TBlockHeader Header;
    const TDataFault Fault =
        CheckBlockHeader(reinterpret_cast<const uint8_t *>(&Package[static_cast<size_t>(Offset)]),
                         [&] { return Package.size() - Offset - BlockHeaderSize; }, Header);
    if (Fault.Check == TFaultCheck::BlockPastEnd)
        throw Exception(Name + ": the block reaches past the end of the file");
    if (Fault.Check != TFaultCheck::None)
        throw Exception(Name + ": the block header is damaged");
    return {Name, Offset, BlockHeaderSize + Header.StoredSize};
}

// The setup-data area as the setup program is told it: from the records block's end to the
// program block. Table must have been accepted.
TSweepRegion SetupDataArea(const std::string &Package, const TLoaderOffsetTable &Table) {
    const TSweepRegion Records = BlockRegion(
        "records block", Package, uint64_t(Table.SetupDataOffset) + SetupDataSignatureSize);
    const uint64_t Start = Records.Offset + Records.Size;
    if (Start > Table.SetupProgramOffset)
        throw Exception("the records block reaches into the program block");
    return {"stored folder", Start, Table.SetupProgramOffset - Start};
}

void AppendField(std::string &Out, uint64_t Value) {
    Out += std::to_string(Value);
    Out += ' ';
}

// Reads the stored folder in the area through the setup program's reader, every file whole,
// into one string; throws the reader's error.
std::string ReadStoredFolder(const std::string &Package, uint64_t Length,
                             const TSweepRegion &Area) {
    TByteViewFile File(Package, std::min(Length, Area.Offset + Area.Size));
    File.SeekTo64(Area.Offset);
    TFileTreeReader Reader(File);
    std::string Out = Reader.Index().RunCommand + '\n';
    for (const TFileTreeEntry &Entry : Reader.Index().Entries) {
        Out += Entry.Path + '\n';
        for (uint64_t Field :
             {uint64_t(Entry.IsFolder), uint64_t(Entry.CallTransformed), uint64_t(Entry.Attributes),
              Entry.WriteTime, Entry.Size, uint64_t(Entry.Crc)})
            AppendField(Out, Field);
        if (!Entry.IsFolder)
            Reader.ReadFile(Entry, [&](const void *Data, uint32_t Size) {
                Out.append(static_cast<const char *>(Data), Size);
            });
    }
    return Out;
}

bool HoldsStoredFolder(const std::string &Package, const TSweepRegion &Area) {
    return Area.Size >= FileTreeAreaHeaderSize &&
           std::memcmp(Package.data() + Area.Offset, FileTreeSignature, FileTreeSignatureSize) == 0;
}

// Runs the loader's acceptance of the whole package (every message block and the program
// included) over its first Length bytes; Program receives the decoded program when accepted.
// Returns the offset table it accepted.
TLoaderOffsetTable AcceptPrefix(const std::string &Package, uint64_t Length, std::string &Program) {
    TByteViewFile File(Package, Length);
    const TLoaderOffsetTable Table = TableFromImage(Package, Length);
    TAcceptedPackage Accepted;
    AcceptPackage(File, Table, TAcceptOptions(), Accepted);
    Program.assign(reinterpret_cast<const char *>(Accepted.Program.get()), Table.SetupProgramSize);
    return Table;
}

TCaseResult CheckPrefix(const std::string &Package, uint64_t Length, const std::string &Program,
                        const std::string &Folder) {
    TCaseResult Result;
    std::string Extracted, FolderRead;
    try {
        const TLoaderOffsetTable Table = AcceptPrefix(Package, Length, Extracted);
        // The loader never reads the setup-data area; the setup program reads it next.
        if (!Folder.empty())
            FolderRead = ReadStoredFolder(Package, Length, SetupDataArea(Package, Table));
    } catch (const Exception &E) {
        Result.Outcome = TCaseOutcome::Detected;
        Result.Detail = E.Fault().Check != TFaultCheck::None ? DescribeDataFault(E.Fault())
                                                            : E.Message();
        return Result;
    } catch (const std::exception &E) {
        Result.Detail = std::string("exception outside the system's tree: ") + E.what();
        return Result;
    } catch (...) {
        Result.Detail = "exception of an unknown type";
        return Result;
    }
    // Accepted: only the original program, byte for byte, is harmless.
    if (Extracted.size() != Program.size())
        Result.Detail = "accepted with a program of " + std::to_string(Extracted.size()) + " bytes";
    else if (Extracted != Program)
        Result.Detail = "accepted with different program bytes";
    else if (FolderRead != Folder)
        Result.Detail = "the stored folder read back differs";
    else
        Result.Outcome = TCaseOutcome::Harmless;
    return Result;
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
                             const std::string &Folder) {
    return CheckPrefix(Package, Package.size(), Program, Folder);
}

std::string ProgramOfPackage(const std::string &Package) {
    std::string Program;
    AcceptPrefix(Package, Package.size(), Program);
    return Program;
}

std::string StoredFolderOfPackage(const std::string &Package) {
    std::string Program;
    const TLoaderOffsetTable Table = AcceptPrefix(Package, Package.size(), Program);
    const TSweepRegion Area = SetupDataArea(Package, Table);
    return HoldsStoredFolder(Package, Area) ? ReadStoredFolder(Package, Package.size(), Area)
                                            : std::string();
}

std::vector<TSweepRegion> FindSweepRegions(const std::string &Package) {
    const uint64_t Slot = TableSlotOffset(Package);
    TLoaderOffsetTable Table;
    std::memcpy(&Table, Package.data() + Slot, sizeof(Table));
    std::vector<TSweepRegion> Regions = {
        {"offset table", Slot, OffsetTableSize},
        {"setup-data signature", Table.SetupDataOffset, SetupDataSignatureSize},
        BlockRegion("records block", Package,
                    uint64_t(Table.SetupDataOffset) + SetupDataSignatureSize)};
    const TSweepRegion Area = SetupDataArea(Package, Table);
    if (HoldsStoredFolder(Package, Area))
        Regions.push_back(Area);
    Regions.push_back(BlockRegion("program block", Package, Table.SetupProgramOffset));
    return Regions;
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
                             bool AllBits, const TCaseHook &Hook) {
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package);
    const std::string Folder = StoredFolderOfPackage(Package);
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
                Counts.Add(CheckPackageCase(Work, Program, Folder), Name);
                Work[static_cast<size_t>(At)] ^= static_cast<char>(1 << Bit);
            }
        }
    }
    return Counts;
}

TSweepCounts RunTruncationSweep(const std::string &Package, const std::string &Program,
                                uint64_t SampleStep, const TCaseHook &Hook) {
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package);
    const uint64_t Slot = Regions[0].Offset;
    // The loader reads nothing behind the program block (the recorded length): cutting the
    // packer's padding there is no damage.
    const uint64_t Recorded = Regions.back().Offset + Regions.back().Size;
    std::set<uint64_t> Cuts;
    auto AddAround = [&](uint64_t At) {
        for (uint64_t Cut : {At - 1, At, At + 1})
            if (At > 0 && Cut < Recorded)
                Cuts.insert(Cut);
    };
    for (const TSweepRegion &Region : Regions) {
        AddAround(Region.Offset);
        AddAround(Region.Offset + Region.Size);
    }
    // The chunks of the records and the program block (a stored folder in front of the program
    // block is cut with it: the loader refuses every such cut).
    for (const TSweepRegion &Block : {Regions[2], Regions.back()}) {
        const uint64_t End = Block.Offset + Block.Size;
        for (uint64_t At = Block.Offset + BlockHeaderSize; At < End;
             At += BlockChunkCrcSize + BlockChunkSize)
            AddAround(At);
    }
    for (uint64_t Cut = 0; Cut < Recorded; Cut += std::max<uint64_t>(SampleStep, 1))
        Cuts.insert(Cut);

    TSweepCounts Counts;
    for (uint64_t Cut : Cuts) {
        const std::string Name = "cut at " + std::to_string(Cut);
        if (Hook)
            Hook(Name);
        Counts.Add(CheckPrefix(Package, Cut, Program, std::string()), Name);
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
        Counts.Add(CheckPackageCase(Resealed, Program), Name + ", table resealed");
    }
    return Counts;
}
