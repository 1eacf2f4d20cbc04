#include "loader/child_process.h"

#include <gtest/gtest.h>

#include "loader/loader_window.h"
#include "loader/options.h"
#include "records/messages.h"
#include "support/error_text.h"
#include "support/exceptions.h"
#include "test_messages.h"

namespace {

std::string TestDirectory() {
    char Buffer[MAX_PATH];
    DWORD Count = ::GetModuleFileNameA(nullptr, Buffer, sizeof(Buffer));
    std::string Path(Buffer, Count);
    return Path.substr(0, Path.find_last_of('\\') + 1);
}

// Starts "ExePath" Parameters through the ANSI call, as the loader does whenever it can.
uint32_t RunAnsi(const std::string &ExePath, const std::string &Parameters) {
    std::string CommandLine = BuildChildCommandLine(ExePath, Parameters);
    std::wstring NoWideLine;
    return RunSetupProgram(CommandLine, NoWideLine);
}

} // namespace

TEST(RunSetupProgram, PassesTheExitCodeOn) {
    const std::string Helper = TestDirectory() + "loader_test_child.exe";
    for (uint32_t Code : {0u, 5u, 0xC0000005u}) {
        SCOPED_TRACE(Code);
        EXPECT_EQ(RunAnsi(Helper, std::to_string(Code)), Code);
    }
}

TEST(RunSetupProgram, DispatchesTheSetupProgramsRequests) {
    TLoaderRequests Requests;
    TWindowHandle Window = CreateLoaderWindow(Requests);
    const std::string Helper = TestDirectory() + "loader_test_child.exe";
    // The language requests are posted just before the helper ends: the final pump must still
    // dispatch them, in order.
    const std::string Parameters =
        BuildChildParameters(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Window.Get())), 1, 2,
                             Helper, "restart lang=2 lang=1 7");
    EXPECT_EQ(RunAnsi(Helper, Parameters), 7u);
    EXPECT_TRUE(Requests.Restart);
    EXPECT_EQ(Requests.LanguageIndex, 1);
}

TEST(RunSetupProgram, ProgramThatCannotStartRaisesMessage96) {
    LoadTestMessages(
        {{MsgSystemErrorFormat, "%1|%2|%3"}, {MsgChildStartFailed, "cannot %1 start"}});
    // Message 98 goes in as it stands: its %1 is not expanded.
    try {
        RunAnsi(TestDirectory() + "no_such_program.exe", "");
        ADD_FAILURE() << "no exception";
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), "cannot %1 start|2|" + SystemErrorText(2));
    }

    // Not a program at all: the code is whatever the system says, with its text.
    const std::string NotAProgram = TestDirectory() + "loader_not_a_program.exe";
    HANDLE File = ::CreateFileA(NotAProgram.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE);
    DWORD Written;
    ::WriteFile(File, "just text", 9, &Written, nullptr);
    ::CloseHandle(File);
    try {
        RunAnsi(NotAProgram, "");
        ADD_FAILURE() << "no exception";
    } catch (const Exception &E) {
        const std::string &Text = E.Message();
        const std::string Prefix = "cannot %1 start|";
        ASSERT_EQ(Text.compare(0, Prefix.size(), Prefix), 0) << Text;
        const size_t Bar = Text.find('|', Prefix.size());
        ASSERT_NE(Bar, std::string::npos);
        const uint32_t Code = std::stoul(Text.substr(Prefix.size(), Bar - Prefix.size()));
        EXPECT_NE(Code, 0u);
        EXPECT_EQ(Text.substr(Bar + 1), SystemErrorText(Code));
    }
    ::DeleteFileA(NotAProgram.c_str());
    ClearLoaderMessages();
}
