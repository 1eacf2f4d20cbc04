#include "tools/file_tree_packer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "setupdata/block_format.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file_tree.h"
#include "support/byte_order.h"
#include "tools/host_files.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/text_codec.h"

namespace {

// Decodes UTF-8 into code points; false for malformed text.
bool DecodeUtf8(const std::string &Text, std::vector<uint32_t> &Out) {
    uint32_t Code = 0;
    for (size_t I = 0, Length; I < Text.size(); I += Length) {
        if ((Length = Utf8SequenceAt(Text, I, &Code)) == 0)
            return false;
        Out.push_back(Code);
    }
    return true;
}

// The name as Windows compares names: upper and lower case the same for the Latin, Greek and
// Cyrillic letters (the scripts whose case names differ by in practice).
std::u32string FoldCase(const std::string &Name) {
    std::vector<uint32_t> Codes;
    DecodeUtf8(Name, Codes);
    std::u32string Folded;
    for (uint32_t C : Codes) {
        if ((C >= 'A' && C <= 'Z') || (C >= 0xC0 && C <= 0xDE && C != 0xD7) ||
            (C >= 0x391 && C <= 0x3A9) || (C >= 0x410 && C <= 0x42F))
            C += 0x20;
        else if (C >= 0x400 && C <= 0x40F)
            C += 0x50;
        Folded.push_back(static_cast<char32_t>(C));
    }
    return Folded;
}

std::string LastPart(const std::string &Path) {
    const size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string ParentOf(const std::string &Path) {
    const size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash);
}

void ScanFolder(const std::string &Root, const std::string &Relative, bool ZeroTimes,
                std::vector<TTreeSourceEntry> &Out) {
    const std::string Folder = Relative.empty() ? Root : Root + "/" + Relative;
    for (const THostFolderEntry &Item : ListHostFolder(Folder)) {
        const std::string Path = Relative.empty() ? Item.Name : Relative + "/" + Item.Name;
        const std::string Full = Root + "/" + Path;
        if (Item.Kind == THostFolderEntry::Link)
            throw EInputError(Full + " is a symbolic link: links are not followed, copy what "
                                     "it points to into the folder instead");
        if (Item.Kind == THostFolderEntry::Other)
            throw EInputError(Full + " is neither a file nor a folder");
        TTreeSourceEntry Entry;
        Entry.Path = Path;
        Entry.IsFolder = Item.Kind == THostFolderEntry::Folder;
        if (!ZeroTimes)
            Entry.WriteTime = Item.WriteTime;
        if (Entry.IsFolder) {
            Out.push_back(Entry);
            ScanFolder(Root, Path, ZeroTimes, Out);
            continue;
        }
        Entry.Attributes = 0x20 | (Item.ReadOnly ? 0x01 : 0);
        THostInput In = OpenHostInput(Full, "file", FileTreeMaxTotalSize);
        Entry.Data = ReadWholeHostInput(In);
        Out.push_back(std::move(Entry));
    }
}

} // namespace

std::string WindowsNameProblem(const std::string &Name) {
    std::vector<uint32_t> Codes;
    if (Name.empty())
        return "an empty name";
    if (!DecodeUtf8(Name, Codes))
        return "the name is not UTF-8 text";
    for (uint32_t C : Codes) {
        if (C < 0x20 || std::strchr("<>:\"/\\|?*", static_cast<int>(C < 0x80 ? C : 1)) != nullptr)
            return "Windows does not allow the character " +
                   (C < 0x20 ? "code " + std::to_string(C) : "'" + std::string(1, char(C)) + "'") +
                   " in a name";
    }
    if (Name.back() == '.' || Name.back() == ' ')
        return "Windows drops a trailing dot or space from a name";
    std::string Stem = Name.substr(0, Name.find('.'));
    while (!Stem.empty() && Stem.back() == ' ')
        Stem.pop_back();
    for (char &C : Stem)
        C = static_cast<char>(C >= 'a' && C <= 'z' ? C - 32 : C);
    static const char *const Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    bool Reserved = std::find_if(std::begin(Devices), std::end(Devices), [&](const char *D) {
                        return Stem == D;
                    }) != std::end(Devices);
    if (Stem.size() == 4 && (Stem.compare(0, 3, "COM") == 0 || Stem.compare(0, 3, "LPT") == 0) &&
        Stem[3] >= '1' && Stem[3] <= '9')
        Reserved = true;
    if (Reserved)
        return "the name is reserved for a device on Windows";
    return std::string();
}

