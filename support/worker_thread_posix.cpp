#include "support/worker_thread.h"

#include <new>
#include <pthread.h>

struct TWorkerThread::TSystem {
    TProc Proc = nullptr;
    void *Context = nullptr;
    pthread_t Thread;
    pthread_mutex_t Lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t Woken = PTHREAD_COND_INITIALIZER;
    bool WakePending = false;

    static void *Main(void *Parameter) {
        TSystem *Self = static_cast<TSystem *>(Parameter);
        Self->Proc(Self->Context);
        return nullptr;
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
    if (pthread_create(&FSystem->Thread, nullptr, &TSystem::Main, FSystem) == 0)
        return true;
    delete FSystem;
    FSystem = nullptr;
    return false;
}

void TWorkerThread::Wake() {
    if (!FSystem)
        return;
    pthread_mutex_lock(&FSystem->Lock);
    FSystem->WakePending = true;
    pthread_cond_signal(&FSystem->Woken);
    pthread_mutex_unlock(&FSystem->Lock);
}

void TWorkerThread::WaitForWake() {
    pthread_mutex_lock(&FSystem->Lock);
    while (!FSystem->WakePending)
        pthread_cond_wait(&FSystem->Woken, &FSystem->Lock);
    FSystem->WakePending = false;
    pthread_mutex_unlock(&FSystem->Lock);
}

void TWorkerThread::Join() {
    if (!FSystem)
        return;
    pthread_join(FSystem->Thread, nullptr);
    delete FSystem;
    FSystem = nullptr;
}
