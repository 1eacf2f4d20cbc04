// The run of the setup program: started with its command line, then waited for while the
// loader's message queue is serviced, so that the requests it sends with the message below reach
// the loader window (loader/loader_window.h). Win32 only.
#pragma once

#include <cstdint>
#include <string>

#include "support/win.h"

// WM_USER + 150. wParam selects the request; the window procedure answers 0 to every one.
constexpr UINT LoaderWindowMessage = 1174;
constexpr WPARAM RestartRequest = 10000;  // restart the computer when the loader ends
constexpr WPARAM LanguageRequest = 10001; // lParam: the language index for the loader's texts

// Starts "ExePath" Parameters, services the message queue until the process ends and returns its
// exit code. Throws Exception (message 96 around message 98) when it cannot be started.
uint32_t RunSetupProgram(const std::string &ExePath, const std::string &Parameters);
