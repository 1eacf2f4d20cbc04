// A second thread for work that runs beside the caller's, and the wake-up signal the two share.
// Owns the thread and the signal; the work's data belong to the caller. A support helper: it
// never throws, and Start says whether a thread runs at all.
#pragma once

class TWorkerThread {
public:
    using TProc = void (*)(void *Context);

    TWorkerThread();
    // Joins a thread that still runs.
    ~TWorkerThread();
    TWorkerThread(const TWorkerThread &) = delete;
    TWorkerThread &operator=(const TWorkerThread &) = delete;

    // Runs Proc(Context) on a new thread. False when the system starts none: nothing runs then,
    // and the caller does the work itself. Proc must not throw.
    bool Start(TProc Proc, void *Context);
    // Wakes the thread from WaitForWake. A wake-up given while it is not waiting is kept for its
    // next wait, so nothing is lost between its last look at the shared data and its wait.
    void Wake();
    // For the thread itself: sleeps until the next wake-up, or returns at once if one is kept.
    void WaitForWake();
    // Waits until Proc has returned; returns at once when no thread runs.
    void Join();

private:
    // The platform's thread and signal; owned, none while no thread runs.
    struct TSystem;
    TSystem *FSystem = nullptr;
};
