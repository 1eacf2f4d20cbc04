#include "loader/restart.h"

#include "support/kernel_handle.h"
#include "support/system_queries.h"
#include "support/win.h"

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
