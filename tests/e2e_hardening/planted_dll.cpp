// A library planted beside the loader under the names of system libraries. Loading it is the
// fault the test looks for: it appends its own path to the file named by QUOV_PLANT_MARKER.
#include "support/win.h"

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
    if (Reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char Marker[MAX_PATH];
    char Self[MAX_PATH];
    const DWORD Length = ::GetEnvironmentVariableA("QUOV_PLANT_MARKER", Marker, sizeof(Marker));
    const DWORD SelfLength = ::GetModuleFileNameA(Instance, Self, sizeof(Self));
    if (Length == 0 || Length >= sizeof(Marker) || SelfLength == 0 || SelfLength >= sizeof(Self))
        return TRUE;
    HANDLE File = ::CreateFileA(Marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File != INVALID_HANDLE_VALUE) {
        DWORD Written = 0;
        ::WriteFile(File, Self, SelfLength, &Written, nullptr);
        ::WriteFile(File, "\r\n", 2, &Written, nullptr);
        ::CloseHandle(File);
    }
    return TRUE;
}