std::vector<TTreeSourceEntry> ScanHostTree(const std::string &Root, bool ZeroTimes) {
    if (!IsHostFolder(Root))
        throw EInputError("--files " + Root + " is not a folder");
    std::vector<TTreeSourceEntry> Entries;
    ScanFolder(Root, std::string(), ZeroTimes, Entries);
    return Entries;
}

std::string BuildFileTreeArea(std::vector<TTreeSourceEntry> Entries, const std::string &RunCommand,
                              uint32_t DictionarySize) {
    if (Entries.empty())
        throw EInputError("the folder is empty: there is nothing to install");
    if (Entries.size() > FileTreeMaxEntries)
        throw EInputError("the folder holds " + std::to_string(Entries.size()) +
                          " files and folders; a stored folder holds at most " +
                          std::to_string(FileTreeMaxEntries));
    if (RunCommand.size() > FileTreeMaxRunBytes)
        throw EInputError("--run is longer than " + std::to_string(FileTreeMaxRunBytes) + " bytes");
    std::sort(Entries.begin(), Entries.end(),
              [](const TTreeSourceEntry &A, const TTreeSourceEntry &B) { return A.Path < B.Path; });
    // Names that Windows takes for the same one, within one folder.
    std::map<std::pair<std::string, std::u32string>, std::string> Seen;
    uint64_t TotalSize = 0;
    for (const TTreeSourceEntry &E : Entries) {
        if (E.Path.size() > FileTreeMaxPathBytes)
            throw EInputError(E.Path + ": the path is longer than " +
                              std::to_string(FileTreeMaxPathBytes) + " bytes");
        size_t Start = 0;
        for (size_t I = 0; I <= E.Path.size(); ++I) {
            if (I < E.Path.size() && E.Path[I] != '/')
                continue;
            const std::string Problem = WindowsNameProblem(E.Path.substr(Start, I - Start));
            if (!Problem.empty())
                throw EInputError(E.Path + ": " + Problem);
            Start = I + 1;
        }
        const auto Key = std::make_pair(ParentOf(E.Path), FoldCase(LastPart(E.Path)));
        const auto Found = Seen.find(Key);
        if (Found != Seen.end())
            throw EInputError(E.Path + " and " + Found->second +
                              " differ only in case: Windows holds only one of them");
        Seen.emplace(Key, E.Path);
        TotalSize += E.Data.size();
        if (TotalSize > FileTreeMaxTotalSize)
            throw EInputError("the files add up to more than " +
                              std::to_string(FileTreeMaxTotalSize >> 20) +
                              " MiB, the most a stored folder holds");
    }

    std::string Index, Data;
    AppendLe32(Index, static_cast<uint32_t>(Entries.size()));
    AppendLe64(Index, TotalSize);
    AppendLe16(Index, static_cast<uint16_t>(RunCommand.size()));
    Index += RunCommand;
    Data.reserve(static_cast<size_t>(TotalSize));
    for (TTreeSourceEntry &E : Entries) {
        const bool Transform = !E.IsFolder && E.Data.size() >= 2 &&
                               E.Data.size() <= FileTreeMaxTransformedSize &&
                               E.Data.compare(0, 2, "MZ") == 0;
        Index.push_back(static_cast<char>(E.IsFolder ? FileTreeKindFolder : FileTreeKindFile));
        Index.push_back(static_cast<char>(Transform ? FileTreeFlagCallTransform : 0));
        AppendLe16(Index, static_cast<uint16_t>(E.Path.size()));
        AppendLe32(Index, E.Attributes & FileTreeKeptAttributes);
        AppendLe64(Index, E.WriteTime);
        AppendLe64(Index, E.Data.size());
        AppendLe32(Index, E.IsFolder ? 0 : ComputeCrc32(E.Data.data(), E.Data.size()));
        Index += E.Path;
        if (Transform)
            ConvertCallOperands(&E.Data[0], static_cast<uint32_t>(E.Data.size()),
                                /*MakeAbsolute=*/true, /*PositionBias=*/0);
        Data += E.Data;
        std::string().swap(E.Data);
    }
    std::string Area(reinterpret_cast<const char *>(FileTreeSignature), FileTreeSignatureSize);
    AppendLe32(Area, FileTreeFormatVersion);
    AppendLzmaBlock(Area, Index.data(), Index.size());
    const std::string Stream =
        LzmaCompressProgram(Data.data(), Data.size(), DictionarySize);
    AppendCompressedBlock(Area, Stream.data(), Stream.size(), /*IsCompressed=*/true);
    return Area;
}
