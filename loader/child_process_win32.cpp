#include "loader/child_process.h"

#include "loader/loader_window.h"
#include "loader/system_error.h"
#include "records/messages.h"
#include "support/kernel_handle.h"

uint32_t RunSetupProgram(std::string &CommandLine, std::wstring &WideCommandLine) {
    // Zeroed but for its size, the structure is the same for both calls.
    STARTUPINFOA StartupInfo;
    static_assert(sizeof(StartupInfo) == (sizeof(void *) == 4 ? 68 : 104),
                  "STARTUPINFOA as the setup program receives it");
    static_assert(sizeof(STARTUPINFOW) == sizeof(StartupInfo), "the wide call's structure");
    ZeroMemory(&StartupInfo, sizeof(StartupInfo));
    StartupInfo.cb = sizeof(StartupInfo);
    PROCESS_INFORMATION ProcessInfo;
    ZeroMemory(&ProcessInfo, sizeof(ProcessInfo));
    const BOOL Started =
        WideCommandLine.empty()
            ? ::CreateProcessA(/*ApplicationName=*/nullptr, &CommandLine[0], nullptr, nullptr,
                               /*InheritHandles=*/FALSE, /*CreationFlags=*/0,
                               /*Environment=*/nullptr, /*CurrentDirectory=*/nullptr,
                               &StartupInfo, &ProcessInfo)
            : ::CreateProcessW(/*ApplicationName=*/nullptr, &WideCommandLine[0], nullptr, nullptr,
                               /*InheritHandles=*/FALSE, /*CreationFlags=*/0,
                               /*Environment=*/nullptr, /*CurrentDirectory=*/nullptr,
                               reinterpret_cast<STARTUPINFOW *>(&StartupInfo), &ProcessInfo);
    if (!Started)
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
