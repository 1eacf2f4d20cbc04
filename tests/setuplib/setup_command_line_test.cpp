#include "setuplib/setup_command_line.h"

#include <gtest/gtest.h>

#include "loader/options.h"
#include "support/command_line.h"

namespace {

// ASCII bytes as wide characters (what the system gives for them in any code page).
std::wstring Widen(const std::string &Ascii) { return std::wstring(Ascii.begin(), Ascii.end()); }

std::string Narrow(const std::wstring &Ascii) { return std::string(Ascii.begin(), Ascii.end()); }

const wchar_t Program[] = L"\"C:\\Temp\\is-Q7.tmp\\setup.tmp\" ";

} // namespace

TEST(SetupCommandLine, ReadsTheLoaderParameter) {
    using S = TLoaderParameterState;
    const struct {
        const wchar_t *Tail; // behind the program name
        uint32_t Window, SetupData, Second;
        const wchar_t *Path;
        std::vector<std::wstring> Rest;
    } Cases[] = {
        {L"/SL5=\"$1A2B,91822,1024,C:\\Inst\\setup.exe\" /Lang=de", 0x1A2B, 91822, 1024,
         L"C:\\Inst\\setup.exe", {L"/Lang=de"}},
        {L"/SL5=\"$ffffffff,0,0,C:\\a,b,,c\\setup.exe\"", 0xFFFFFFFF, 0, 0,
         L"C:\\a,b,,c\\setup.exe", {}},
        {L"/SL5=\"$10,5,6,C:\\My Files\\set up.exe\" \"a b\" \"\" x\"y z\"w", 0x10, 5,
         6, L"C:\\My Files\\set up.exe", {L"a b", L"", L"xy zw"}},
        {L"/SL5=\"$10,5,6,C:\\100%\\%d%s.exe\"", 0x10, 5, 6, L"C:\\100%\\%d%s.exe", {}},
        {L"/SL5=\"$10,5,6,D:\\\u7a0b\u5e8f\\\u8868\u5355.exe\" /DIR=\"C:\\\u041f\u0440\"",
         0x10, 5, 6, L"D:\\\u7a0b\u5e8f\\\u8868\u5355.exe", {L"/DIR=C:\\\u041f\u0440"}},
        {L"/SL5=\"$10,5,6,C:\\PROGRA~1\\MYAPP~1\\SETUP~1.EXE\"", 0x10, 5, 6,
         L"C:\\PROGRA~1\\MYAPP~1\\SETUP~1.EXE", {}},
        {L"/sl5=$7,-2147483648,-1,x", 7, 0x80000000u, 0xFFFFFFFFu, L"x", {}},
        {L"/SL5=\"$7,2147483647,00012,x\"\t/a\t/b", 7, 0x7FFFFFFF, 12, L"x",
         {L"/a", L"/b"}},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Narrow(Case.Tail));
        TSetupCommandLine Line;
        ASSERT_EQ(ReadSetupCommandLine(Program + std::wstring(Case.Tail), Line), S::Found);
        EXPECT_EQ(Line.Loader.Window, Case.Window);
        EXPECT_EQ(Line.Loader.SetupDataOffset, Case.SetupData);
        EXPECT_EQ(Line.Loader.SecondDataOffset, Case.Second);
        EXPECT_EQ(Line.Loader.LoaderPath, Case.Path);
        EXPECT_EQ(Line.Rest, Case.Rest);
    }

    const struct {
        const wchar_t *Tail;
        S State;
    } Refused[] = {
        {L"", S::Missing},
        {L"/Lang=en", S::Missing},
        {L"/x /SL5=\"$1,2,3,C:\\a\"", S::Missing},
        {L"/SL5", S::Missing},
        {L"/SL5=", S::Malformed},
        {L"/SL5=\"1,2,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$,2,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$123456789,2,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$12G,2,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,2,3,\"", S::Malformed},
        {L"/SL5=\"$1,2,3\"", S::Malformed},
        {L"/SL5=\"$1,x,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,2, 3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,2147483648,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,-2147483649,3,C:\\a\"", S::Malformed},
        {L"/SL5=\"$1,2,-,C:\\a\"", S::Malformed},
    };
    for (const auto &Case : Refused) {
        SCOPED_TRACE(Narrow(Case.Tail));
        TSetupCommandLine Line;
        EXPECT_EQ(ReadSetupCommandLine(Program + std::wstring(Case.Tail), Line), Case.State);
    }
}

// The loader writes /SL5= with its builder and reads its own options with its scanner; what the
// setup program reads back must be exactly what went in.
TEST(SetupCommandLine, ReadsWhatTheLoaderBuilds) {
    const struct {
        uint32_t Window, SetupData, Second;
        std::string Path, Tail;
    } Cases[] = {
        {0x1A2B, 91822, 1024, "C:\\Inst\\setup.exe", ""},
        {0, 0, 0, "C:\\a,b\\c d\\100%.exe", "/Lang=German /SP-"},
        {0xFFFFFFFF, 0x80000000u, 0xFFFFFFFFu, "\\\\srv\\share\\x,1,2,3.exe", "/lang=a /LANG=b"},
        {0x00010000, 2147483647, 1, "C:\\PROGRA~1\\SETUP~1.EXE", "\"/Lang=with space\" x\"y\"z"},
        {0xABC, 64, 64, "C:\\x.exe", "/LangX /Lang= /DIR=\"C:\\Program Files\""},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Path + " " + Case.Tail);
        const std::string Built = BuildChildParameters(Case.Window, Case.SetupData, Case.Second,
                                                       Case.Path, Case.Tail);
        TSetupCommandLine Line;
        ASSERT_EQ(ReadSetupCommandLine(Program + Widen(Built), Line), TLoaderParameterState::Found);
        EXPECT_EQ(Line.Loader.Window, Case.Window);
        EXPECT_EQ(Line.Loader.SetupDataOffset, Case.SetupData);
        EXPECT_EQ(Line.Loader.SecondDataOffset, Case.Second);
        EXPECT_EQ(Line.Loader.LoaderPath, Widen(Case.Path));

        // The parameters behind /SL5= are the loader's own, and /Lang= means the same to both.
        const std::string LoaderLine = "setup.exe " + Case.Tail;
        std::vector<std::string> LoaderParameters;
        for (int32_t K = 1; K <= CountParametersOf(LoaderLine.c_str()); ++K)
            LoaderParameters.push_back(ParameterAtOf(LoaderLine.c_str(), K));
        ASSERT_EQ(Line.Rest.size(), LoaderParameters.size());
        for (size_t I = 0; I < Line.Rest.size(); ++I)
            EXPECT_EQ(Narrow(Line.Rest[I]), LoaderParameters[I]);
        EXPECT_EQ(Narrow(LangOptionOf(Line.Rest)), ReadLoaderOptions(LoaderParameters).LangOption);
    }
}
