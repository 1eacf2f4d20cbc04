// Installers, temporary folders and passed parameters that code page 1252 cannot hold (run with
// an English locale): the loader works through the short forms of the names and passes the
// parameters on in UTF-16. Started through the wide functions with a Unicode environment, as
// Explorer starts a program.
#include <algorithm>

#include <gtest/gtest.h>

#include "setupdata/crc32.h"
#include "support/path.h"
#include "tests/e2e/case_texts.h"
#include "tests/e2e/harness.h"

namespace {

const std::wstring Ivan = L"\u0418\u0432\u0430\u043d"; // a Cyrillic user name
const std::wstring GoodPackage = WidenAnsi(CasesDirectory() + "good.exe");

// The path of the extracted program as the loader started it: the first, quoted part of the
// setup program's command line (Wine tells a program its own name in the long form).
std::string StartedProgramPath(const TLoaderResult &Result) {
    std::string CommandLine = ReportValue(Result.ChildReport, "cmdline");
    size_t End = CommandLine.find('"', 1);
    return End == std::string::npos ? std::string() : CommandLine.substr(1, End - 1);
}

// Runs to the given exit code with nothing left in the harness's TMP. The path /SL5= hands on
// names the installer, holds nothing the code page lost, and the setup program read the
// installer's bytes through it; the extracted program is named after it.
TLoaderResult RunToExitCode(const char *CaseName, TLoaderRun Run, DWORD ExitCode) {
    Run.Environment = {{"QUOV_E2E_EXIT", std::to_string(ExitCode)}, {"QUOV_E2E_CHECKDATA", "1"}};
    TLoaderResult Result = RunLoader(CaseName, Run);
    EXPECT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, ExitCode);
    EXPECT_TRUE(Result.TempLeftovers.empty());
    std::string Given = GivenLoaderPath(Result.ChildReport);
    EXPECT_EQ(Given.find('?'), std::string::npos) << Given;
    EXPECT_TRUE(LongPathOf(Given) == Run.WideLoaderPath) << Given;
    std::string Bytes = ReadWholeFile(CasesDirectory() + "good.exe");
    EXPECT_EQ(ReportValue(Result.ChildReport, "loaderfile"),
              std::to_string(Bytes.size()) + " bytes, CRC-32 " +
                  std::to_string(ComputeCrc32(Bytes.data(), Bytes.size())));
    EXPECT_EQ(FileNamePart(StartedProgramPath(Result)),
              ReplaceExtension(FileNamePart(Given), ".tmp"));
    return Result;
}

} // namespace

TEST(UnicodePath, InstallerNamedOutsideTheCodePage) {
    ASSERT_EQ(::GetACP(), 1252u) << "run this group with LC_ALL=en_US.UTF-8";
    struct {
        const char *Case;
        std::wstring Name; // below the case's folder
        const char *Parameters;
        size_t Boxes; // the startup prompt, or none
    } const Cases[] = {
        {"cyrillic_folder", Ivan + L"\\setup.exe", "", 1},
        {"chinese_name", L"\u5b89\u88c5.exe", "/SP-", 0},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Case);
        TLoaderRun Run;
        Run.WideLoaderPath =
            WidenAnsi(PrepareWorkDirectory(C.Case + std::string("-file"))) + C.Name;
        ::CreateDirectoryW(Run.WideLoaderPath.substr(0, Run.WideLoaderPath.rfind(L'\\')).c_str(),
                           nullptr);
        ASSERT_TRUE(::CopyFileW(GoodPackage.c_str(), Run.WideLoaderPath.c_str(), FALSE));
        Run.Parameters = C.Parameters;
        Run.Answers = {IDYES};
        TLoaderResult Result = RunToExitCode(C.Case, Run, 4);
        ASSERT_EQ(Result.Boxes.size(), C.Boxes);
        if (C.Boxes) {
            EXPECT_EQ(Result.Boxes[0].Text, E2E::PromptText(E2E::English));
        }
    }
}

TEST(UnicodePath, TempFolderInsideCyrillicFolder) {
    ASSERT_EQ(::GetACP(), 1252u) << "run this group with LC_ALL=en_US.UTF-8";
    // Only TMP names the Cyrillic folder; TEMP is the harness's folder, the fallback.
    const std::wstring TempFolder = WidenAnsi(PrepareWorkDirectory("cyrillic_tmp-dir")) + Ivan;
    ASSERT_TRUE(::CreateDirectoryW(TempFolder.c_str(), nullptr));
    TLoaderRun Run;
    Run.WideLoaderPath = GoodPackage;
    Run.WideEnvironment = {{L"TMP", TempFolder}};
    Run.Answers = {IDYES};
    TLoaderResult Result = RunToExitCode("cyrillic_tmp", Run, 3);
    EXPECT_EQ(Result.Boxes.size(), 1u);

    // The loader started <TMP>\is-XXXXX.tmp\good.tmp, <TMP> in its short form.
    std::string Started = StartedProgramPath(Result);
    std::string RunFolder = Started.substr(0, static_cast<size_t>(DirPrefixLength(Started, false)));
    std::string Base = RunFolder.substr(0, static_cast<size_t>(DirPrefixLength(RunFolder, false)));
    EXPECT_EQ(FileNamePart(RunFolder).compare(0, 3, "is-"), 0) << Started;
    EXPECT_TRUE(LongPathOf(Base) == TempFolder) << Started;
    EXPECT_TRUE(ListDirectory(EnsureTrailingSeparator(Base)).empty()) << "left behind in TMP";
}

TEST(UnicodePath, PassedParametersOutsideTheCodePage) {
    ASSERT_EQ(::GetACP(), 1252u) << "run this group with LC_ALL=en_US.UTF-8";
    struct {
        const char *Case;
        std::wstring Parameters;
        std::string Read;    // by the library, in UTF-8
        std::string LineEnd; // of the ANSI line, which stays as it was; empty: not checked
    } const Cases[] = {
        {"cyrillic_dir", L"/SP- \"/DIR=C:\\\u041f\u0440\u043e\u0433 \u5b89\"  \"\" /Q",
         u8"[/SP-][/DIR=C:\\\u041f\u0440\u043e\u0433 \u5b89][][/Q]", ""},
        {"latin_dir", L"/SP- /DIR=\"C:\\Caf\u00e9\" \"\"", u8"[/SP-][/DIR=C:\\Caf\u00e9][]",
         "\" /SP- /DIR=\"C:\\Caf\xe9\" \"\""},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Case);
        TLoaderRun Run;
        Run.WideLoaderPath = GoodPackage;
        Run.WideParameters = C.Parameters;
        const TLoaderResult Result = RunToExitCode(C.Case, Run, 6);
        EXPECT_TRUE(Result.Boxes.empty());
        EXPECT_EQ(ReportValue(Result.ChildReport, "parameters"), C.Read);
        const std::string Line = ReportValue(Result.ChildReport, "cmdline");
        EXPECT_EQ(Line.substr(Line.size() - std::min(Line.size(), C.LineEnd.size())), C.LineEnd);
    }
}
