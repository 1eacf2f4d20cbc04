/* The floor for the "Yes to setup program" figure of scripts/bench-launch.sh: the least an
 * installer must do between the Yes click and its setup program's start. It asks the startup
 * question with the caption and text it is given (the loader's), creates a folder under %TEMP%,
 * creates a hidden window and starts the program named on its command line, which is already on
 * disk (nothing is decoded or written). It waits for that program, removes the folder and exits
 * with the program's exit code; 2 when the question is declined, 1 on any failure.
 * Usage: launch_floor PROGRAM CAPTION TEXT */
#include <windows.h>

#include <stdio.h>

static int Fail(const char *What) {
    fprintf(stderr, "launch_floor: %s failed (error %lu)\n", What, (unsigned long)GetLastError());
    return 1;
}

int main(int Argc, char **Argv) {
    if (Argc != 4) {
        fprintf(stderr, "usage: launch_floor PROGRAM CAPTION TEXT\n");
        return 1;
    }
    if (MessageBoxA(NULL, Argv[3], Argv[2], MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 2;

    char Dir[MAX_PATH + 32];
    DWORD TempLength = GetTempPathA(MAX_PATH, Dir);
    if (TempLength == 0 || TempLength >= MAX_PATH)
        return Fail("GetTempPathA");
    /* The process id keeps two floors that run at once apart. */
    sprintf(Dir + TempLength, "floor-%lu.tmp", (unsigned long)GetCurrentProcessId());
    if (!CreateDirectoryA(Dir, NULL))
        return Fail("CreateDirectoryA");

    int ExitCode = 1;
    HWND Window = CreateWindowExA(0, "STATIC", "LaunchFloorWindow", 0, 0, 0, 0, 0, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    if (!Window) {
        Fail("CreateWindowExA");
    } else {
        char CommandLine[MAX_PATH + 3];
        STARTUPINFOA StartupInfo;
        PROCESS_INFORMATION ProcessInfo;
        ZeroMemory(&StartupInfo, sizeof StartupInfo);
        StartupInfo.cb = sizeof StartupInfo;
        if (strlen(Argv[1]) >= MAX_PATH) {
            fprintf(stderr, "launch_floor: program path too long\n");
        } else {
            sprintf(CommandLine, "\"%s\"", Argv[1]);
            if (!CreateProcessA(NULL, CommandLine, NULL, NULL, /*InheritHandles=*/FALSE, 0, NULL,
                                NULL, &StartupInfo, &ProcessInfo)) {
                Fail("CreateProcessA");
            } else {
                DWORD ChildCode = 1;
                CloseHandle(ProcessInfo.hThread);
                WaitForSingleObject(ProcessInfo.hProcess, INFINITE);
                if (GetExitCodeProcess(ProcessInfo.hProcess, &ChildCode))
                    ExitCode = (int)ChildCode;
                CloseHandle(ProcessInfo.hProcess);
            }
        }
        DestroyWindow(Window);
    }
    if (!RemoveDirectoryA(Dir))
        Fail("RemoveDirectoryA");
    return ExitCode;
}
