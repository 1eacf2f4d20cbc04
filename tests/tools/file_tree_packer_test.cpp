#include "tools/file_tree_packer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "../setupdata/memory_file.h"
#include "setupdata/crc32.h"
#include "setupdata/file_tree.h"
#include "setupdata/file_tree_reader.h"
#include "support/byte_order.h"
#include "test_stub.h"
#include "tools/packlib/block_writer.h"

namespace {

// Bytes with many call opcodes, behind an executable's "MZ" so that the writer transforms them.
std::string ExecutableBytes(size_t Size) {
    std::string P(Size, '\0');
    uint32_t X = 7;
    for (size_t I = 0; I < Size; ++I) {
        X = X * 1103515245u + 12345u;
        P[I] = static_cast<char>(I % 29 == 0 ? 0xE8 : X >> 24);
    }
    P[0] = 'M';
    P[1] = 'Z';
    return P;
}

TTreeSourceEntry File(const std::string &Path, std::string Data, uint64_t Time = 0) {
    TTreeSourceEntry E;
    E.Path = Path;
    E.Data = std::move(Data);
    E.Attributes = 0x20;
    E.WriteTime = Time;
    return E;
}

TTreeSourceEntry Folder(const std::string &Path) {
    TTreeSourceEntry E;
    E.Path = Path;
    E.IsFolder = true;
    return E;
}

// Nested folders, an empty file, an empty folder, Cyrillic and Chinese names, an executable
// and a file of many pieces.
std::vector<TTreeSourceEntry> SampleTree() {
    return {File("readme.txt", "Read me.\n", 132000000000000000ull),
            Folder("bin"),
            File("bin/app.exe", ExecutableBytes(70000)),
            Folder("bin/data"),
            File("bin/data/big.bin", std::string(600000, 'x') + ExecutableBytes(9000).substr(2)),
            File("bin/data/empty.dat", ""),
            Folder("empty"),
            Folder("\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"),               // "данные"
            File("\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5/\xE8\xAF\xB4\xE6\x98\x8E.txt", // "说明"
                 "\xE4\xBD\xA0\xE5\xA5\xBD")};
}

// Everything the reader gives back: the index and each file's bytes.
struct TReadBack {
    TFileTreeIndex Index;
    std::vector<std::string> Files;
};

TReadBack ReadArea(const std::string &Area,
                   uint32_t Piece = TFileTreeReader::DefaultPieceSize) {
    TMemoryFile Source(Area);
    TFileTreeReader Reader(Source, Piece);
    TReadBack Back{Reader.Index(), {}};
    for (const TFileTreeEntry &E : Reader.Index().Entries) {
        std::string Bytes;
        if (!E.IsFolder)
            Reader.ReadFile(E, [&](const void *Data, uint32_t Size) {
                Bytes.append(static_cast<const char *>(Data), Size);
            });
        Back.Files.push_back(Bytes);
    }
    return Back;
}

TEST(FileTreePacker, RoundTripsInPieces) {
    std::vector<TTreeSourceEntry> Tree = SampleTree();
    const std::string Run = "bin\\app.exe /quiet \"x y\"";
    const std::string Area = BuildFileTreeArea(Tree, Run);
    std::sort(Tree.begin(), Tree.end(),
              [](const TTreeSourceEntry &A, const TTreeSourceEntry &B) { return A.Path < B.Path; });
    for (uint32_t Piece : {1u, 7u, 4096u, TFileTreeReader::DefaultPieceSize}) {
        SCOPED_TRACE(testing::Message() << "piece " << Piece);
        const TReadBack Back = ReadArea(Area, Piece);
        EXPECT_EQ(Back.Index.RunCommand, Run);
        ASSERT_EQ(Back.Index.Entries.size(), Tree.size());
        uint64_t Total = 0;
        for (size_t I = 0; I < Tree.size(); ++I) {
            const TFileTreeEntry &E = Back.Index.Entries[I];
            SCOPED_TRACE(E.Path);
            EXPECT_EQ(E.Path, Tree[I].Path);
            EXPECT_EQ(E.IsFolder, Tree[I].IsFolder);
            EXPECT_EQ(E.WriteTime, Tree[I].WriteTime);
            EXPECT_EQ(E.Attributes, Tree[I].Attributes);
            EXPECT_EQ(E.CallTransformed, Tree[I].Data.compare(0, 2, "MZ") == 0);
            EXPECT_EQ(Back.Files[I], Tree[I].Data);
            Total += Tree[I].Data.size();
        }
        EXPECT_EQ(Back.Index.TotalSize, Total);
    }
}

// The reader undoes the transform a piece at a time: operands that the transform changes (top
// byte 00 or FF) at every distance from a piece's end, and an instruction in the last four
// bytes, which the transform leaves alone.
TEST(FileTreePacker, UndoesTheTransformAcrossPieces) {
    std::string Calls = "MZ";
    for (uint32_t I = 0; Calls.size() < 5000; ++I) {
        Calls += std::string(I % 9, '\x90');
        Calls += I % 2 ? '\xE8' : '\xE9';
        Calls += std::string(3, static_cast<char>(I * 37));
        Calls += I % 3 ? '\x00' : '\xFF';
    }
    Calls += "\xE8\x01\x02\x00";
    const std::string Area = BuildFileTreeArea({File("calls.dll", Calls)}, "");
    for (uint32_t Piece = 1; Piece <= 12; ++Piece) {
        SCOPED_TRACE(testing::Message() << "piece " << Piece);
        const TReadBack Back = ReadArea(Area, Piece);
        ASSERT_TRUE(Back.Index.Entries[0].CallTransformed);
        EXPECT_EQ(Back.Files[0], Calls);
    }
}

TEST(FileTreePacker, SameTreeGivesSameBytesInAnyOrder) {
    std::vector<TTreeSourceEntry> Tree = SampleTree();
    const std::string First = BuildFileTreeArea(Tree, "");
    std::reverse(Tree.begin(), Tree.end());
    EXPECT_EQ(BuildFileTreeArea(Tree, ""), First);
}

TEST(FileTreePacker, RefusesNamesWindowsCannotHold) {
    const struct {
        const char *Name;
        const char *Problem; // a part of the reason; empty: accepted
    } Cases[] = {
        {"CON", "reserved"},           {"con.txt", "reserved"},  {"Nul .log", "reserved"},
        {"COM1", "reserved"},          {"lpt9.doc", "reserved"}, {"CONIN$", "reserved"},
        {"a:b", "character ':'"},      {"a?b", "character '?'"}, {"tab\there", "code 9"},
        {"name.", "trailing dot"},     {"name ", "trailing dot or space"},
        {"bad\xC3", "not UTF-8"},      {"COM0", ""},             {"CONSOLE", ""},
        {"lpt10", ""},                 {".hidden", ""},          {"\xE6\x96\x87 \xD0\xB6.txt", ""},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Problem = WindowsNameProblem(C.Name);
        if (*C.Problem == '\0')
            EXPECT_EQ(Problem, "");
        else
            EXPECT_NE(Problem.find(C.Problem), std::string::npos) << Problem;
    }
}

TEST(FileTreePacker, RefusesTreesWindowsCannotHold) {
    const struct {
        const char *Case;
        std::vector<TTreeSourceEntry> Tree;
        const char *Reason;
    } Cases[] = {
        {"CaseOnlyDuplicates", {File("Readme.txt", "a"), File("README.TXT", "b")}, "only in case"},
        {"CyrillicCaseDuplicates",
         {File("\xD0\xA4.txt", "a"), File("\xD1\x84.txt", "b")}, "only in case"},
        {"FolderAndFileByCase", {Folder("Docs"), File("docs", "b")}, "only in case"},
        {"BadNameDeepDown", {Folder("a"), Folder("a/aux"), File("a/aux/x", "")}, "reserved"},
        {"Empty", {}, "empty"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Case);
        try {
            BuildFileTreeArea(C.Tree, "");
            ADD_FAILURE() << "accepted";
        } catch (const EInputError &E) {
            EXPECT_NE(E.Message().find(C.Reason), std::string::npos) << E.Message();
        }
    }
    // The same name in two folders is no duplicate.
    EXPECT_NO_THROW(BuildFileTreeArea(
        {Folder("a"), Folder("b"), File("a/x.txt", "1"), File("b/X.TXT", "2")}, ""));
}

TEST(FileTreePacker, ScansHostFoldersAndRefusesLinks) {
    TScratchDir Dir;
    ASSERT_EQ(::mkdir((Dir / "tree").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((Dir / "tree/sub").c_str(), 0755), 0);
    std::ofstream(Dir / "tree/sub/a.txt") << "alpha";
    std::ofstream(Dir / "tree/b.txt") << "";
    ::chmod((Dir / "tree/b.txt").c_str(), 0444);

    std::vector<TTreeSourceEntry> Timed = ScanHostTree(Dir / "tree", false);
    std::vector<TTreeSourceEntry> Zero = ScanHostTree(Dir / "tree", true);
    ASSERT_EQ(Timed.size(), 3u);
    const TReadBack Back = ReadArea(BuildFileTreeArea(Timed, ""));
    ASSERT_EQ(Back.Index.Entries.size(), 3u);
    EXPECT_EQ(Back.Index.Entries[0].Path, "b.txt");
    EXPECT_EQ(Back.Index.Entries[0].Attributes, 0x21u); // read-only kept
    EXPECT_NE(Back.Index.Entries[0].WriteTime, 0u);
    EXPECT_EQ(Back.Files[2], "alpha");
    for (const TTreeSourceEntry &E : Zero)
        EXPECT_EQ(E.WriteTime, 0u) << E.Path;

    ASSERT_EQ(::symlink("sub/a.txt", (Dir / "tree/link").c_str()), 0);
    EXPECT_THROW(ScanHostTree(Dir / "tree", false), EInputError);
    ::unlink((Dir / "tree/link").c_str());
    ASSERT_EQ(::mkfifo((Dir / "tree/sub/pipe").c_str(), 0644), 0);
    EXPECT_THROW(ScanHostTree(Dir / "tree", false), EInputError);
}

// An area written by hand around an index stream, for damage the writer never makes.
std::string AreaWithIndex(const std::string &Index, const std::string &Data) {
    std::string Area(reinterpret_cast<const char *>(FileTreeSignature), FileTreeSignatureSize);
    AppendLe32(Area, FileTreeFormatVersion);
    AppendLzmaBlock(Area, Index.data(), Index.size());
    AppendLzmaBlock(Area, Data.data(), Data.size());
    return Area;
}

std::string IndexOf(const std::vector<std::pair<std::string, std::string>> &Files,
                    uint64_t Total, uint32_t CountBias = 0) {
    std::string Index;
    AppendLe32(Index, static_cast<uint32_t>(Files.size()) + CountBias);
    AppendLe32(Index, static_cast<uint32_t>(Total));
    AppendLe32(Index, 0);
    Index.append(2, '\0');
    for (const auto &F : Files) {
        std::string Entry(FileTreeEntryHeaderSize, '\0');
        Entry[0] = static_cast<char>(FileTreeKindFile);
        StoreLe16(&Entry[2], static_cast<uint16_t>(F.first.size()));
        StoreLe32(&Entry[16], static_cast<uint32_t>(F.second.size()));
        StoreLe32(&Entry[24], ComputeCrc32(F.second.data(), F.second.size()));
        Index += Entry + F.first;
    }
    return Index;
}

TEST(FileTreeReader, RefusesDamagedAreas) {
    const std::string Good = BuildFileTreeArea(SampleTree(), "");
    const auto Flip = [](std::string Area, size_t At) {
        Area[At] = static_cast<char>(Area[At] ^ 0x10);
        return Area;
    };
    const struct {
        const char *Case;
        std::string Area;
    } Cases[] = {
        {"WrongSignature", Flip(Good, 3)},
        {"WrongVersion", Flip(Good, FileTreeSignatureSize)},
        {"FlippedDataByte", Flip(Good, Good.size() - 100)},
        {"TruncatedData", Good.substr(0, Good.size() - 5000)},
        {"PathLeavesTarget", AreaWithIndex(IndexOf({{"../evil.txt", "x"}}, 1), "x")},
        {"AbsolutePath", AreaWithIndex(IndexOf({{"/etc/x", "x"}}, 1), "x")},
        {"BackslashInPath", AreaWithIndex(IndexOf({{"a\\..\\..\\x", "x"}}, 1), "x")},
        {"DriveInPath", AreaWithIndex(IndexOf({{"C:x", "x"}}, 1), "x")},
        {"EntriesOutOfOrder", AreaWithIndex(IndexOf({{"b", "1"}, {"a", "2"}}, 2), "12")},
        {"SamePathTwice", AreaWithIndex(IndexOf({{"a", "1"}, {"a", "2"}}, 2), "12")},
        {"SizesBeyondTotal", AreaWithIndex(IndexOf({{"a", "12"}}, 1), "12")},
        {"SizesShortOfTotal", AreaWithIndex(IndexOf({{"a", "1"}}, 2), "12")},
        {"CountBeyondCeiling", AreaWithIndex(IndexOf({{"a", "1"}}, 1, FileTreeMaxEntries), "1")},
        {"WrongCrc", [] {
             std::string Index = IndexOf({{"a", "1"}}, 1);
             Index[Index.size() - 2] ^= 1;
             return AreaWithIndex(Index, "1");
         }()},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Case);
        EXPECT_THROW(ReadArea(C.Area), Exception);
    }
    EXPECT_NO_THROW(ReadArea(AreaWithIndex(IndexOf({{"a", "1"}, {"b", "2"}}, 2), "12")));
}

} // namespace
