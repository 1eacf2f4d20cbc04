/* A stand-in setup program for the launch benchmark (scripts/bench-launch.sh). Its entry point
 * runs before any C runtime start-up: it reads the clock first, then appends the time as a
 * decimal count of 100-ns units since 1601 to the file named by QUOV_LAUNCH_LOG, and exits.
 * The precise clock is looked up at run time (it is missing before Windows 8); the coarse one
 * stands in for it. */
#include <windows.h>

typedef VOID(WINAPI *TGetTimeProc)(LPFILETIME);

void WINAPI ProbeEntry(void) {
    FILETIME Now;
    TGetTimeProc GetPreciseTime = (TGetTimeProc)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime");
    if (GetPreciseTime)
        GetPreciseTime(&Now);
    else
        GetSystemTimeAsFileTime(&Now);

    char Path[MAX_PATH];
    DWORD PathLength = GetEnvironmentVariableA("QUOV_LAUNCH_LOG", Path, sizeof Path);
    if (PathLength > 0 && PathLength < sizeof Path) {
        unsigned long long Ticks = (unsigned long long)Now.dwHighDateTime << 32 | Now.dwLowDateTime;
        char Line[24];
        int Pos = sizeof Line;
        Line[--Pos] = '\n';
        do {
            Line[--Pos] = (char)('0' + Ticks % 10);
            Ticks /= 10;
        } while (Ticks != 0);
        HANDLE Log = CreateFileA(Path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (Log != INVALID_HANDLE_VALUE) {
            DWORD Written;
            WriteFile(Log, Line + Pos, (DWORD)(sizeof Line - Pos), &Written, NULL);
            CloseHandle(Log);
        }
    }
    ExitProcess(0);
}
