// The run of the setup program: started with its command line, then waited for while the
// loader's message queue is serviced, so that the requests it sends (records/loader_contract.h)
// reach the loader window (loader/loader_window.h). Win32 only.
#pragma once

#include <cstdint>
#include <string>

#include "records/loader_contract.h"
#include "support/win.h"

// Starts the setup program with CommandLine (BuildChildCommandLine, loader/options.h) through
// CreateProcessA, or with WideCommandLine through CreateProcessW when that is not empty (the
// system may write into the line it is given); services the message queue until the process ends
// and returns its exit code. Throws Exception (message 96 around message 98) when it cannot be
// started.
uint32_t RunSetupProgram(std::string &CommandLine, std::wstring &WideCommandLine);
