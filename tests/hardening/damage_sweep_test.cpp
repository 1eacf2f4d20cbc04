#include "tools/damage_sweep.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "setupdata/file.h"
#include "tests/tools/test_stub.h"
#include "tools/authenticode.h"
#include "tools/file_tree_packer.h"
#include "tools/package_builder.h"

namespace {

const char English[] = "name = English\nlangid = 0x0409\ncodepage = 0\n"
                       "StartupPrompt = Install %1?\nCorruptSetupData = Damaged.\n";
const char Chinese[] = "name = Chinese\nlangid = 0x0804\ncodepage = 936\n"
                       "StartupPrompt = \xE5\xAE\x89\xE8\xA3\x85 %1\n";

// Code-like bytes with call and jump opcodes, partly compressible, so that the program block
// has several chunks and the transform has work to do.
std::string SweepProgram(size_t Size, uint32_t Seed) {
    std::string P(Size, '\0');
    uint32_t X = Seed;
    for (size_t I = 0; I < Size; ++I) {
        X = X * 1103515245u + 12345u;
        P[I] = static_cast<char>((I / 64) % 4 ? X >> 24 : I % 7);
        if (I % 29 == 0)
            P[I] = static_cast<char>(I % 2 ? 0xE8 : 0xE9);
    }
    return P;
}

struct TSmallPackage {
    TScratchDir Dir;
    std::string Program;
    std::string Bytes;

    // With Folder, the package holds it as the setup data (quovpack pack --files).
    explicit TSmallPackage(size_t ProgramSize = 16000, uint32_t Seed = 7,
                           std::vector<TTreeSourceEntry> Folder = {})
        : Program(RunnableProgram(SweepProgram(ProgramSize, Seed))) {
        WriteFileBytes(Dir / "stub.exe", BuildTestStub());
        WriteFileBytes(Dir / "program.exe", Program);
        WriteFileBytes(Dir / "en.txt", std::string(English));
        WriteFileBytes(Dir / "zh.txt", std::string(Chinese));
        TPackOptions Options;
        Options.StubPath = Dir / "stub.exe";
        Options.ProgramPath = Dir / "program.exe";
        Options.ApplicationName = "Sweep";
        Options.LanguagePaths = {Dir / "en.txt", Dir / "zh.txt"};
        Options.OutputPath = Dir / "package.exe";
        if (!Folder.empty())
            Options.SetupDataBytes = BuildFileTreeArea(std::move(Folder), "app.exe /quiet");
        PackInstaller(Options);
        Bytes = ReadFileBytes(Options.OutputPath);
    }
};

uint64_t RegionBytes(const std::string &Package) {
    uint64_t Sum = 0;
    for (const TSweepRegion &Region : FindSweepRegions(Package))
        Sum += Region.Size;
    return Sum;
}

void ExpectNoFailure(const TSweepCounts &Counts) {
    EXPECT_EQ(Counts.Failures, 0u);
    for (const std::string &Note : Counts.FailureNotes)
        ADD_FAILURE() << Note;
    EXPECT_EQ(Counts.Cases, Counts.Detected + Counts.Harmless + Counts.Failures);
}

TEST(DamageSweep, RegionsCoverTableSignatureAndBothBlocks) {
    TSmallPackage Package;
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package.Bytes);
    ASSERT_EQ(Regions.size(), 4u);
    EXPECT_EQ(Regions[0].Size, 44u);
    EXPECT_EQ(std::memcmp(Package.Bytes.data() + Regions[0].Offset, "rDlPtS", 6), 0);
    EXPECT_EQ(Regions[1].Size, 64u);
    EXPECT_EQ(Regions[2].Offset, Regions[1].Offset + 64);
    // The program block ends the recorded length, only the padding to 8 bytes behind it, and
    // has several chunks.
    EXPECT_EQ(Regions[3].Offset + Regions[3].Size +
                  CertificateAlignmentPadding(Regions[3].Offset + Regions[3].Size),
              Package.Bytes.size());
    EXPECT_GT(Regions[3].Size, 2u * (4 + 4096));
}

TEST(DamageSweep, EveryFlippedBitIsDetectedOrHarmless) {
    TSmallPackage Package;
    TSweepCounts Counts = RunBitFlipSweep(Package.Bytes, Package.Program,
                                          /*AllBits=*/false);
    std::printf("bit flips: %llu cases, %llu detected, %llu harmless, %llu failures\n",
                (unsigned long long)Counts.Cases, (unsigned long long)Counts.Detected,
                (unsigned long long)Counts.Harmless, (unsigned long long)Counts.Failures);
    EXPECT_EQ(Counts.Cases, RegionBytes(Package.Bytes));
    ExpectNoFailure(Counts);
    // Every byte of these regions is covered by a CRC or compared outright.
    EXPECT_EQ(Counts.Harmless, 0u);
}

TEST(DamageSweep, NoCutIsAccepted) {
    TSmallPackage Package;
    TSweepCounts Counts =
        RunTruncationSweep(Package.Bytes, Package.Program, /*SampleStep=*/61);
    ExpectNoFailure(Counts);
    EXPECT_EQ(Counts.Harmless, 0u);
    // Every chunk boundary twice over, plus the sample.
    EXPECT_GT(Counts.Cases, 2 * Package.Bytes.size() / 61);
}

