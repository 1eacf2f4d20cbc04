#include <cstdlib>

#include "loader/main_sequence.h"
#include "support/win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // exit() runs the registered exit procedures (the message table is cleared), then ends the
    // process with the code.
    std::exit(RunLoader());
}
