// Linked into quovldr.exe only. The C++ runtime's error paths for strings and containers
// construct std::logic_error and friends, which drag in a second (reference-counted) string
// implementation and the standard exception classes. The loader's only such failure is a string
// that cannot grow, which is a lack of memory: it is reported as the runtime's out-of-memory
// exception (the final handler shows the out-of-memory text). The others cannot happen in the
// loader's code and end the process.
#include <cstdlib>
#include <new>
#include <unwind.h>

#include "support/win.h"

namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_alloc();
}
void __throw_length_error(const char *) {
    throw std::bad_alloc();
}
void __throw_logic_error(const char *) {
    std::abort();
}
void __throw_out_of_range(const char *) {
    std::abort();
}
void __throw_out_of_range_fmt(const char *, ...) {
    std::abort();
}
void __throw_invalid_argument(const char *) {
    std::abort();
}
} // namespace std

// Exceptions are thrown and caught on the loader's main thread, and on the one thread that decodes
// the setup program while the startup question is up (records/setup_package.h), which catches its
// own; the extraction's writer thread never throws (its failures are error codes,
// setupdata/program_writer.h). The runtime keeps the exception-handling globals (the stack of
// caught exceptions, the count of uncaught ones) per thread through emulated thread-local storage
// and guards its emergency exception pool with a Win32 mutex; together with the thread-key
// bookkeeping they bring in, that is about 5 KB of code and unwind tables the stub never needs.
// Two sets of globals do: the main thread's, and the other thread's, which may still be unwinding
// after the question is declined while the main thread throws and catches its own. The globals'
// layout is the one the C++ ABI fixes.
namespace __cxxabiv1 {
struct __cxa_eh_globals {
    void *CaughtExceptions;
    unsigned int UncaughtExceptions;
};
} // namespace __cxxabiv1

namespace {
__cxxabiv1::__cxa_eh_globals MainThreadGlobals;
__cxxabiv1::__cxa_eh_globals OtherThreadGlobals;
// Static initialisation runs on the main thread.
const DWORD MainThreadId = ::GetCurrentThreadId();
} // namespace

extern "C" {
__cxxabiv1::__cxa_eh_globals *__cxa_get_globals() noexcept {
    return ::GetCurrentThreadId() == MainThreadId ? &MainThreadGlobals : &OtherThreadGlobals;
}
__cxxabiv1::__cxa_eh_globals *__cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
}

// The mutex entry points of the runtime's win32 thread layer, as the unwinder's list of frame
// tables (sorted on the first throw) and the emergency exception pool call them. Two threads may
// throw at once (the main thread, and the decoding's while the startup question is declined), so
// they exclude each other; a lock is held for a few instructions, or once for the first sort, so
// a waiter yields and tries again rather than sleeping on a semaphore. The counter keeps the
// runtime's meaning: -1 free, 0 and above held.
struct TRuntimeMutex {
    long Counter;
    void *Semaphore; // the runtime's, never created here
};
void __gthr_win32_mutex_init_function(TRuntimeMutex *Mutex) {
    Mutex->Counter = -1;
}
void __gthr_win32_mutex_destroy(TRuntimeMutex *) {}
int __gthr_win32_mutex_lock(TRuntimeMutex *Mutex) {
    while (::InterlockedIncrement(&Mutex->Counter) != 0) {
        ::InterlockedDecrement(&Mutex->Counter);
        ::Sleep(0);
    }
    return 0;
}
int __gthr_win32_mutex_unlock(TRuntimeMutex *Mutex) {
    ::InterlockedDecrement(&Mutex->Counter);
    return 0;
}

// Pseudo-relocations patch addresses of data imported from DLLs at start-up; the loader imports
// functions only, so the linker's list is empty and the runtime's relocator (with the section
// walker and the diagnostics it prints) stays out. Should the list ever be non-empty, the stub
// stops at once instead of running with unpatched addresses.
extern const char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern const char __RUNTIME_PSEUDO_RELOC_LIST_END__[];
void _pei386_runtime_relocator() {
    const char *First = __RUNTIME_PSEUDO_RELOC_LIST__;
    const char *End = __RUNTIME_PSEUDO_RELOC_LIST_END__;
    if (First != End)
        std::abort();
}

// Whole-program optimisation gives a function whose unwind actions appear only through link-time
// inlining (cleanups of inlined string temporaries, say) the language-neutral personality
// routine, which runs cleanups and never catches. The C++ routine reads those cleanup-only
// tables the same way, so it serves them too, without a second routine in the stub. Targets that
// unwind through the system's structured exception handling (the x86-64 build) have other
// routines and keep the runtime's.
#ifndef __SEH__
_Unwind_Reason_Code __gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                         _Unwind_Exception *, _Unwind_Context *);
__attribute__((used)) _Unwind_Reason_Code __gcc_personality_v0(int Version, _Unwind_Action Actions,
                                                               _Unwind_Exception_Class Class,
                                                               _Unwind_Exception *Object,
                                                               _Unwind_Context *Context) {
    return __gxx_personality_v0(Version, Actions, Class, Object, Context);
}
#endif
}
