/* Answers an installer's startup question with Yes for scripts/bench-launch.sh, and says when.
 * It starts the installer, looks every millisecond for a visible dialog box ("#32770") of that
 * process with the given caption, waits one second after it first appears, reads the clock and
 * posts the Yes button's command to the box, as a click would. The time goes to CLICK_LOG as a
 * decimal count of 100-ns units since 1601 (the clock the probe reads, so probe minus click is
 * the time from Yes to the setup program). It then waits for the installer to end and exits with
 * its exit code; 1 when the installer could not be started, gave no box or did not end.
 * Usage: launch_clicker CAPTION CLICK_LOG INSTALLER [ARGUMENT...] */
#include <windows.h>

#include <stdio.h>
#include <string.h>

typedef VOID(WINAPI *TGetTimeProc)(LPFILETIME);

/* Longest wait for the box, and for the installer once answered. */
#define BoxTimeoutMs 30000
#define RunTimeoutMs 120000
#define AnswerDelayMs 1000

static void ReadClock(FILETIME *Now) {
    /* The precise clock is missing before Windows 8; the coarse one stands in for it. */
    TGetTimeProc GetPreciseTime = (TGetTimeProc)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime");
    if (GetPreciseTime)
        GetPreciseTime(Now);
    else
        GetSystemTimeAsFileTime(Now);
}

/* The process's visible dialog box with this caption, or NULL. */
static HWND FindBox(DWORD ProcessId, const char *Caption) {
    HWND Box = NULL;
    while ((Box = FindWindowExA(NULL, Box, "#32770", Caption)) != NULL) {
        DWORD Owner = 0;
        GetWindowThreadProcessId(Box, &Owner);
        if (Owner == ProcessId && IsWindowVisible(Box))
            return Box;
    }
    return NULL;
}

/* Quotes each argument; false when they do not fit. */
static BOOL BuildCommandLine(char *Out, size_t Size, int Count, char **Arguments) {
    size_t Used = 0;
    for (int I = 0; I < Count; ++I) {
        size_t Length = strlen(Arguments[I]);
        if (strchr(Arguments[I], '"') || Used + Length + 4 > Size)
            return FALSE;
        if (Used)
            Out[Used++] = ' ';
        Out[Used++] = '"';
        memcpy(Out + Used, Arguments[I], Length);
        Used += Length;
        Out[Used++] = '"';
    }
    Out[Used] = '\0';
    return TRUE;
}

int main(int Argc, char **Argv) {
    if (Argc < 4) {
        fprintf(stderr, "usage: launch_clicker CAPTION CLICK_LOG INSTALLER [ARGUMENT...]\n");
        return 1;
    }
    const char *Caption = Argv[1];
    const char *ClickLog = Argv[2];
    char CommandLine[4096];
    if (!BuildCommandLine(CommandLine, sizeof CommandLine, Argc - 3, Argv + 3)) {
        fprintf(stderr, "launch_clicker: the installer's command line is too long or has quotes\n");
        return 1;
    }
    STARTUPINFOA StartupInfo;
    PROCESS_INFORMATION ProcessInfo;
    ZeroMemory(&StartupInfo, sizeof StartupInfo);
    StartupInfo.cb = sizeof StartupInfo;
    if (!CreateProcessA(NULL, CommandLine, NULL, NULL, /*InheritHandles=*/FALSE, 0, NULL, NULL,
                        &StartupInfo, &ProcessInfo)) {
        fprintf(stderr, "launch_clicker: cannot start %s (error %lu)\n", Argv[3],
                (unsigned long)GetLastError());
        return 1;
    }
    CloseHandle(ProcessInfo.hThread);

    HWND Box = NULL;
    const DWORD Started = GetTickCount();
    while (!(Box = FindBox(ProcessInfo.dwProcessId, Caption))) {
        if (GetTickCount() - Started >= BoxTimeoutMs ||
            WaitForSingleObject(ProcessInfo.hProcess, 1) == WAIT_OBJECT_0) {
            fprintf(stderr, "launch_clicker: no \"%s\" box appeared\n", Caption);
            /* Ours to end: a started installer must not outlive the run. */
            TerminateProcess(ProcessInfo.hProcess, 1);
            CloseHandle(ProcessInfo.hProcess);
            return 1;
        }
    }
    Sleep(AnswerDelayMs);

    HWND Yes = GetDlgItem(Box, IDYES);
    FILETIME Click;
    ReadClock(&Click);
    if (!Yes || !PostMessageA(Box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)Yes)) {
        fprintf(stderr, "launch_clicker: the box has no Yes button to click\n");
        TerminateProcess(ProcessInfo.hProcess, 1);
        CloseHandle(ProcessInfo.hProcess);
        return 1;
    }
    /* Written after the click, so that the file's cost is not in the figure. */
    FILE *Log = fopen(ClickLog, "a");
    if (Log) {
        fprintf(Log, "%llu\n",
                (unsigned long long)Click.dwHighDateTime << 32 | Click.dwLowDateTime);
        fclose(Log);
    } else {
        fprintf(stderr, "launch_clicker: cannot write %s\n", ClickLog);
    }

    DWORD ExitCode = 1;
    if (WaitForSingleObject(ProcessInfo.hProcess, RunTimeoutMs) != WAIT_OBJECT_0) {
        fprintf(stderr, "launch_clicker: the installer did not end in time\n");
        TerminateProcess(ProcessInfo.hProcess, 1);
    } else {
        GetExitCodeProcess(ProcessInfo.hProcess, &ExitCode);
    }
    CloseHandle(ProcessInfo.hProcess);
    return Log ? (int)ExitCode : 1;
}
