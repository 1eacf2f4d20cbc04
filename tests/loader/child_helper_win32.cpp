// A stand-in setup program for the loader tests. Reads the loader window from its /SL5= parameter
// and then acts on the words behind it: "lang=N" posts a language request, "restart" sends a
// restart request, and the first plain number is the exit code.
#include <cstdlib>
#include <cstring>

#include "support/win.h"

int main(int argc, char **argv) {
    HWND Window = nullptr;
    unsigned long ExitCode = 0;
    for (int I = 1; I < argc; ++I) {
        const char *Arg = argv[I];
        if (std::strncmp(Arg, "/SL5=$", 6) == 0)
            Window = reinterpret_cast<HWND>(std::strtoul(Arg + 6, nullptr, 16));
        else if (std::strncmp(Arg, "lang=", 5) == 0)
            ::PostMessageA(Window, 1174, 10001, std::strtol(Arg + 5, nullptr, 10));
        else if (std::strcmp(Arg, "restart") == 0)
            ::SendMessageA(Window, 1174, 10000, 0);
        else
            ExitCode = std::strtoul(Arg, nullptr, 0);
    }
    return static_cast<int>(ExitCode);
}
