#include "loader/child_process.h"

#include "loader/system_error.h"
#include "records/language.h"
#include "records/messages.h"
#include "support/kernel_handle.h"
#include "support/system_queries.h"

bool RestartRequested = false;
WNDPROC StaticWndProc = nullptr;

TWindowHandle &TWindowHandle::operator=(TWindowHandle &&Other) noexcept {
    if (this != &Other) {
        if (FHandle)
            ::DestroyWindow(FHandle);
        FHandle = Other.Detach();
    }
    return *this;
}

TWindowHandle::~TWindowHandle() {
    if (FHandle)
        ::DestroyWindow(FHandle);
}

TWindowHandle CreateLoaderWindow() {
    HWND Window = ::CreateWindowExA(/*ExStyle=*/0, "STATIC", "QuovSetupLdrWindow", /*Style=*/0, 0,
                                    0, 0, 0, /*Parent=*/nullptr, /*Menu=*/nullptr,
                                    ::GetModuleHandleA(nullptr), /*Param=*/nullptr);
    StaticWndProc = reinterpret_cast<WNDPROC>(::SetWindowLongA(
        Window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(&LoaderWndProc))));
    return TWindowHandle(Window);
}

LRESULT CALLBACK LoaderWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    switch (Message) {
    case WM_QUERYENDSESSION:
        // The loader does not agree to a log-off or shutdown while the setup program runs.
        return 0;
    case LoaderWindowMessage:
        if (WParam == RestartRequest)
            RestartRequested = true;
        else if (WParam == LanguageRequest)
            RequestedLanguageIndex = static_cast<int32_t>(LParam);
        return 0;
    default:
        return ::CallWindowProcA(StaticWndProc, Window, Message, WParam, LParam);
    }
}

void PumpMessages() {
    MSG Msg;
    while (::PeekMessageA(&Msg, /*Window=*/nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&Msg);
        ::DispatchMessageA(&Msg);
    }
}

uint32_t RunSetupProgram(const std::string &ExePath, const std::string &Parameters) {
    std::string CommandLine = "\"" + ExePath + "\" " + Parameters;
    STARTUPINFOA StartupInfo;
    static_assert(sizeof(StartupInfo) == 68, "STARTUPINFOA as the setup program receives it");
    ZeroMemory(&StartupInfo, sizeof(StartupInfo));
    StartupInfo.cb = sizeof(StartupInfo);
    PROCESS_INFORMATION ProcessInfo;
    ZeroMemory(&ProcessInfo, sizeof(ProcessInfo));
    if (!::CreateProcessA(/*ApplicationName=*/nullptr, &CommandLine[0], nullptr, nullptr,
                          /*InheritHandles=*/FALSE, /*CreationFlags=*/0, /*Environment=*/nullptr,
                          /*CurrentDirectory=*/nullptr, &StartupInfo, &ProcessInfo))
        RaiseWin32Error(MsgChildStartFailed);
    ::CloseHandle(ProcessInfo.hThread);
    TKernelHandle Process(ProcessInfo.hProcess);

    constexpr DWORD WakeMask = 0xFF; // keys, mouse, posted, timer, paint, sent, hot keys
    do {
        PumpMessages();
    } while (::MsgWaitForMultipleObjects(1, &ProcessInfo.hProcess, /*WaitAll=*/FALSE, INFINITE,
                                         WakeMask) == WAIT_OBJECT_0 + 1);
    // Requests posted just before the setup program ended are still in the queue.
    PumpMessages();
    DWORD ExitCode = 1;
    ::GetExitCodeProcess(Process.Get(), &ExitCode);
    return ExitCode;
}

bool RebootSystem() {
    if (OsPlatformId == VER_PLATFORM_WIN32_NT) {
        TKernelHandle Token;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                Token.Receive()))
            return false;
        TOKEN_PRIVILEGES Privileges;
        ::LookupPrivilegeValueA(/*SystemName=*/nullptr, "SeShutdownPrivilege",
                                &Privileges.Privileges[0].Luid);
        Privileges.PrivilegeCount = 1;
        Privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        ::AdjustTokenPrivileges(Token.Get(), /*DisableAll=*/FALSE, &Privileges, 0, nullptr,
                                nullptr);
        // ERROR_NOT_ALL_ASSIGNED is a partial success that leaves the privilege off.
        if (::GetLastError() != 0)
            return false;
    }
    return ::ExitWindowsEx(EWX_REBOOT, /*Reason=*/0) != 0;
}
