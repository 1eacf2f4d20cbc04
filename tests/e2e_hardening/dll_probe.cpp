// Loads one library by its bare name, after RestrictDllSearch when the first argument is
// "restricted", and prints where it came from: shows whether a library planted beside a program
// is picked up, with and without the restriction.
//   dll_probe restricted|open NAME.dll
#include <cstdio>
#include <cstring>

#include "loader/dll_search.h"
#include "support/win.h"

int main(int ArgCount, char **Args) {
    if (ArgCount != 3)
        return 2;
    if (std::strcmp(Args[1], "restricted") == 0)
        RestrictDllSearch();
    HMODULE Module = ::LoadLibraryA(Args[2]);
    if (!Module) {
        std::printf("not loaded (%lu)\n", ::GetLastError());
        return 3;
    }
    char Path[MAX_PATH];
    const DWORD Length = ::GetModuleFileNameA(Module, Path, sizeof(Path));
    std::printf("%.*s\n", static_cast<int>(Length), Path);
    return 0;
}
