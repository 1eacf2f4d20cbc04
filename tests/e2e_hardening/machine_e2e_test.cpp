// The machine around the loader, run for real under Wine: who may look into its temporary
// folder, and what the system reads from its manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

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
