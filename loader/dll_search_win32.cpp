#include "loader/dll_search.h"

#include "support/win.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32; the headers for the loader's target system do not have it.
constexpr DWORD LoadLibrarySearchSystem32 = 0x00000800;

using TSetDefaultDllDirectories = BOOL(WINAPI *)(DWORD DirectoryFlags);
using TInitCommonControls = void(WINAPI *)();

} // namespace

void RestrictDllSearch() {
    // kernel32 is mapped into every process before its first instruction: no search happens.
    HMODULE Kernel = ::GetModuleHandleA("kernel32.dll");
    if (!Kernel)
        return;
    auto SetDirectories = reinterpret_cast<TSetDefaultDllDirectories>(
        reinterpret_cast<void *>(::GetProcAddress(Kernel, "SetDefaultDllDirectories")));
    if (SetDirectories)
        SetDirectories(LoadLibrarySearchSystem32);
}

void InitCommonControlsLate() {
    // Stays loaded for the life of the process, as a linked library would.
    HMODULE CommonControls = ::LoadLibraryA("comctl32.dll");
    if (!CommonControls)
        return;
    auto Init = reinterpret_cast<TInitCommonControls>(
        reinterpret_cast<void *>(::GetProcAddress(CommonControls, "InitCommonControls")));
    if (Init)
        Init();
}
