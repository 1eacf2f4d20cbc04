/* A program using a file at the install target, in the reference setup program's tests: holds
 * FILE open without sharing, makes MARKER once it does, and lets go when RELEASE appears (or
 * after a minute). Arguments: FILE MARKER RELEASE (Windows paths). */
#include <windows.h>

int main(int argc, char **argv) {
    if (argc < 4)
        return 2;
    HANDLE File = CreateFileA(argv[1], GENERIC_READ, /*ShareMode=*/0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (File == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(
        CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    for (int I = 0; I < 600 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++I)
        Sleep(100);
    CloseHandle(File);
    return 0;
}