// A stored folder: an executable (stored call-transformed) and data over more than one chunk.
std::vector<TTreeSourceEntry> SweepFolder() {
    std::vector<TTreeSourceEntry> Folder(3);
    Folder[0].Path = "bin";
    Folder[0].IsFolder = true;
    Folder[1].Path = "bin/app.exe";
    Folder[1].Data = "MZ" + SweepProgram(3000, 11);
    Folder[2].Path = "data.bin";
    Folder[2].Data = SweepProgram(6000, 5);
    Folder[2].Attributes = 0x21;
    Folder[2].WriteTime = 132000000000000000ull;
    return Folder;
}

// Every byte of the stored folder lies under the reader's checks: a flip anywhere is found when
// the setup program reads the folder, though the loader itself never reads it.
TEST(DamageSweep, StoredFolderFlipsAreDetected) {
    TSmallPackage Package(2000, 3, SweepFolder());
    const std::vector<TSweepRegion> Regions = FindSweepRegions(Package.Bytes);
    ASSERT_EQ(Regions.size(), 5u);
    EXPECT_EQ(Regions[3].Name, "stored folder");
    EXPECT_EQ(Regions[3].Offset, Regions[2].Offset + Regions[2].Size);
    EXPECT_EQ(Regions[4].Offset, Regions[3].Offset + Regions[3].Size);
    EXPECT_GT(Regions[3].Size, 4096u + 100);

    const std::string Folder = StoredFolderOfPackage(Package.Bytes);
    EXPECT_NE(Folder.find("app.exe /quiet\nbin\n"), std::string::npos);
    EXPECT_NE(Folder.find(SweepProgram(6000, 5)), std::string::npos);
    EXPECT_EQ(StoredFolderOfPackage(TSmallPackage(6000).Bytes), "");

    TSweepCounts Counts = RunBitFlipSweep(Package.Bytes, Package.Program, /*AllBits=*/false);
    EXPECT_EQ(Counts.Cases, RegionBytes(Package.Bytes));
    ExpectNoFailure(Counts);
    EXPECT_EQ(Counts.Harmless, 0u);

    // What finds them is the folder's read: without it a flip there passes as harmless.
    std::string Damaged = Package.Bytes;
    Damaged[static_cast<size_t>(Regions[3].Offset + Regions[3].Size / 2)] ^= 0x10;
    EXPECT_EQ(CheckPackageCase(Damaged, Package.Program).Outcome, TCaseOutcome::Harmless);
    EXPECT_EQ(CheckPackageCase(Damaged, Package.Program, Folder).Outcome, TCaseOutcome::Detected);
    // And a folder read back other than the reference is a failure.
    std::string Other = Folder;
    Other.back() ^= 1;
    const TCaseResult Result = CheckPackageCase(Package.Bytes, Package.Program, Other);
    EXPECT_EQ(Result.Outcome, TCaseOutcome::Failure);
    EXPECT_NE(Result.Detail.find("stored folder"), std::string::npos) << Result.Detail;
}

// The sorting itself: acceptance with other program bytes is a failure, not harmless.
TEST(DamageSweep, AcceptedPackageWithOtherProgramIsAFailure) {
    TSmallPackage Package;
    EXPECT_EQ(CheckPackageCase(Package.Bytes, Package.Program).Outcome,
              TCaseOutcome::Harmless);
    std::string Other = Package.Program;
    Other[Other.size() / 2] ^= 1;
    const TCaseResult Result = CheckPackageCase(Package.Bytes, Other);
    EXPECT_EQ(Result.Outcome, TCaseOutcome::Failure);
    EXPECT_NE(Result.Detail.find("different program bytes"), std::string::npos) << Result.Detail;
    EXPECT_EQ(CheckPackageCase(Package.Bytes, Other.substr(1)).Outcome,
              TCaseOutcome::Failure);
}

TEST(DamageSweep, ToolReportsCountsAndExitsCleanly) {
    TSmallPackage Package(5000);
    WriteFileBytes(Package.Dir / "p.exe", Package.Bytes);
    WriteFileBytes(Package.Dir / "prog.bin", Package.Program);
    const std::string Out = Package.Dir / "out.txt";
    const std::string Common =
        std::string(DAMAGE_SWEEP_EXE) + " '" + (Package.Dir / "p.exe") + "' --program '";
    const std::string Command =
        Common + (Package.Dir / "prog.bin") + "' --sample 211 > '" + Out + "'";
    EXPECT_EQ(std::system(Command.c_str()), 0);
    const std::string Text = ReadFileBytes(Out);
    EXPECT_NE(Text.find("bit flips (one bit per byte): "), std::string::npos) << Text;
    EXPECT_NE(Text.find("truncations: "), std::string::npos) << Text;
    EXPECT_EQ(Text.find("FAILURE"), std::string::npos) << Text;

    // A package whose program is not the one given: exit 2 before any case runs.
    std::string Other = Package.Program;
    Other[0] ^= 1;
    WriteFileBytes(Package.Dir / "other.bin", Other);
    const std::string Wrong = Common + (Package.Dir / "other.bin") + "' 2>/dev/null >/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(Wrong.c_str())), 2);
}

} // namespace
