// What passes between the loader and the setup program it starts, besides the command line:
// the window message through which the setup program sends its requests. Shared by the loader
// (which answers it) and the setup-program library (which sends it); owns nothing.
#pragma once

#include <cstdint>

// WM_USER + 150, sent to the window whose handle follows "$" in /SL5=. wParam selects the
// request; the loader answers 0 to every one.
constexpr uint32_t LoaderWindowMessage = 1174;
// Restart the computer when the loader ends (after its cleanup); lParam is ignored.
constexpr uintptr_t RestartRequest = 10000;
// lParam: the language index for the loader's own texts shown after the setup program ends.
constexpr uintptr_t LanguageRequest = 10001;
