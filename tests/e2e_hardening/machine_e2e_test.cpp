// The machine around the loader, run for real under Wine: who may look into its temporary
// folder, a temporary base that is full, read-only or watched by a scanner that takes the
// extracted program away (with_tmpfs.sh mounts a tmpfs as that base), many copies started at
// once in one temporary base, many runs in a row, and what the system reads from the manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include "records/messages.h"
#include "tests/e2e/folder_readers.h"
#include "tests/e2e/harness.h"
#include "tests/e2e_hardening/hardening_cases.h"

namespace {

std::vector<std::string> SplitList(const std::string &List) {
    std::vector<std::string> Items;
    for (size_t Start = 0; Start < List.size();) {
        size_t End = List.find(',', Start);
        if (End == std::string::npos)
            End = List.size();
        Items.push_back(List.substr(Start, End - Start));
        Start = End + 1;
    }
    return Items;
}

// The folder the setup program ran from ("is-XXXXX.tmp"), from the module path it reported.
std::string RunFolderOf(const TLoaderResult &Result) {
    const std::string Module = ReportValue(Result.ChildReport, "module");
    const size_t End = Module.rfind('\\');
    const size_t Start = End == std::string::npos ? End : Module.rfind('\\', End - 1);
    return Start == std::string::npos ? std::string() : Module.substr(Start + 1, End - Start - 1);
}

TLoaderRun GoodRunIn(const std::string &Base) {
    TLoaderRun Run = RunOf(HardeningCases() + "good.exe");
    Run.Environment = {{"TMP", Base}, {"TEMP", Base}};
    return Run;
}

// --- Who may look into the temporary folder --------------------------------------------------

// A folder made with the system's default security in the same base is open to everyone (under
// Wine: mode 755 from the usual umask); the run's folder grants no one but SYSTEM, the
// Administrators and the user the loader runs as (under Wine: nothing for others).
TEST(PrivateTemp, OnlySystemAdministratorsAndTheUserMayListTheRunFolder) {
    const std::string Base = PrepareWorkDirectory("private-base") + "tmp";
    const std::string Plain = Base + "\\plain";
    ASSERT_TRUE(::CreateDirectoryA(Plain.c_str(), /*SecurityAttributes=*/nullptr));
    const std::vector<std::string> PlainReaders = SplitList(FolderReaders(Plain));
    EXPECT_EQ(std::count(PlainReaders.begin(), PlainReaders.end(), "S-1-1-0"), 1)
        << "a folder made without a descriptor is not open to everyone here, so the run's "
           "folder shows nothing";

    TLoaderRun Run = GoodRunIn(Base);
    Run.Environment.push_back({"QUOV_E2E_READERS", "1"});
    const TLoaderResult Result = RunLoader("private", Run);
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 0u);
    const std::string User = ProcessUserSid();
    ASSERT_FALSE(User.empty());
    const std::vector<std::string> Readers = SplitList(ReportValue(Result.ChildReport, "readers"));
    const std::set<std::string> Allowed = {"S-1-5-18", "S-1-5-32-544", User};
    for (const std::string &Reader : Readers)
        EXPECT_EQ(Allowed.count(Reader), 1u) << Reader << " may list the run's folder";
    EXPECT_EQ(std::count(Readers.begin(), Readers.end(), User), 1) << "the user lost access";
    EXPECT_EQ(ListDirectory(Base + "\\"), std::vector<std::string>{"plain"});
}

// --- A failing temporary base (run by with_tmpfs.sh) ------------------------------------------

// The tmpfs that with_tmpfs.sh mounted for this process (Windows path, no trailing separator),
// or empty when it was started for another mode or without the script.
std::string TmpfsFor(const char *Mode) {
    const char *Given = std::getenv("QUOV_TMPFS");
    return Given && std::string(Given) == Mode ? TestProgramDirectory() + "tmpfs" : std::string();
}

#define REQUIRE_TMPFS(Mode, Base)                                                                  \
    const std::string Base = TmpfsFor(Mode);                                                       \
    if (Base.empty())                                                                              \
        GTEST_SKIP() << "runs under with_tmpfs.sh " Mode " (ctest -R e2e_tmpfs_" Mode ")";

void ExpectOneErrorBoxAndNothingLeft(const TLoaderResult &Result, const std::string &Base,
                                     const std::string &Text) {
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 1u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption, EnglishMessage("ErrorCaption"));
    EXPECT_EQ(Result.Boxes[0].Text, Text);
    EXPECT_TRUE(Result.ChildReport.empty()) << "the setup program ran";
    EXPECT_EQ(ListDirectory(Base + "\\"), std::vector<std::string>{});
}

