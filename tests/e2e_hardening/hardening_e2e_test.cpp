// The loader in a hostile environment, run for real under Wine: libraries planted beside it,
// temporary-directory variables that point at files, missing or relative paths, stale names
// of earlier runs, a setup program that keeps its own file locked, damaged files, and a
// package signed after packing. Every run must end as the failure table says and leave its
// temporary directory clean (or, for the locked file, silently left behind).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "setupdata/block_format.h"
#include "setupdata/crc32.h"
#include "setupdata/offset_table.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "support/error_text.h"
#include "support/exceptions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e_hardening/hardening_cases.h"

namespace {

bool IsDirectory(const std::string &Path) {
    const DWORD Attributes = ::GetFileAttributesA(Path.c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool StartsWithNoCase(const std::string &S, const std::string &Prefix) {
    if (S.size() < Prefix.size())
        return false;
    for (size_t I = 0; I < Prefix.size(); ++I)
        if (std::toupper(static_cast<unsigned char>(S[I])) !=
            std::toupper(static_cast<unsigned char>(Prefix[I])))
            return false;
    return true;
}

void ExpectCleanSuccess(const TLoaderResult &Result) {
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 0u);
    EXPECT_TRUE(Result.Boxes.empty());
    EXPECT_FALSE(Result.ChildReport.empty()) << "the setup program did not run";
}

// --- Libraries planted beside the loader --------------------------------------------------

// Names of libraries that the loader, or the system's libraries on its behalf, load by name
// while it runs. Wine prefers its own built-in copies; the override makes it take a file found
// on the search path first, as Windows would for a library that is not a known DLL. Wine takes
// WINEDLLOVERRIDES from the environment its processes start with: the CTest entry sets it
// (version.dll is left to Wine: its built-in libraries import it while the process starts).
const char *const PlantedNames[] = {"shell32", "uxtheme", "dwmapi", "cryptbase", "comctl32",
                                    "version", "propsys", "winmm",  "userenv",   "msimg32"};

std::string PlantDirectory(const std::string &Name, const std::string &Program) {
    const std::string Dir = PrepareWorkDirectory(Name + "-dir");
    for (const char *Planted : PlantedNames)
        EXPECT_TRUE(::CopyFileA((TestProgramDirectory() + "planted.dll").c_str(),
                                (Dir + Planted + ".dll").c_str(), FALSE));
    EXPECT_TRUE(::CopyFileA(Program.c_str(), (Dir + "setup.exe").c_str(), FALSE));
    return Dir;
}

// The planted library is really picked up where nothing restricts the search, so that its
// absence from the loader's run means something.
TEST(DllPlanting, ProbeLoadsPlantedLibraryOnlyWithoutRestriction) {
    for (const char *Mode : {"open", "restricted"}) {
        SCOPED_TRACE(Mode);
        const std::string Dir = PlantDirectory(
            std::string("probe-") + Mode, TestProgramDirectory() + "e2e_hardening_dll_probe.exe");
        TLoaderRun Run = RunOf(Dir + "setup.exe");
        Run.Parameters = std::string(Mode) + " shell32.dll";
        Run.Environment = {{"QUOV_PLANT_MARKER", Dir + "marker.txt"}};
        TLoaderResult Result = RunLoader(std::string("probe-") + Mode, Run);
        ASSERT_TRUE(Result.Finished);
        EXPECT_EQ(Result.ExitCode, 0u);
        const std::string Marker = ReadWholeFile(Dir + "marker.txt");
        if (std::string(Mode) == "open")
            EXPECT_NE(Marker.find("shell32.dll"), std::string::npos);
        else
            EXPECT_EQ(Marker, "");
    }
}

TEST(DllPlanting, LoaderLoadsNoPlantedLibrary) {
    const std::string Dir = PlantDirectory("planted", HardeningCases() + "good.exe");
    TLoaderRun Run = RunOf(Dir + "setup.exe");
    Run.Environment = {{"QUOV_PLANT_MARKER", Dir + "marker.txt"}};
    TLoaderResult Result = RunLoader("planted", Run);
    ExpectCleanSuccess(Result);
    EXPECT_TRUE(Result.TempLeftovers.empty());
    EXPECT_EQ(ReadWholeFile(Dir + "marker.txt"), "") << "a planted library was loaded";
}

// --- The temporary base directory -----------------------------------------------------------

TEST(TempBase, FallsBackPastFilesMissingAndRelativePathsAndLeavesItClean) {
    const std::string Work = PrepareWorkDirectory("tempbase-dirs");
    const std::string Fallback = Work + "fallback";
    ::CreateDirectoryA(Fallback.c_str(), nullptr);
    ::CreateDirectoryA((Work + "reltmp").c_str(), nullptr);
    WriteWholeFile(Work + "afile", "not a directory");

    struct TCase {
        const char *Name;
        std::string Tmp, Temp, ExpectedBase;
        bool FromWork; // the loader starts in Work, so that a relative TMP means Work's child
    };
    const TCase Cases[] = {
        {"tmp-is-a-file", Work + "afile", Fallback, Fallback, false},
        {"tmp-is-missing", Work + "missing", Fallback, Fallback, false},
        {"tmp-with-trailing-separator", Fallback + "\\", Work + "missing", Fallback, false},
        {"tmp-is-relative", "reltmp", Work + "missing", Work + "reltmp", true},
    };
    char Previous[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof(Previous), Previous);
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TLoaderRun Run = RunOf(HardeningCases() + "good.exe");
        Run.Environment = {{"TMP", Case.Tmp}, {"TEMP", Case.Temp}};
        if (Case.FromWork)
            ::SetCurrentDirectoryA(Work.c_str());
        TLoaderResult Result = RunLoader(Case.Name, Run);
        ::SetCurrentDirectoryA(Previous);
        ExpectCleanSuccess(Result);
        const std::string Module = ReportValue(Result.ChildReport, "module");
        EXPECT_TRUE(StartsWithNoCase(Module, Case.ExpectedBase + "\\is-")) << Module;
        EXPECT_TRUE(ListDirectory(Case.ExpectedBase + "\\").empty());
    }
    EXPECT_EQ(ReadWholeFile(Work + "afile"), "not a directory");
}

// Directories and files of earlier runs are never reused or removed; the names cannot all be
// taken (the start is random), so a run among them must pick a free one and leave them alone.
TEST(TempBase, StaleNamesOfEarlierRunsStayUntouched) {
    const std::string Base = PrepareWorkDirectory("stale-base") + "base\\";
    ::CreateDirectoryA(Base.c_str(), nullptr);
    std::vector<std::string> Stale;
    const char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    for (int I = 0; I < 64; ++I) {
        // The lowest and the highest names: the wrap from VVVVV to 00000 among them.
        const std::string Name =
            std::string(I < 32 ? "is-0000" : "is-VVVV") + Digits[I % 32] + ".tmp";
        if (I % 2 == 0) {
            ::CreateDirectoryA((Base + Name).c_str(), nullptr);
            WriteWholeFile(Base + Name + "\\keep.txt", "earlier run");
        } else {
            WriteWholeFile(Base + Name, "earlier run");
        }
        Stale.push_back(Name);
    }
    std::sort(Stale.begin(), Stale.end());
    TLoaderRun Run = RunOf(HardeningCases() + "good.exe");
    Run.Environment = {{"TMP", Base}, {"TEMP", Base}};
    TLoaderResult Result = RunLoader("stale", Run);
    ExpectCleanSuccess(Result);
    EXPECT_EQ(ListDirectory(Base), Stale);
    for (const std::string &Name : Stale) {
        const std::string Kept =
            IsDirectory(Base + Name) ? Base + Name + "\\keep.txt" : Base + Name;
        EXPECT_EQ(ReadWholeFile(Kept), "earlier run") << Name;
    }
}

// --- Cleanup after failures -----------------------------------------------------------------

TEST(Cleanup, LockedExtractedFileIsLeftSilentlyAfterTheRetries) {
    TLoaderRun Run = RunOf(HardeningCases() + "locking.exe");
    const DWORD Started = ::GetTickCount();
    TLoaderResult Result = RunLoader("locked", Run);
    const DWORD Elapsed = ::GetTickCount() - Started;
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 7u) << "the setup program's code passes through";
    EXPECT_TRUE(Result.Boxes.empty());
    // 13 attempts wait 50 ms once and 250 ms eleven times before giving up.
    EXPECT_GE(Elapsed, 2800u);
    ASSERT_EQ(Result.TempLeftovers.size(), 1u);
    const std::string Dir =
        TestProgramDirectory() + "runs\\locked\\tmp\\" + Result.TempLeftovers[0] + "\\";
    EXPECT_EQ(ListDirectory(Dir), std::vector<std::string>{"locking.tmp"});
    // Once the holder has gone the leftovers can be removed.
    for (int Attempt = 0; Attempt < 100 && !::DeleteFileA((Dir + "locking.tmp").c_str()); ++Attempt)
        ::Sleep(200);
    EXPECT_TRUE(::RemoveDirectoryA(Dir.c_str()));
}

