// Runs under the locale its CTest entry sets: the installer of every default language asks its
// startup question in the language QUOV_E2E_LANG names (the locale's, or the one /Lang= names
// through QUOV_E2E_LANG_OPTION), with the bytes the host wrote for it: the message file's text in
// its code page. QUOV_E2E_ACP and QUOV_E2E_LANGID say what the locale must give.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/e2e/harness.h"

namespace {

std::string Environment(const char *Name) {
    const char *Value = std::getenv(Name);
    return Value ? Value : "";
}

} // namespace

TEST(DefaultLanguages, PromptInTheLanguageOfTheSystem) {
    const std::string Expected = Environment("QUOV_E2E_LANG");
    const std::string Option = Environment("QUOV_E2E_LANG_OPTION");
    ASSERT_FALSE(Expected.empty()) << "run this test through its CTest entries";
    ASSERT_EQ(::GetACP(), std::strtoul(Environment("QUOV_E2E_ACP").c_str(), nullptr, 10));
    ASSERT_EQ(::GetUserDefaultUILanguage(),
              std::strtoul(Environment("QUOV_E2E_LANGID").c_str(), nullptr, 16));

    TLoaderRun Run;
    Run.LoaderPath = CasesDirectory() + "all_languages.exe";
    if (!Option.empty())
        Run.Parameters = "/Lang=" + Option;
    Run.Answers = {IDNO};
    TLoaderResult Result = RunLoader("lang_" + Expected, Run);
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 2u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption,
              ReadWholeFile(CasesDirectory() + "caption_" + Expected + ".txt"));
    EXPECT_EQ(Result.Boxes[0].Text, ReadWholeFile(CasesDirectory() + "prompt_" + Expected + ".txt"));
    EXPECT_TRUE(Result.TempLeftovers.empty());
}
