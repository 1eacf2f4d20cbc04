// The loader's main sequence: start-up, the protected run, its cleanup block and the final
// handler. Lives in a library so that the Windows tests can link it.
#pragma once

#include <cstdint>

// Runs start-up and the protected run; returns the exit code the process must end with.
int32_t RunLoader();

// Shows the box for the exception being handled (nothing for EAbort). Call from a catch block.
void ShowExceptionBox();
