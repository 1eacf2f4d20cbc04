#include "loader/dll_search.h"

#include "support/system_function.h"
#include "support/win.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32; the headers for the loader's target system do not have it.
constexpr DWORD LoadLibrarySearchSystem32 = 0x00000800;

using TSetDefaultDllDirectories = BOOL(WINAPI *)(DWORD DirectoryFlags);
using TInitCommonControls = void(WINAPI *)();

} // namespace

void RestrictDllSearch() {
    // kernel32 is mapped into every process before its first instruction: no search happens.
    const auto SetDirectories = FindSystemFunction<TSetDefaultDllDirectories>(
        ::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (SetDirectories)
        SetDirectories(LoadLibrarySearchSystem32);
}

void InitCommonControlsLate() {
    // Stays loaded for the life of the process, as a linked library would.
    const auto Init = FindSystemFunction<TInitCommonControls>(::LoadLibraryA("comctl32.dll"),
                                                              "InitCommonControls");
    if (Init)
        Init();
}
