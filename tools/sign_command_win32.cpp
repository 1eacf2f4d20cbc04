#include "tools/sign_command.h"

#include "support/kernel_handle.h"
#include "tools/host_files.h"
#include "support/win.h"

const ESignShell HostSignShell = ESignShell::WindowsCmd;

int RunSignShell(const std::string &Command) {
    // cmd /s /c "..." takes everything between the outer quotes as the command, as written;
    // /d skips the AutoRun commands a user may have set up.
    wchar_t Shell[MAX_PATH];
    const DWORD Length = ::GetEnvironmentVariableW(L"ComSpec", Shell, MAX_PATH);
    std::wstring Line = (Length > 0 && Length < MAX_PATH ? std::wstring(Shell, Length)
                                                         : std::wstring(L"cmd.exe"));
    Line = L"\"" + Line + L"\" /d /s /c \"" + HostWideText(Command) + L"\"";
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Info = {};
    if (!::CreateProcessW(/*ApplicationName=*/nullptr, &Line[0], nullptr, nullptr,
                          /*InheritHandles=*/TRUE, 0, nullptr, nullptr, &Startup, &Info))
        throw ESignError("cannot run the signing command: error " +
                         std::to_string(::GetLastError()));
    TKernelHandle Process(Info.hProcess);
    TKernelHandle Thread(Info.hThread);
    DWORD ExitCode = 0;
    if (::WaitForSingleObject(Process.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(Process.Get(), &ExitCode))
        throw ESignError("cannot wait for the signing command: error " +
                         std::to_string(::GetLastError()));
    return static_cast<int>(ExitCode);
}
