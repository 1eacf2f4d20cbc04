#include "records/setup_package.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/offset_table.h"
#include "support/builtin_texts.h"
#include "tests/setupdata/memory_file.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/record_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t SeekFailedCode = 25; // ERROR_SEEK

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

    // As the loader runs it: to the program's block, then the extraction from there.
    std::string Extract(TMemoryFile &Self, const TLoaderOffsetTable &Table, bool Seek = true) {
        if (Seek)
            SeekSetupProgram(Self, Table);
        fs::path Target = Dir / "setup.tmp";
        {
            TFile File(Target.string(), fcCreateAlways, amWrite, smNone);
            ExtractSetupProgram(Self, Table, File);
        }
        return ReadWholeFile(Target);
    }

    // As the loader runs it after the startup question: the program decoded ahead is written
    // when it passed, and otherwise extracted as usual, which raises the fault. Passed tells
    // which way it went.
    void ExtractAfterEarlyDecode(TMemoryFile &Self, const TLoaderOffsetTable &Table, TFile &File,
                                 bool &Passed) {
        TEarlyProgramDecode Early(Self, Table);
        Early.Start();
        Passed = Early.Finish();
        if (Passed) {
            Early.WriteTo(File);
        } else {
            SeekSetupProgram(Self, Table);
            ExtractSetupProgram(Self, Table, File);
        }
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
    // Decoded ahead, from wherever the file stands.
    fs::path Target = Dir / "early.tmp";
    bool Passed = false;
    {
        TFile File(Target.string(), fcCreateAlways, amWrite, smNone);
        ExtractAfterEarlyDecode(Self, Table, File, Passed);
    }
    EXPECT_TRUE(Passed);
    EXPECT_TRUE(ReadWholeFile(Target) == Program);
}

// The seek to the program's block is a step of its own, before the temporary file exists: its
// failure is the loader's file failing, and the extraction reads from wherever the file stands.
TEST_F(ExtractTest, SeeksOnlyInItsOwnStep) {
    struct TSeeklessFile : TMemoryFile {
        using TMemoryFile::TMemoryFile;
        void SeekTo64(uint64_t) override { RaiseFileError(SeekFailedCode); }
    };
    const std::string Program = X86Program().substr(0, 100000);
    TLoaderOffsetTable Table;
    TSeeklessFile Self("image" + Pack(Program, 5, Table));
    try {
        SeekSetupProgram(Self, Table);
        ADD_FAILURE() << "seek passed";
    } catch (const EFileError &E) {
        EXPECT_EQ(E.SystemErrorCode, SeekFailedCode);
    }
    char Image[5];
    ASSERT_EQ(Self.Read(Image, sizeof(Image)), 5u);
    EXPECT_TRUE(Extract(Self, Table, /*Seek=*/false) == Program);
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

    using C = TFaultCheck;
    struct {
        const char *Name;
        std::string File;
        TLoaderOffsetTable Table;
        TFaultCheck Check;
    } Cases[] = {
        {"WrongCrc", Block, WrongCrc, C::ProgramCrc},
        {"SizeBeyondStream", Block, SizeBeyondStream, C::LzmaData},
        {"Size2GiB", Block, Size2GiB, C::ProgramTooLarge},
        {"FlippedBitInChunk", BadChunk, Good, C::ChunkCrc},
        {"TruncatedBlock", Block.substr(0, Block.size() - 1), Good, C::BlockPastEnd},
    };
    // Each way: extracted at once, and decoded ahead (which drops the program, so that the usual
    // extraction meets the fault).
    for (const auto &Case : Cases) {
        for (const bool Early : {false, true}) {
            SCOPED_TRACE(std::string(Case.Name) + (Early ? ", decoded ahead" : ""));
            TMemoryFile Self(Case.File);
            fs::path Target = Dir / "setup.tmp";
            bool Passed = false;
            try {
                TFile File(Target.string(), fcCreateAlways, amWrite, smNone);
                if (Early)
                    ExtractAfterEarlyDecode(Self, Case.Table, File, Passed);
                else
                    ExtractSetupProgram(Self, Case.Table, File);
                ADD_FAILURE() << "accepted";
            } catch (const ESetupCorrupt &E) {
                EXPECT_EQ(E.Message(), SetupCorruptText);
                EXPECT_EQ(int(E.Fault().Check), int(Case.Check));
                EXPECT_EQ(E.Fault().Structure, TFaultStructure::SetupProgram);
            }
            EXPECT_FALSE(Passed);
            EXPECT_EQ(fs::file_size(Target), 0u) << "nothing written";
        }
    }
}

