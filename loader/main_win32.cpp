#include <cstdlib>

#include "loader/main_sequence.h"
#include "support/win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // exit() runs the registered exit procedures (the message table is cleared), then ends the
    // process with the code.
    std::exit(RunLoader());
}

// The runtime's default terminate handler prints a demangled type name to a console the loader
// does not have; replacing it keeps the demangler (tens of KB) out of the stub.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
