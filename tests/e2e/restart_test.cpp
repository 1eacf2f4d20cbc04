// A setup program that asks for a restart. The system's shutdown reaches every process of the
// Wine prefix, so this group runs in a prefix of its own. A hidden window of the test program
// looks at the case's TMP directory when the session-end query arrives: by then the loader must
// have removed its temporary files.
#include <gtest/gtest.h>

#include "tests/e2e/case_texts.h"
#include "tests/e2e/harness.h"

namespace {

std::string WatchedTempDirectory;
int SessionEndQueries = 0;
bool TempEmptyAtQuery = true;

bool DirectoryIsEmpty(const std::string &Directory) {
    WIN32_FIND_DATAA Entry;
    HANDLE Find = ::FindFirstFileA((Directory + "\\*").c_str(), &Entry);
    if (Find == INVALID_HANDLE_VALUE)
        return true;
    bool Empty = true;
    do {
        std::string Name = Entry.cFileName;
        Empty = Empty && (Name == "." || Name == "..");
    } while (::FindNextFileA(Find, &Entry));
    ::FindClose(Find);
    return Empty;
}

LRESULT CALLBACK WatchWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_QUERYENDSESSION) {
        ++SessionEndQueries;
        TempEmptyAtQuery = TempEmptyAtQuery && DirectoryIsEmpty(WatchedTempDirectory);
        return FALSE; // this test program wants to live on
    }
    return ::DefWindowProcA(Window, Message, WParam, LParam);
}

// Services this thread's windows for a while: the system's shutdown arrives asynchronously.
void PumpFor(DWORD Milliseconds) {
    DWORD Start = ::GetTickCount();
    while (::GetTickCount() - Start < Milliseconds) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG Message;
        while (::PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&Message);
    }
}

// A hidden top-level window of this thread; RunLoader services it while it waits.
HWND CreateWatchWindow() {
    WNDCLASSA Class = {};
    Class.lpfnWndProc = WatchWndProc;
    Class.hInstance = ::GetModuleHandleA(nullptr);
    Class.lpszClassName = "QuovE2ESessionWatch";
    ::RegisterClassA(&Class);
    return ::CreateWindowExA(0, Class.lpszClassName, "watch", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                             nullptr, Class.hInstance, nullptr);
}

} // namespace

TEST(Restart, TemporaryFilesAreGoneBeforeTheSystemIsAsked) {
    for (const char *How : {"send", "post"}) {
        SCOPED_TRACE(How);
        WatchedTempDirectory = TestProgramDirectory() + "runs\\restart\\tmp";
        SessionEndQueries = 0;
        TempEmptyAtQuery = true;
        HWND Watch = CreateWatchWindow();
        ASSERT_NE(Watch, nullptr);

        TLoaderRun Run;
        Run.LoaderPath = CasesDirectory() + "good.exe";
        Run.Parameters = "/SP-";
        Run.Environment = {{"QUOV_E2E_EXIT", "3"}, {"QUOV_E2E_RESTART", How}};
        // Wine reports the restart as done, so no warning box is expected; should the system
        // refuse it, the warning must be the active language's message 66.
        Run.Answers = {IDOK};
        TLoaderResult Result = RunLoader("restart", Run);
        PumpFor(1500);
        ASSERT_TRUE(Result.Finished);
        EXPECT_EQ(Result.ExitCode, 3u);
        EXPECT_TRUE(Result.TempLeftovers.empty());
        for (const TMessageBox &Box : Result.Boxes) {
            EXPECT_EQ(Box.Caption, E2E::English.ErrorCaption);
            EXPECT_EQ(Box.Text, E2E::English.RestartFailed);
        }
        if (Result.Boxes.empty()) {
            EXPECT_GE(SessionEndQueries, 1) << "the restart did not reach the session";
        }
        EXPECT_TRUE(TempEmptyAtQuery);
        ::DestroyWindow(Watch);
    }
}

TEST(Restart, NoRestartWhenTheRunFailedAfterTheRequest) {
    // The request for the damaged language fails after the setup program ended: the error is
    // shown and no restart is attempted (the watch window sees no session-end query).
    WatchedTempDirectory = TestProgramDirectory() + "runs\\restart_failed\\tmp";
    HWND Watch = CreateWatchWindow();
    PumpFor(1500); // a shutdown started by an earlier case ends its round first
    SessionEndQueries = 0;
    TLoaderRun Run;
    Run.LoaderPath = CasesDirectory() + "damaged_second_language.exe";
    Run.Parameters = "/SP-";
    Run.Environment = {{"QUOV_E2E_RESTART", "send"}, {"QUOV_E2E_LANG", "1"}};
    Run.Answers = {IDOK};
    TLoaderResult Result = RunLoader("restart_failed", Run);
    PumpFor(1500);
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 0u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Text, ShownCorruptText());
    EXPECT_EQ(SessionEndQueries, 0);
    ::DestroyWindow(Watch);
}
