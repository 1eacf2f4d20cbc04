#include "records/setup_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/offset_table.h"
#include "support/builtin_texts.h"
#include "tests/setupdata/memory_file.h"
#include "tools/packlib/block_writer.h"

namespace {

namespace fs = std::filesystem;

std::string ReadWholeFile(const fs::path &Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// A real 32-bit x86 program image from the Wine installation.
std::string X86Program() {
    // Under Wine the host's root is drive Z:.
    for (const char *Dir :
         {"/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/wine/i386-windows",
          "Z:/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
        fs::path Path = fs::path(Dir) / "kernel32.dll";
        if (fs::exists(Path))
            return ReadWholeFile(Path);
    }
    ADD_FAILURE() << "no i386 Wine DLL installed";
    return std::string();
}

class ExtractTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device Random;
        Dir = fs::temp_directory_path() / ("quov-extract-test-" + std::to_string(Random()));
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // The packager's side: transform, compress, and a table describing the block at Offset.
    std::string Pack(const std::string &Program, uint32_t Offset, TLoaderOffsetTable &Table) {
        std::string Stored = Program;
        ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
        std::string Out;
        AppendLzmaBlock(Out, Stored.data(), Stored.size());
        Table = TLoaderOffsetTable{};
        Table.SetupProgramOffset = Offset;
        Table.SetupProgramSize = uint32_t(Program.size());
        Table.SetupProgramCRC = ComputeCrc32(Program.data(), Program.size());
        return Out;
    }

    std::string Extract(TMemoryFile &Self, const TLoaderOffsetTable &Table) {
        fs::path Target = Dir / "setup.tmp";
        {
            TFile File(Target.string(), fcCreateAlways, amWrite, smNone);
            Self.Seek(Table.SetupProgramOffset);
            ExtractSetupProgram(Self, Table, File);
        }
        return ReadWholeFile(Target);
    }

    fs::path Dir;
};

TEST_F(ExtractTest, RestoresARealProgramByteForByte) {
    const std::string Program = X86Program();
    ASSERT_GT(Program.size(), 100000u);
    TLoaderOffsetTable Table;
    TMemoryFile Self("image" + Pack(Program, 5, Table));
    std::string Stored = Program;
    ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
    ASSERT_NE(Stored, Program) << "the transform found call operands";
    EXPECT_TRUE(Extract(Self, Table) == Program);
}

TEST_F(ExtractTest, EmptyProgramGivesEmptyFile) {
    TLoaderOffsetTable Table;
    TMemoryFile Self(Pack("", 0, Table));
    EXPECT_EQ(Table.SetupProgramCRC, 0u);
    fs::path Target = Dir / "setup.tmp";
    std::ofstream(Target, std::ios::binary) << "old contents";
    {
        TFile File(Target.string(), fcOpenExisting, amWrite, smNone);
        ExtractSetupProgram(Self, Table, File);
    }
    EXPECT_EQ(fs::file_size(Target), 0u);
}

TEST_F(ExtractTest, RefusesDamage) {
    const std::string Program = X86Program().substr(0, 300000);
    TLoaderOffsetTable Good;
    const std::string Block = Pack(Program, 0, Good);

    TLoaderOffsetTable WrongCrc = Good;
    WrongCrc.SetupProgramCRC ^= 1;
    TLoaderOffsetTable SizeBeyondStream = Good;
    SizeBeyondStream.SetupProgramSize += 1;
    TLoaderOffsetTable Size2GiB = Good;
    Size2GiB.SetupProgramSize = 0x80000000u;
    std::string BadChunk = Block;
    BadChunk[BadChunk.size() / 2] ^= 0x40;

    struct {
        const char *Name;
        std::string File;
        TLoaderOffsetTable Table;
    } Cases[] = {
        {"WrongCrc", Block, WrongCrc},
        {"SizeBeyondStream", Block, SizeBeyondStream},
        {"Size2GiB", Block, Size2GiB},
        {"FlippedBitInChunk", BadChunk, Good},
        {"TruncatedBlock", Block.substr(0, Block.size() - 1), Good},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TMemoryFile Self(Case.File);
        fs::path Target = Dir / "setup.tmp";
        try {
            TFile File(Target.string(), fcCreateAlways, amWrite, smNone);
            ExtractSetupProgram(Self, Case.Table, File);
            ADD_FAILURE() << "accepted";
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), SetupCorruptText);
        }
        EXPECT_EQ(fs::file_size(Target), 0u) << "nothing written";
    }
}

} // namespace
