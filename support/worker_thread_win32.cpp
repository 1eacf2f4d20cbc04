#include "support/worker_thread.h"

#include <new>

#include "support/kernel_handle.h"

namespace {
// The work needs little stack; the rest of the default megabyte would only be reserved.
constexpr SIZE_T WorkerStackSize = 64 * 1024;
} // namespace

struct TWorkerThread::TSystem {
    TProc Proc = nullptr;
    void *Context = nullptr;
    TKernelHandle WakeEvent;
    TKernelHandle Thread;

    static DWORD WINAPI Main(void *Parameter) {
        TSystem *Self = static_cast<TSystem *>(Parameter);
        Self->Proc(Self->Context);
        return 0;
    }
};

TWorkerThread::TWorkerThread() = default;

TWorkerThread::~TWorkerThread() {
    Join();
}

bool TWorkerThread::Start(TProc Proc, void *Context) {
    // In place before the thread starts: its first wait may come at once.
    FSystem = new (std::nothrow) TSystem;
    if (!FSystem)
        return false;
    FSystem->Proc = Proc;
    FSystem->Context = Context;
    // Auto-reset: a wake-up stays signalled until one wait takes it.
    *FSystem->WakeEvent.Receive() = ::CreateEventA(/*Attributes=*/nullptr, /*ManualReset=*/FALSE,
                                                   /*InitialState=*/FALSE, /*Name=*/nullptr);
    if (FSystem->WakeEvent.Get())
        *FSystem->Thread.Receive() =
            ::CreateThread(/*Attributes=*/nullptr, WorkerStackSize, &TSystem::Main, FSystem,
                           STACK_SIZE_PARAM_IS_A_RESERVATION, /*ThreadId=*/nullptr);
    if (FSystem->Thread.Get())
        return true;
    delete FSystem;
    FSystem = nullptr;
    return false;
}

void TWorkerThread::Wake() {
    if (FSystem)
        ::SetEvent(FSystem->WakeEvent.Get());
}

void TWorkerThread::WaitForWake() {
    ::WaitForSingleObject(FSystem->WakeEvent.Get(), INFINITE);
}

void TWorkerThread::Join() {
    if (!FSystem)
        return;
    ::WaitForSingleObject(FSystem->Thread.Get(), INFINITE);
    delete FSystem;
    FSystem = nullptr;
}