// A 256 KiB tmpfs cannot hold the setup program (over 600 KB): the partial file and the folder
// go, and the box names the system's disk-full error.
TEST(FailingTmp, FullWhileTheProgramIsWritten) {
    REQUIRE_TMPFS("full", Base);
    const TLoaderResult Result = RunLoader("tmpfs-full", GoodRunIn(Base));
    ExpectOneErrorBoxAndNothingLeft(
        Result, Base, EnglishSystemErrorBox(EnglishMessage("TempFileFailed"), ERROR_DISK_FULL));
}

// The folder's creation fails with whatever the system says about a read-only file system.
TEST(FailingTmp, ReadOnlyBaseRefusesTheFolder) {
    REQUIRE_TMPFS("readonly", Base);
    ASSERT_FALSE(::CreateDirectoryA((Base + "\\probe").c_str(), nullptr));
    const DWORD Code = ::GetLastError();
    const TLoaderResult Result = RunLoader("tmpfs-readonly", GoodRunIn(Base));
    ASSERT_EQ(Result.Boxes.size(), 1u);
    // The folder's name is random: take it from the box and check it is a run folder here.
    const std::string &Text = Result.Boxes[0].Text;
    const size_t Open = Text.find('"'), Close = Text.find('"', Open + 1);
    ASSERT_NE(Close, std::string::npos) << Text;
    const std::string Dir = Text.substr(Open + 1, Close - Open - 1);
    EXPECT_EQ(Dir.size(), Base.size() + 13) << Dir;
    EXPECT_EQ(Dir.compare(0, Base.size() + 4, Base + "\\is-"), 0) << Dir;
    ExpectOneErrorBoxAndNothingLeft(
        Result, Base,
        EnglishSystemErrorBox(FormatPattern(EnglishMessage("CreateDirFailed").c_str(), &Dir, 1),
                              Code));
}

// The scanner of with_tmpfs.sh deletes every file the moment it is closed after writing, before
// the loader starts it: the start fails with "file not found" and the folder goes as usual. The
// scanner races the loader; a run it lost (the setup program ran) is tried again.
TEST(FailingTmp, ProgramTakenByAScannerBeforeItStarts) {
    REQUIRE_TMPFS("quarantine", Base);
    TLoaderResult Result;
    for (int Attempt = 1; Attempt <= 3; ++Attempt) {
        Result = RunLoader("tmpfs-quarantine", GoodRunIn(Base));
        if (Result.ChildReport.empty())
            break;
        std::printf("attempt %d: the scanner was too slow, the setup program ran\n", Attempt);
        std::fflush(stdout);
    }
    ExpectOneErrorBoxAndNothingLeft(
        Result, Base,
        EnglishSystemErrorBox(EnglishMessage("ChildStartFailed"), ERROR_FILE_NOT_FOUND));
}

// --- Many at once, many in a row -------------------------------------------------------------

// Sixteen copies started together in one base; each setup program waits until all sixteen run,
// so that all their folders exist at the same time. Loaders started in the same millisecond draw
// the same names and meet in the unique-name loop.
TEST(ManyRuns, SixteenAtOnceInOneBase) {
    constexpr int Copies = 16;
    const std::string Base = PrepareWorkDirectory("concurrent-base") + "tmp";
    const std::string Gather = "QuovConcurrentRuns" + std::to_string(::GetCurrentProcessId());
    HANDLE Arrived = ::CreateSemaphoreA(nullptr, 0, Copies, Gather.c_str());
    HANDLE Go = ::CreateEventA(nullptr, /*ManualReset=*/TRUE, FALSE, (Gather + ".go").c_str());
    HANDLE Start = ::CreateEventA(nullptr, /*ManualReset=*/TRUE, FALSE, nullptr);
    ASSERT_TRUE(Arrived && Go && Start);
    std::vector<TLoaderResult> Results(Copies);
    std::vector<std::thread> Threads;
    for (int I = 0; I < Copies; ++I)
        Threads.emplace_back([&, I] {
            TLoaderRun Run = GoodRunIn(Base);
            Run.Environment.push_back({"QUOV_E2E_GATHER", Gather});
            Run.Environment.push_back({"QUOV_E2E_EXIT", std::to_string(100 + I)});
            Run.TimeoutMs = 120000;
            ::WaitForSingleObject(Start, INFINITE);
            Results[I] = RunLoader("concurrent-" + std::to_string(I), Run);
        });
    ::SetEvent(Start);
    int Gathered = 0;
    while (Gathered < Copies && ::WaitForSingleObject(Arrived, 90000) == WAIT_OBJECT_0)
        ++Gathered;
    ::SetEvent(Go);
    for (std::thread &Thread : Threads)
        Thread.join();
    EXPECT_EQ(Gathered, Copies);
    std::set<std::string> Folders;
    for (int I = 0; I < Copies; ++I) {
        SCOPED_TRACE("copy " + std::to_string(I));
        ASSERT_TRUE(Results[I].Finished);
        EXPECT_EQ(Results[I].ExitCode, static_cast<DWORD>(100 + I));
        EXPECT_TRUE(Results[I].Boxes.empty());
        EXPECT_EQ(ReportValue(Results[I].ChildReport, "gathered"), "yes");
        Folders.insert(RunFolderOf(Results[I]));
    }
    EXPECT_EQ(Folders.size(), static_cast<size_t>(Copies)) << "runs shared a folder";
    EXPECT_EQ(ListDirectory(Base + "\\"), std::vector<std::string>{});
    for (HANDLE Handle : {Arrived, Go, Start})
        ::CloseHandle(Handle);
}