TEST(Cleanup, StartFailureLeavesTmpEmpty) {
    TLoaderResult Result =
        RunLoader("start-failure", RunOf(HardeningCases() + "not_a_program.exe"));
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 1u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption, EnglishMessage("ErrorCaption"));
    EXPECT_TRUE(Result.TempLeftovers.empty());
}

// --- Damaged files through the real loader ---------------------------------------------------

enum class TExpectedBox { BuiltInCorrupt, LanguageCorrupt, FileError };

struct TDamage {
    std::string Name;
    std::string Bytes;
    TExpectedBox Box;
};

// A sample of the damage sweep's cases: bits flipped in the table, the setup-data signature,
// the records block and the program block, and cuts of the file.
std::vector<TDamage> DamageSample(const TPackageBytes &Good) {
    std::vector<TDamage> Sample;
    const TLoaderOffsetTable Table = Good.Table();
    auto Flip = [&](const char *Region, size_t Base, size_t Offset, TExpectedBox Box) {
        TDamage D{std::string(Region) + "_" + std::to_string(Offset), Good.Bytes, Box};
        D.Bytes[Base + Offset] ^= static_cast<char>(1 << (Offset % 8));
        Sample.push_back(D);
    };
    for (size_t Offset : {0, 6, 12, 16, 20, 24, 28, 33, 36, 40, 43})
        Flip("table", Good.TableOffset, Offset, TExpectedBox::BuiltInCorrupt);
    for (size_t Offset : {0, 31, 63})
        Flip("signature", Table.SetupDataOffset, Offset, TExpectedBox::BuiltInCorrupt);
    const size_t Records = Table.SetupDataOffset + 64;
    const size_t RecordsSize =
        BlockHeaderSize + LoadLe32(&Good.Bytes[Records + BlockStoredSizeOffset]);
    for (size_t Offset : {size_t(0), size_t(4), size_t(8), size_t(11), size_t(13), RecordsSize / 2,
                          RecordsSize - 1})
        Flip("records", Records, Offset, TExpectedBox::BuiltInCorrupt);
    const size_t Program = Table.SetupProgramOffset;
    const size_t ProgramSize =
        BlockHeaderSize + LoadLe32(&Good.Bytes[Program + BlockStoredSizeOffset]);
    for (size_t Offset : {size_t(0), size_t(5), size_t(8), size_t(10), size_t(13), size_t(4200),
                          ProgramSize / 3, ProgramSize / 2, ProgramSize - 2, ProgramSize - 1})
        Flip("program", Program, Offset, TExpectedBox::LanguageCorrupt);
    for (size_t Cut : {size_t(Table.MinFileSize) - 1, Program + BlockHeaderSize, Records + 20})
        Sample.push_back({"cut_" + std::to_string(Cut), Good.Bytes.substr(0, Cut),
                          TExpectedBox::BuiltInCorrupt});
    // The table resealed for a file that ends inside the signature: a short read of the loader's
    // own file, reported as the file error.
    TPackageBytes Short = Good;
    Short.Bytes.resize(Table.SetupDataOffset + 10);
    TLoaderOffsetTable Resealed = Table;
    Resealed.MinFileSize = static_cast<uint32_t>(Short.Bytes.size());
    Short.SetTable(Resealed, /*Reseal=*/true);
    Sample.push_back({"resealed_cut_in_signature", Short.Bytes, TExpectedBox::FileError});
    return Sample;
}

