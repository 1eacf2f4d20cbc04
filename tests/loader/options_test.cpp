#include "loader/options.h"

#include <gtest/gtest.h>

#include "support/command_line.h"

TEST(LoaderOptions, PromptSuppression) {
    const struct {
        std::vector<std::string> Parameters;
        bool Suppressed;
    } Cases[] = {
        {{"/SP-"}, true},
        {{"/sp-"}, true},
        {{"/Sp-"}, true},
        {{"/SP"}, false},
        {{"/SP--"}, false},
        {{"/SP-x"}, false},
        {{"/spawnwnd=123"}, true},
        {{"/SPAWNWND="}, true},
        {{"/SPAWNWND"}, false},
        {{"x/SP-"}, false},
        {{"/VERYSILENT", "/SP-"}, true},
        {{}, false},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Parameters.empty() ? std::string("(none)") : Case.Parameters.back());
        EXPECT_EQ(ReadLoaderOptions(Case.Parameters).SuppressStartupPrompt, Case.Suppressed);
    }
}

TEST(LoaderOptions, LangValue) {
    const struct {
        std::vector<std::string> Parameters;
        std::string Lang;
    } Cases[] = {
        {{"/LANG=Chi"}, "Chi"},
        {{"/lang=english"}, "english"},
        {{"/Lang="}, ""},
        {{"/Lang=a", "/other", "/Lang=b"}, "b"},
        {{"/Lang=a", "/Lang="}, ""},
        {{"/Lan"}, ""},
        {{"/Language=x"}, ""},
        // Only ASCII letters fold: a double-byte character in the prefix never matches.
        {{"/L\xc1ng=x"}, ""},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Parameters.front());
        const TLoaderOptions Options = ReadLoaderOptions(Case.Parameters);
        EXPECT_EQ(Options.LangOption, Case.Lang);
        EXPECT_FALSE(Options.SuppressStartupPrompt);
    }
}

TEST(LoaderOptions, ParsedFromTheProcessCommandLine) {
    // Quotes are removed by the scanner, so a quoted "/SP-" still counts.
    SetHostCommandLine("setup.exe \"/SP-\" /LANG=Chi /other");
    const TLoaderOptions Options = ParseLoaderOptions();
    EXPECT_TRUE(Options.SuppressStartupPrompt);
    EXPECT_EQ(Options.LangOption, "Chi");
    SetHostCommandLine("");
}

TEST(ChildParameters, ByteForByte) {
    const struct {
        const char *Name;
        uint32_t Window, SetupDataOffset, SecondDataOffset;
        std::string SelfPath, Tail, Expected;
    } Cases[] = {
        {"worked example", 0xA04C2, 46795945, 89600, "D:\\dl\\setup.exe", "/SP- /Lang=chi",
         "/SL5=\"$A04C2,46795945,89600,D:\\dl\\setup.exe\" /SP- /Lang=chi"},
        {"empty tail", 0x1A2B, 0, 0, "C:\\s.exe", "", "/SL5=\"$1A2B,0,0,C:\\s.exe\" "},
        {"zero handle", 0, 1, 2, "a", "x", "/SL5=\"$0,1,2,a\" x"},
        {"offsets past 2 GiB are signed", 0xFFFFFFFF, 0x80000000, 0xFFFFFFFF, "p", "",
         "/SL5=\"$FFFFFFFF,-2147483648,-1,p\" "},
        {"tail kept as it stands", 0xABCDEF, 10, 20, "p", "  \"a b\"  ",
         "/SL5=\"$ABCDEF,10,20,p\"   \"a b\"  "},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        EXPECT_EQ(BuildChildParameters(Case.Window, Case.SetupDataOffset, Case.SecondDataOffset,
                                       Case.SelfPath, Case.Tail),
                  Case.Expected);
    }
}
