// A setup program that leaves its own file locked behind it: it starts a copy of itself that
// opens the file without delete sharing and holds it for a while, waits until the copy has it
// open, and exits with code 7. The loader's deletion attempts then all fail.
//   (no arguments)   the setup program
//   /hold            the copy that holds the file
#include <cstring>
#include <string>

#include "support/win.h"

namespace {

constexpr DWORD HoldMs = 8000;
constexpr const char *ReadyEventName = "QuovHardeningLockHeld";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR CommandLine, int) {
    char Self[MAX_PATH];
    const DWORD Length = ::GetModuleFileNameA(nullptr, Self, sizeof(Self));
    if (Length == 0 || Length >= sizeof(Self))
        return 90;
    if (std::strstr(CommandLine, "/hold")) {
        HANDLE File = ::CreateFileA(Self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE Ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, ReadyEventName);
        if (File == INVALID_HANDLE_VALUE || !Ready)
            return 91;
        ::SetEvent(Ready);
        ::Sleep(HoldMs);
        ::CloseHandle(File);
        return 0;
    }
    HANDLE Ready =
        ::CreateEventA(nullptr, /*ManualReset=*/TRUE, /*InitialState=*/FALSE, ReadyEventName);
    std::string Line = std::string("\"") + Self + "\" /hold";
    STARTUPINFOA Startup = {};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Process = {};
    if (!Ready || !::CreateProcessA(Self, &Line[0], nullptr, nullptr, /*InheritHandles=*/FALSE, 0,
                                    nullptr, nullptr, &Startup, &Process))
        return 92;
    ::CloseHandle(Process.hThread);
    ::CloseHandle(Process.hProcess);
    return ::WaitForSingleObject(Ready, 20000) == WAIT_OBJECT_0 ? 7 : 93;
}
