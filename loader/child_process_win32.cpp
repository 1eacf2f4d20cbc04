#include "loader/child_process.h"

#include "loader/loader_window.h"
#include "loader/system_error.h"
#include "records/messages.h"
#include "support/kernel_handle.h"

uint32_t RunSetupProgram(const std::string &ExePath, const std::string &Parameters) {
    std::string CommandLine = "\"" + ExePath + "\" " + Parameters;
    STARTUPINFOA StartupInfo;
    static_assert(sizeof(StartupInfo) == (sizeof(void *) == 4 ? 68 : 104),
                  "STARTUPINFOA as the setup program receives it");
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
