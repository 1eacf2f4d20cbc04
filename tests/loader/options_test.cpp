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

namespace {

// A made-up code page: ASCII, "ó" as 0xF3 and "中" as the pair 0x81 0x40; every other character
// is lost as '?'.
bool ToTestCodePage(const std::wstring &Wide, std::string &Ansi) {
    Ansi.clear();
    bool Exact = true;
    for (wchar_t C : Wide) {
        const bool Held = C < 0x80 || C == L'\u00f3' || C == L'\u4e2d';
        Exact = Exact && Held;
        Ansi += C == L'\u4e2d' ? std::string("\x81\x40") : std::string(1, Held ? char(C) : '?');
    }
    return Exact;
}

size_t FromTestCodePage(const char *Ansi, size_t Length, wchar_t *Wide) {
    size_t Count = 0;
    for (size_t I = 0; I < Length; ++I) {
        const unsigned char B = static_cast<unsigned char>(Ansi[I]);
        const bool Pair = B == 0x81 && I + 1 < Length;
        Wide[Count++] = Pair ? L'\u4e2d' : static_cast<wchar_t>(B);
        I += Pair ? 1 : 0;
    }
    return Count;
}

size_t FailingConversion(const char *, size_t, wchar_t *) { return 0; }

} // namespace

TEST(ChildCommandLine, WideOnlyWhenTheCodePageLosesAPassedCharacter) {
    const struct {
        const char *Name;
        std::string SelfPath;
        std::wstring WideTail;
        std::wstring Expected; // empty: the ANSI line goes as it is
    } Cases[] = {
        {"ASCII", "C:\\s.exe", L"/SP- /DIR=\"C:\\Apps\"", L""},
        {"held beyond ASCII", "C:\\s.exe", L"/DIR=C:\\\u00f3 \u4e2d", L""},
        {"empty tail", "C:\\s.exe", L"", L""},
        {"an empty parameter", "C:\\s.exe", L"/a \"\" b", L""},
        {"Cyrillic", "C:\\s.exe",
         L"/DIR=\"C:\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b\"",
         L"\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\s.exe\" "
         L"/DIR=\"C:\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b\""},
        {"Chinese the code page lacks", "C:\\s.exe", L"/DIR=D:\\\u5b89\u88c5 /SP-",
         L"\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\s.exe\" /DIR=D:\\\u5b89\u88c5 /SP-"},
        {"quotes and spacing kept", "C:\\s.exe", L"  \"a b\"\t\u0416 \"\"  ",
         L"\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\s.exe\"   \"a b\"\t\u0416 \"\"  "},
        // The head's double-byte character is one unit: the tail follows it without a gap.
        {"double-byte loader path", "C:\\\x81\x40.exe", L"\u0416",
         L"\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\\u4e2d.exe\" \u0416"},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        std::string AnsiTail;
        ToTestCodePage(Case.WideTail, AnsiTail);
        const std::string CommandLine = BuildChildCommandLine(
            "C:\\T\\s.tmp", BuildChildParameters(0x1A2B, 10, 0xFFFFFFFF, Case.SelfPath, AnsiTail));
        EXPECT_EQ(CommandLine,
                  "\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1," + Case.SelfPath + "\" " + AnsiTail);
        EXPECT_EQ(BuildWideChildCommandLine(CommandLine, AnsiTail.size(), Case.WideTail,
                                            ToTestCodePage, FromTestCodePage),
                  Case.Expected);
        // Without the head in UTF-16 there is no wide line: the ANSI one still starts the program.
        EXPECT_TRUE(BuildWideChildCommandLine(CommandLine, AnsiTail.size(), Case.WideTail,
                                              ToTestCodePage, FailingConversion)
                        .empty());
    }
}
