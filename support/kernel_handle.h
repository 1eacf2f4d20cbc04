// The owner of a kernel object handle (a process, a token, a thread, an event). Win32 only.
#pragma once

#include "support/win.h"

// Owns a kernel object handle; CloseHandle when it goes away.
class TKernelHandle {
public:
    TKernelHandle() = default;
    explicit TKernelHandle(HANDLE Handle) : FHandle(Handle) {}
    TKernelHandle(const TKernelHandle &) = delete;
    TKernelHandle &operator=(const TKernelHandle &) = delete;
    ~TKernelHandle() {
        if (FHandle)
            ::CloseHandle(FHandle);
    }
    HANDLE Get() const { return FHandle; }
    HANDLE *Receive() { return &FHandle; }

private:
    HANDLE FHandle = nullptr;
};
