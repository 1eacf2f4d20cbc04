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

// A code page that holds ASCII and U+4E2D as 0x81 0x40; anything else is lost as '?'.
bool ToTestAnsi(const std::wstring &Wide, std::string &Ansi) {
    Ansi.clear();
    for (wchar_t C : Wide)
        Ansi += C == L'\u4e2d' ? "\x81\x40" : std::string(1, C < 0x80 ? char(C) : '?');
    return Ansi.find('?') == std::string::npos;
}

size_t FromTestAnsi(const char *Ansi, size_t Length, wchar_t *Wide) {
    size_t Count = 0;
    for (size_t I = 0; I < Length; I += Ansi[I] == '\x81' ? 2 : 1)
        Wide[Count++] = Ansi[I] == '\x81' ? L'\u4e2d' : wchar_t(Ansi[I]);
    return Count;
}

} // namespace

TEST(ChildCommandLine, WideOnlyWhenTheCodePageLosesAPassedCharacter) {
    const std::wstring Head = L"\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\";
    const struct {
        std::string SelfName;
        std::wstring WideTail, Expected; // Expected empty: the ANSI line goes as it is
    } Cases[] = {
        {"s.exe", L"/SP- /DIR=\"C:\\Apps\" \u4e2d \"\"", L""},
        {"s.exe", L"", L""},
        {"s.exe", L"/DIR=\"C:\\\u041f\u0440\u043e\u0433\" /SP-",
         L"s.exe\" /DIR=\"C:\\\u041f\u0440\u043e\u0433\" /SP-"},
        {"s.exe", L"  \"a b\"\t\u5b89 \"\"  ", L"s.exe\"   \"a b\"\t\u5b89 \"\"  "},
        // One unit for the head's double-byte character: the tail follows it without a gap.
        {"\x81\x40.exe", L"\u0416", L"\u4e2d.exe\" \u0416"},
    };
    for (const auto &C : Cases) {
        std::string AnsiTail;
        ToTestAnsi(C.WideTail, AnsiTail);
        const std::string Line = BuildChildCommandLine(
            "C:\\T\\s.tmp",
            BuildChildParameters(0x1A2B, 10, 0xFFFFFFFF, "C:\\" + C.SelfName, AnsiTail));
        EXPECT_EQ(Line, "\"C:\\T\\s.tmp\" /SL5=\"$1A2B,10,-1,C:\\" + C.SelfName + "\" " + AnsiTail);
        EXPECT_EQ(
            BuildWideChildCommandLine(Line, AnsiTail.size(), C.WideTail, ToTestAnsi, FromTestAnsi),
            C.Expected.empty() ? C.Expected : Head + C.Expected);
        // Without its head in UTF-16 there is no wide line: the ANSI one is started.
        auto NoConversion = [](const char *, size_t, wchar_t *) -> size_t { return 0; };
        EXPECT_EQ(
            BuildWideChildCommandLine(Line, AnsiTail.size(), C.WideTail, ToTestAnsi, NoConversion),
            L"");
    }
}