// The loader's image may hold the table's 12 signature bytes elsewhere too (its own constant):
// the table is the occurrence whose checksum holds.
TPackageBytes LoadSealedPackage(const std::string &Path) {
    TPackageBytes Package = LoadPackage(Path);
    const std::string Signature(reinterpret_cast<const char *>(OffsetTableSignature), 12);
    for (size_t At = Package.Bytes.find(Signature);
         At != std::string::npos && At + sizeof(TLoaderOffsetTable) <= Package.Bytes.size();
         At = Package.Bytes.find(Signature, At + 1)) {
        Package.TableOffset = At;
        const TLoaderOffsetTable Table = Package.Table();
        if (ComputeCrc32(&Table, OffsetTableChecksummedBytes) == Table.TableChecksum)
            return Package;
    }
    Package.TableOffset = std::string::npos;
    return Package;
}

TEST(Damaged, SampleShowsTheRightBoxAndLeavesTmpEmpty) {
    const TPackageBytes Good = LoadSealedPackage(HardeningCases() + "good.exe");
    ASSERT_NE(Good.TableOffset, std::string::npos);
    // The packer adds up to 7 zeros behind the recorded length (to a multiple of 8).
    ASSERT_LE(Good.Table().MinFileSize, Good.Bytes.size());
    ASSERT_LT(Good.Bytes.size() - Good.Table().MinFileSize, 8u);
    std::string FileError = SystemErrorText(38);
    if (FileError.empty())
        FileError = FormatWithNumber(FileIoErrorPattern, 38);
    const std::vector<TDamage> Sample = DamageSample(Good);
    EXPECT_GE(Sample.size(), 30u);
    for (const TDamage &Damage : Sample) {
        SCOPED_TRACE(Damage.Name);
        const std::string Path = PrepareWorkDirectory("damaged-file") + "setup.exe";
        WriteWholeFile(Path, Damage.Bytes);
        std::printf("damaged case %s\n", Damage.Name.c_str());
        std::fflush(stdout);
        TLoaderRun Run = RunOf(Path);
        Run.TimeoutMs = 15000;
        TLoaderResult Result = RunLoader("damaged", Run);
        ASSERT_TRUE(Result.Finished);
        EXPECT_EQ(Result.ExitCode, 1u);
        ASSERT_EQ(Result.Boxes.size(), 1u);
        switch (Damage.Box) {
        case TExpectedBox::BuiltInCorrupt:
            EXPECT_EQ(Result.Boxes[0].Caption, DefaultBoxCaption());
            EXPECT_EQ(Result.Boxes[0].Text, ShownCorruptText());
            break;
        case TExpectedBox::LanguageCorrupt:
            EXPECT_EQ(Result.Boxes[0].Caption, EnglishMessage("ErrorCaption"));
            EXPECT_EQ(Result.Boxes[0].Text, TerminateSentence(EnglishMessage("CorruptSetupData")));
            break;
        case TExpectedBox::FileError:
            EXPECT_EQ(Result.Boxes[0].Caption, DefaultBoxCaption());
            EXPECT_EQ(Result.Boxes[0].Text, TerminateSentence(FileError));
            break;
        }
        EXPECT_TRUE(Result.ChildReport.empty()) << "the setup program ran";
        EXPECT_TRUE(Result.TempLeftovers.empty());
    }
}

// --- Signed after packing -------------------------------------------------------------------

TEST(Signed, PackageSignedAfterPackingRuns) {
    const std::string Good = ReadWholeFile(HardeningCases() + "good.exe");
    for (const char *Name : {"signed", "signed_at_pack"}) { // osslsigncode; quovpack --sign-command
        SCOPED_TRACE(Name);
        const std::string Signed = ReadWholeFile(HardeningCases() + Name + ".exe");
        ASSERT_GT(Signed.size(), Good.size()) << "no signature was appended";
        TLoaderResult Result = RunLoader(Name, RunOf(HardeningCases() + Name + ".exe"));
        ExpectCleanSuccess(Result);
        EXPECT_TRUE(Result.TempLeftovers.empty());
    }
}

} // namespace
