// The hidden loader window through which the setup program sends its requests, the run of the
// setup program with a serviced message queue, and the restart. Win32 only. The window is owned
// by whoever holds the TWindowHandle; the flags it sets live here and in records/language.h.
#pragma once

#include <cstdint>
#include <string>

#include "records/loader_contract.h"
#include "support/win.h"

// Set by the setup program's restart request; only ever set to true.
extern bool RestartRequested;
// The STATIC class's procedure, as the subclassing returned it.
extern WNDPROC StaticWndProc;

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

// The hidden "STATIC" window named "QuovSetupLdrWindow", subclassed with LoaderWndProc. Failures
// are not detected: the setup program then gets a useless handle and its requests are lost.
TWindowHandle CreateLoaderWindow();
LRESULT CALLBACK LoaderWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
// Translates and dispatches every queued message; never blocks.
void PumpMessages();
// Starts "ExePath" Parameters, services the message queue until the process ends and returns its
// exit code. Throws Exception (message 96 around message 98) when it cannot be started.
uint32_t RunSetupProgram(const std::string &ExePath, const std::string &Parameters);
// Asks the system to restart (with the shutdown privilege on NT); false when that failed.
bool RebootSystem();