// The file is written behind the decoder, but its errors still count only for a whole program
// whose CRC is right.
TEST_F(ExtractTest, DamageOutranksAFileError) {
    const std::string Program = X86Program().substr(0, 200000);
    TLoaderOffsetTable Good;
    const std::string Block = Pack(Program, 0, Good);
    TLoaderOffsetTable WrongCrc = Good;
    WrongCrc.SetupProgramCRC ^= 1;
    fs::path Target = Dir / "setup.tmp";
    std::ofstream(Target, std::ios::binary) << "read-only here";
    for (const TLoaderOffsetTable &Table : {Good, WrongCrc}) {
        for (const bool Early : {false, true}) {
            const bool Whole = Table.SetupProgramCRC == Good.SetupProgramCRC;
            SCOPED_TRACE(std::string(Whole ? "good program" : "wrong CRC") +
                         (Early ? ", decoded ahead" : ""));
            TMemoryFile Self(Block);
            TFile File(Target.string(), fcOpenExisting, amRead, smNone);
            bool Passed = false;
            try {
                if (Early)
                    ExtractAfterEarlyDecode(Self, Table, File, Passed);
                else
                    ExtractSetupProgram(Self, Table, File);
                ADD_FAILURE() << "accepted";
            } catch (const EFileError &) {
                EXPECT_TRUE(Whole);
            } catch (const Exception &E) {
                EXPECT_EQ(E.Message(), SetupCorruptText);
                EXPECT_FALSE(Whole);
            }
            EXPECT_EQ(Passed, Early && Whole);
        }
        EXPECT_EQ(ReadWholeFile(Target), "read-only here");
    }
}

} // namespace

namespace {

// The acceptance of the table and of the file around it, one named change at a time.
TEST(PackageHead, RefusesEachTableAndFileFault) {
    TSetupHeaderFields Fields;
    Fields.ApplicationName = "App";
    std::string Records;
    AppendLzmaBlock(Records, BuildSetupHeaderRecord(Fields).data(),
                    BuildSetupHeaderRecord(Fields).size());
    const std::string Image = "image bytes";
    const std::string Good = Image + std::string(SetupDataSignatureSize, '\0') + Records;
    TLoaderOffsetTable Table{};
    std::memcpy(Table.Signature, OffsetTableSignature, sizeof(Table.Signature));
    Table.FormatVersion = OffsetTableFormatVersion;
    Table.MinFileSize = uint32_t(Good.size());
    Table.SetupDataOffset = uint32_t(Image.size());
    SealOffsetTable(Table);

    auto Resealed = [&](auto Change) {
        TLoaderOffsetTable T = Table;
        Change(T);
        SealOffsetTable(T);
        return T;
    };
    TLoaderOffsetTable Unsealed = Table;
    Unsealed.SecondDataOffset = 1;
    std::string BadSignature = Good;
    BadSignature[Image.size() + 63] = 1;

    using C = TFaultCheck;
    const struct {
        const char *Name;
        std::string File;
        const TLoaderOffsetTable *Table;
        TFaultCheck Check; // None: accepted
    } Cases[] = {
        {"Good", Good, &Table, C::None},
        {"LongerFileIsFine", Good + "signature", &Table, C::None},
        {"NoTable", Good, nullptr, C::TableMissing},
        {"FormatVersion2", Good, nullptr, C::TableVersion},
        {"ChecksumNotResealed", Good, &Unsealed, C::TableChecksum},
        {"FileOneByteShort", Good.substr(0, Good.size() - 1), &Table, C::FileTooShort},
        {"SignatureByte", BadSignature, &Table, C::SignatureMismatch},
        {"FileEndsInsideSignature", Good, nullptr, C::SignatureCut},
    };
    const TLoaderOffsetTable Version2 = Resealed([](TLoaderOffsetTable &T) { T.FormatVersion = 2; });
    const TLoaderOffsetTable SignatureBeyond =
        Resealed([&](TLoaderOffsetTable &T) { T.SetupDataOffset = uint32_t(Good.size() - 63); });
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const TLoaderOffsetTable *CaseTable = Case.Table;
        if (Case.Check == C::TableVersion)
            CaseTable = &Version2;
        if (Case.Check == C::SignatureCut)
            CaseTable = &SignatureBeyond;
        TMemoryFile File(Case.File);
        TSetupHeaderRec Header;
        std::vector<TSetupLanguageEntry> Entries;
        try {
            AcceptPackageHead(CaseTable, File, Header, Entries);
            EXPECT_EQ(int(Case.Check), int(C::None)) << "accepted";
            EXPECT_EQ(Header.ApplicationName(), "App");
        } catch (const ESetupCorrupt &E) {
            EXPECT_EQ(E.Message(), SetupCorruptText);
            EXPECT_EQ(int(E.Fault().Check), int(Case.Check));
        } catch (const EFileError &E) {
            // The loader shows the file error for a signature the file cuts off.
            EXPECT_EQ(E.SystemErrorCode, ErrorHandleEof);
            EXPECT_EQ(int(E.Fault().Check), int(Case.Check));
        }
    }
}

} // namespace
