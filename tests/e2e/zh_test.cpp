// Runs under a Chinese locale (code page 936, LANGID 0x804): language detection against
// entries of several LANGIDs and code pages, and a loader kept in a directory whose name holds
// double-byte characters, one of them with the trail byte 0x5C.
#include <gtest/gtest.h>

#include "tests/e2e/case_texts.h"
#include "tests/e2e/harness.h"

namespace {

void ExpectSystemIsChinese() {
    ASSERT_EQ(::GetACP(), 936u) << "run this group with LC_ALL=zh_CN.UTF-8";
    ASSERT_EQ(::GetUserDefaultLangID(), 0x804);
}

} // namespace

TEST(ZhCN, DetectionPicksByLanguageAndCodePage) {
    ExpectSystemIsChinese();
    struct {
        const char *Package;
        const E2E::TCaseLanguage *Expected;
    } Cases[] = {
        {"good.exe", &E2E::Chinese},           // user-interface language, exact
        {"detect_locale.exe", &E2E::Chinese},  // user locale, exact
        {"detect_mixed.exe", &E2E::Chinese},   // 0x404 and 0x409 entries before it
        {"detect_primary.exe", &E2E::TraditionalAnyCodePage}, // 0x404 with code page 950 skipped
        {"detect_none.exe", &E2E::Chinese},    // no detection: the first entry
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Package);
        TLoaderRun Run;
        Run.LoaderPath = CasesDirectory() + Case.Package;
        Run.Answers = {IDNO};
        TLoaderResult Result = RunLoader("zh_detect", Run);
        ASSERT_TRUE(Result.Finished);
        EXPECT_EQ(Result.ExitCode, 2u);
        ASSERT_EQ(Result.Boxes.size(), 1u);
        EXPECT_EQ(Result.Boxes[0].Caption, Case.Expected->SetupCaption);
        EXPECT_EQ(Result.Boxes[0].Text, E2E::PromptText(*Case.Expected));
        EXPECT_TRUE(Result.TempLeftovers.empty());
    }
}

TEST(ZhCN, LoaderAndTempInDoubleByteDirectories) {
    ExpectSystemIsChinese();
    // "中文" and a character whose trail byte is 0x5C, for the directory; "安装" and the same
    // character for the file name; "临时" (temporary) for TMP. Code page 936 holds them all: the
    // long names are kept, byte for byte. Started through the wide functions with a Unicode
    // environment, as Explorer starts a program.
    const std::string Directory = "\xd6\xd0\xce\xc4\x81\x5c";
    const std::string Stem = "\xb0\xb2\xd7\xb0\x81\x5c";
    std::string Parent = PrepareWorkDirectory("zh_directory-file") + Directory;
    ASSERT_TRUE(::CreateDirectoryA(Parent.c_str(), nullptr));
    const std::string TempFolder = PrepareWorkDirectory("zh_directory-tmp") + "\xc1\xd9\xca\xb1";
    ASSERT_TRUE(::CreateDirectoryA(TempFolder.c_str(), nullptr));
    TLoaderRun Run;
    Run.LoaderPath = Parent + "\\" + Stem + ".exe";
    ASSERT_TRUE(::CopyFileA((CasesDirectory() + "good.exe").c_str(), Run.LoaderPath.c_str(),
                            FALSE));
    Run.WideLoaderPath = WidenAnsi(Run.LoaderPath);
    Run.WideEnvironment = {{L"TMP", WidenAnsi(TempFolder)}};
    Run.Parameters = "/SP- /Lang=chinese";
    Run.Environment = {{"QUOV_E2E_EXIT", "4"}, {"QUOV_E2E_CHECKDATA", "1"}};
    TLoaderResult Result = RunLoader("zh_directory", Run);
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 4u);
    EXPECT_TRUE(Result.Boxes.empty());
    EXPECT_TRUE(Result.TempLeftovers.empty());
    EXPECT_TRUE(ListDirectory(TempFolder + "\\").empty());

    // The extracted program is <TMP>\is-XXXXX.tmp\<stem>.tmp: the 0x5C trail byte is part of
    // the name, not a separator.
    std::string Module = ReportValue(Result.ChildReport, "module");
    std::string Ending = ".tmp\\" + Stem + ".tmp";
    ASSERT_GT(Module.size(), Ending.size());
    EXPECT_EQ(Module.substr(Module.size() - Ending.size()), Ending) << Module;
    EXPECT_EQ(Module.compare(0, TempFolder.size() + 4, TempFolder + "\\is-"), 0) << Module;
    EXPECT_EQ(GivenLoaderPath(Result.ChildReport), Run.LoaderPath);
    std::string CommandLine = ReportValue(Result.ChildReport, "cmdline");
    std::string Tail = "\" /SP- /Lang=chinese";
    ASSERT_GT(CommandLine.size(), Tail.size());
    EXPECT_EQ(CommandLine.substr(CommandLine.size() - Tail.size()), Tail);
    EXPECT_EQ(ReportValue(Result.ChildReport, "setupdata"), "signature ok");
    // The setup program's library reads the same file through the double-byte path.
    EXPECT_EQ(ReportValue(Result.ChildReport, "language"), "1");
    EXPECT_EQ(ReportValue(Result.ChildReport, "setuparea"), E2E::TrailingSetupData);
    EXPECT_EQ(ReportValue(Result.ChildReport, "secondarea"), E2E::SecondDataArea);
}
