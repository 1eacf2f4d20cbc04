#include <cstdlib>

#include "loader/dll_search.h"
#include "loader/main_sequence.h"
#include "support/win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything else can load a library (common controls, shell32, themes).
    RestrictDllSearch();
    // exit() runs the registered exit procedures (the message table is cleared), then ends the
    // process with the code.
    std::exit(RunLoader());
}

// The runtime's default terminate handler prints a demangled type name to a console the loader
// does not have; replacing it keeps the demangler (tens of KB) out of the stub.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
