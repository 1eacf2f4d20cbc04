// The hidden loader window through which the setup program sends its requests while it runs.
// Win32 only. The window is owned by whoever holds the TWindowHandle; it borrows the requests
// record of the run, which must outlive it.
#pragma once

#include <cstdint>

#include "loader/child_process.h" // the window message and its requests
#include "support/win.h"

// What the setup program asked of the loader; part of the run's state.
struct TLoaderRequests {
    bool Restart = false;       // only ever set to true
    int32_t LanguageIndex = -1; // the index of the last language request; -1 while none came
};

// Owns a window; DestroyWindow when it goes away.
class TWindowHandle {
public:
    TWindowHandle() = default;
    explicit TWindowHandle(HWND Handle) : FHandle(Handle) {}
    TWindowHandle(TWindowHandle &&Other) noexcept : FHandle(Other.Detach()) {}
    TWindowHandle &operator=(TWindowHandle &&Other) noexcept;
    TWindowHandle(const TWindowHandle &) = delete;
    TWindowHandle &operator=(const TWindowHandle &) = delete;
    ~TWindowHandle();

    HWND Get() const { return FHandle; }
    HWND Detach() {
        HWND Handle = FHandle;
        FHandle = nullptr;
        return Handle;
    }

private:
    HWND FHandle = nullptr;
};

// The hidden "STATIC" window named "QuovSetupLdrWindow", subclassed with LoaderWndProc, which
// records the requests in Requests. Failures are not detected: the setup program then gets a
// useless handle and its requests are lost.
TWindowHandle CreateLoaderWindow(TLoaderRequests &Requests);
LRESULT CALLBACK LoaderWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
// Translates and dispatches every queued message; never blocks.
void PumpMessages();
