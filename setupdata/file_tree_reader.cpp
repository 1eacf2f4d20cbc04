#include "setupdata/file_tree_reader.h"

#include <cstring>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file_tree.h"
#include "setupdata/lzma_decompressor.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

const uint8_t FileTreeSignature[FileTreeSignatureSize] = {'Q', 'u', 'o', 'v', 'T', 'r', 'e', 'e'};

namespace {

[[noreturn]] void RaiseTreeCorrupt(const std::string &What) {
    throw ECompressDataError("The stored folder of files is damaged: " + What + ".");
}

} // namespace

bool IsSafeTreePath(const std::string &Path) {
    size_t PartStart = 0;
    for (size_t I = 0; I <= Path.size(); ++I) {
        if (I == Path.size() || Path[I] == '/') {
            const std::string Part = Path.substr(PartStart, I - PartStart);
            if (Part.empty() || Part == "." || Part == "..")
                return false;
            PartStart = I + 1;
            continue;
        }
        const unsigned char C = static_cast<unsigned char>(Path[I]);
        if (C < 0x20 || C == 0x7F || C == '\\' || C == ':')
            return false;
    }
    return true;
}

TFileTreeReader::TFileTreeReader(TCustomFile &Source, uint32_t PieceSize)
    : FSource(Source), FPieceSize(PieceSize == 0 ? 1 : PieceSize) {
    uint8_t Header[FileTreeAreaHeaderSize];
    FSource.ReadExact(Header, sizeof Header);
    if (std::memcmp(Header, FileTreeSignature, FileTreeSignatureSize) != 0)
        RaiseTreeCorrupt("no signature");
    if (LoadLe32(Header + FileTreeSignatureSize) != FileTreeFormatVersion)
        RaiseTreeCorrupt("unknown format version");
    {
        TCompressedBlockReader Index(FSource, LZMADecompressorClass);
        uint8_t Fixed[FileTreeEntryHeaderSize];
        Index.Read(Fixed, FileTreeIndexHeaderSize);
        const uint32_t Count = LoadLe32(Fixed);
        FIndex.TotalSize = LoadLe64(Fixed + 4);
        const uint32_t RunLength = LoadLe16(Fixed + 12);
        if (Count > FileTreeMaxEntries || FIndex.TotalSize > FileTreeMaxTotalSize ||
            RunLength > FileTreeMaxRunBytes)
            RaiseTreeCorrupt("a count beyond its ceiling");
        FIndex.RunCommand.resize(RunLength);
        Index.Read(&FIndex.RunCommand[0], static_cast<int32_t>(RunLength));
        FIndex.Entries.reserve(Count);
        uint64_t Sum = 0;
        for (uint32_t I = 0; I < Count; ++I) {
            Index.Read(Fixed, FileTreeEntryHeaderSize);
            TFileTreeEntry Entry;
            const uint8_t Kind = Fixed[0];
            const uint8_t Flags = Fixed[1];
            const uint32_t PathLength = LoadLe16(Fixed + 2);
            Entry.IsFolder = Kind == FileTreeKindFolder;
            Entry.CallTransformed = (Flags & FileTreeFlagCallTransform) != 0;
            Entry.Attributes = LoadLe32(Fixed + 4);
            Entry.WriteTime = LoadLe64(Fixed + 8);
            Entry.Size = LoadLe64(Fixed + 16);
            Entry.Crc = LoadLe32(Fixed + 24);
            if (Kind > FileTreeKindFile || (Flags & ~FileTreeFlagCallTransform) != 0 ||
                PathLength == 0 || PathLength > FileTreeMaxPathBytes)
                RaiseTreeCorrupt("an entry of unknown form");
            if (Entry.IsFolder && (Entry.Size != 0 || Entry.CallTransformed))
                RaiseTreeCorrupt("a folder with contents of its own");
            if (Entry.CallTransformed && Entry.Size > FileTreeMaxTransformedSize)
                RaiseTreeCorrupt("a transformed file beyond its ceiling");
            Sum += Entry.Size;
            if (Sum > FIndex.TotalSize)
                RaiseTreeCorrupt("sizes beyond the total");
            Entry.Path.resize(PathLength);
            Index.Read(&Entry.Path[0], static_cast<int32_t>(PathLength));
            if (!IsSafeTreePath(Entry.Path))
                RaiseTreeCorrupt("a path outside the target folder");
            // Sorted strictly: no path twice, and a folder before what it holds.
            if (!FIndex.Entries.empty() && !(FIndex.Entries.back().Path < Entry.Path))
                RaiseTreeCorrupt("entries out of order");
            FIndex.Entries.push_back(std::move(Entry));
        }
        if (Sum != FIndex.TotalSize)
            RaiseTreeCorrupt("sizes that do not add up to the total");
    }
    FData.reset(new TCompressedBlockReader(FSource, LZMADecompressorClass));
}

TFileTreeReader::~TFileTreeReader() = default;

void TFileTreeReader::ReadFile(const TFileTreeEntry &Entry, const TTreeDataSink &Sink) {
    // A transformed file is undone a piece at a time; the transform looks four bytes ahead of
    // each position, so the last four bytes of a piece wait for the next one.
    constexpr uint32_t Lookahead = 4;
    if (FPiece.empty() && Entry.Size != 0)
        FPiece.resize(size_t(FPieceSize) + Lookahead);
    uint32_t Crc = 0xFFFFFFFFu;
    uint32_t Held = 0; // bytes at FPiece's start that wait for the next piece
    uint32_t Scan = 0; // where the transform's scan goes on, from FPiece's start
    uint64_t Base = 0; // the file position of FPiece's start
    for (uint64_t Left = Entry.Size; Left != 0;) {
        const uint32_t Count = Left < FPieceSize ? static_cast<uint32_t>(Left) : FPieceSize;
        FData->Read(FPiece.data() + Held, static_cast<int32_t>(Count));
        Left -= Count;
        const uint32_t Length = Held + Count;
        uint32_t Ready = Length;
        if (Entry.CallTransformed) {
            if (Left != 0)
                Ready = Length > Lookahead ? Length - Lookahead : 0;
            // At the file's end the buffer ends where the file does, as the packer's scan did.
            const uint32_t Next =
                ConvertCallOperandsStretch(FPiece.data(), Length, Scan, Ready,
                                           /*MakeAbsolute=*/false, static_cast<uint32_t>(Base));
            Scan = Next - Ready;
        }
        if (Ready != 0) {
            Crc = AccumulateCrc32(Crc, FPiece.data(), Ready);
            Sink(FPiece.data(), Ready);
        }
        Held = Length - Ready;
        if (Held != 0)
            std::memmove(FPiece.data(), FPiece.data() + Ready, Held);
        Base += Ready;
    }
    if (~Crc != Entry.Crc)
        RaiseTreeCorrupt("a file whose CRC does not match (" + Entry.Path + ")");
}
