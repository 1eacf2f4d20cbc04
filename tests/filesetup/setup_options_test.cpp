#include "filesetup/setup_options.h"

#include <gtest/gtest.h>

namespace {

TEST(FileSetupOptions, ReadsItsOwnParametersOnly) {
    const struct {
        std::vector<std::wstring> Parameters;
        bool Silent, VerySilent;
        const wchar_t *Folder;
    } Cases[] = {
        {{}, false, false, L""},
        {{L"/silent"}, true, false, L""},
        {{L"/VerySilent", L"/Lang=Chinese"}, false, true, L""},
        {{L"/DIR=C:\\Apps\\Mine"}, false, false, L"C:\\Apps\\Mine"},
        {{L"/dir=\"D:\\With Space\""}, false, false, L"D:\\With Space"},
        {{L"/DIR=a", L"/DIR=b"}, false, false, L"b"},
        {{L"/SILENTLY", L"/DIRECTORY=x", L"SILENT"}, false, false, L""},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(testing::PrintToString(C.Parameters));
        const TFileSetupOptions O = ParseFileSetupOptions(C.Parameters);
        EXPECT_EQ(O.Silent, C.Silent);
        EXPECT_EQ(O.VerySilent, C.VerySilent);
        EXPECT_EQ(O.Folder, C.Folder);
    }
}

TEST(FileSetupOptions, ShapesTexts) {
    EXPECT_EQ(FormatSetupText(L"%1 has been installed in \"%2\".", {L"App", L"C:\\x"}),
              L"App has been installed in \"C:\\x\".");
    EXPECT_EQ(FormatSetupText(L"%2 of %1, %3 stays, 100%", {L"a", L"b"}), L"b of a, %3 stays, 100%");
    EXPECT_EQ(FormatSetupText(L"%1", {L"%2"}), L"%2") << "arguments are not formatted again";

    EXPECT_EQ(FolderNameFor(L"My App"), L"My App");
    EXPECT_EQ(FolderNameFor(L"A/B: \"C\"?"), L"A_B_ _C__");
    EXPECT_EQ(FolderNameFor(L" Tools 2.0. "), L"Tools 2.0");
    EXPECT_EQ(FolderNameFor(L"..."), L"Application");
    EXPECT_EQ(FolderNameFor(L"\u5B89\u88C5"), L"\u5B89\u88C5");
}

TEST(FileSetupOptions, SplitsRunCommands) {
    const struct {
        const wchar_t *Command, *Program, *Arguments;
    } Cases[] = {
        {L"app.exe", L"app.exe", L""},
        {L"bin\\app.exe /quiet  x ", L"bin\\app.exe", L"/quiet  x"},
        {L"\"my dir\\app.exe\" \"a b\" c", L"my dir\\app.exe", L"\"a b\" c"},
        {L"  \"unclosed app.exe", L"unclosed app.exe", L""},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(C.Command)));
        const TRunCommand Run = SplitRunCommand(C.Command);
        EXPECT_EQ(Run.Program, C.Program);
        EXPECT_EQ(Run.Arguments, C.Arguments);
    }
}

TEST(FileSetupOptions, MakesLongPaths) {
    const struct {
        const wchar_t *Path, *Long;
    } Cases[] = {
        {L"C:\\Users\\me\\App", L"\\\\?\\C:\\Users\\me\\App"},
        {L"C:/Users/me/App/", L"\\\\?\\C:\\Users\\me\\App"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir"},
        {L"\\\\?\\D:\\x", L"\\\\?\\D:\\x"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(C.Path)));
        EXPECT_EQ(LongPathOf(C.Path), C.Long);
    }
}

} // namespace