// QUOV_SOAK_RUNS runs (30 unless set) in one base. The loader's handle count and private bytes,
// taken by the setup program at its end, must not grow: the middle figures of the last tenth of
// the runs stay within those of the first tenth (the private bytes move by a page or two between
// runs, now and then by ten).
TEST(ManyRuns, RunsInARowLeaveNothingAndDoNotGrow) {
    const char *Given = std::getenv("QUOV_SOAK_RUNS");
    const int Runs = Given ? std::atoi(Given) : 30;
    ASSERT_GE(Runs, 10);
    const std::string Base = PrepareWorkDirectory("soak-base") + "tmp";
    std::vector<long> Handles, Memory;
    for (int I = 0; I < Runs; ++I) {
        SCOPED_TRACE("run " + std::to_string(I));
        TLoaderRun Run = GoodRunIn(Base);
        Run.Environment.push_back({"QUOV_E2E_LOADERSTATS", "1"});
        const TLoaderResult Result = RunLoader("soak", Run);
        ASSERT_TRUE(Result.Finished);
        ASSERT_EQ(Result.ExitCode, 0u);
        ASSERT_TRUE(Result.Boxes.empty());
        ASSERT_EQ(ListDirectory(Base + "\\"), std::vector<std::string>{});
        const long Held = std::atol(ReportValue(Result.ChildReport, "loaderhandles").c_str());
        const long Private = std::atol(ReportValue(Result.ChildReport, "loadermemory").c_str());
        ASSERT_GT(Held, 0) << Result.ChildReport;
        ASSERT_GT(Private, 0) << Result.ChildReport;
        Handles.push_back(Held);
        Memory.push_back(Private);
        std::printf("run %d: %ld handles, %ld private bytes\n", I, Held, Private);
    }
    const size_t Tenth = Runs / 10;
    const auto Median = [](std::vector<long>::const_iterator From, size_t Count) {
        std::vector<long> Stretch(From, From + Count);
        std::nth_element(Stretch.begin(), Stretch.begin() + Count / 2, Stretch.end());
        return Stretch[Count / 2];
    };
    EXPECT_LE(Median(Handles.end() - Tenth, Tenth), Median(Handles.begin(), Tenth));
    constexpr long MemorySlack = 8 * 4096;
    EXPECT_LE(Median(Memory.end() - Tenth, Tenth), Median(Memory.begin(), Tenth) + MemorySlack);
    std::printf("%d runs: loader handles %ld .. %ld, private bytes %ld .. %ld (first, last)\n",
                Runs, Handles.front(), Handles.back(), Memory.front(), Memory.back());
}

// --- Declared compatibility ------------------------------------------------------------------

// The system reads the installer's manifest as supporting Windows Vista, 7, 8, 8.1 and 10/11.
TEST(Manifest, DeclaresVistaToElevenAsSupported) {
    ACTCTXA Context = {};
    Context.cbSize = sizeof(Context);
    Context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    const std::string Installer = HardeningCases() + "good.exe";
    Context.lpSource = Installer.c_str();
    Context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE Handle = ::CreateActCtxA(&Context);
    ASSERT_NE(Handle, INVALID_HANDLE_VALUE);
    struct { // the system's layout: a count, then per entry a GUID, its kind and a version
        DWORD Count;
        struct {
            GUID Id;
            DWORD Type; // 1: a supported system
            ULONGLONG MaxVersionTested;
        } Elements[8];
    } Info = {};
    SIZE_T Size = 0;
    ASSERT_TRUE(::QueryActCtxW(0, Handle, nullptr, CompatibilityInformationInActivationContext,
                               &Info, sizeof(Info), &Size));
    ::ReleaseActCtx(Handle);
    std::set<std::string> Systems;
    for (DWORD I = 0; I < Info.Count && I < 8; ++I) {
        EXPECT_EQ(Info.Elements[I].Type, 1u);
        char Text[16];
        std::snprintf(Text, sizeof(Text), "%08lx", Info.Elements[I].Id.Data1);
        Systems.insert(Text);
    }
    // The first part of each system's GUID.
    const std::set<std::string> Expected = {"e2011457", "35138b9a", "4a2f28e3", "1f676c76",
                                            "8e0f7a12"};
    EXPECT_EQ(Systems, Expected);
}

} // namespace
