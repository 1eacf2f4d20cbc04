#include "loader/loader_window.h"

namespace {
// The STATIC class's procedure, as the subclassing returned it.
WNDPROC StaticWndProc = nullptr;
} // namespace

TWindowHandle &TWindowHandle::operator=(TWindowHandle &&Other) noexcept {
    if (this != &Other) {
        if (FHandle)
            ::DestroyWindow(FHandle);
        FHandle = Other.Detach();
    }
    return *this;
}

TWindowHandle::~TWindowHandle() {
    if (FHandle)
        ::DestroyWindow(FHandle);
}

TWindowHandle CreateLoaderWindow(TLoaderRequests &Requests) {
    HWND Window = ::CreateWindowExA(/*ExStyle=*/0, "STATIC", "QuovSetupLdrWindow", /*Style=*/0, 0,
                                    0, 0, 0, /*Parent=*/nullptr, /*Menu=*/nullptr,
                                    ::GetModuleHandleA(nullptr), /*Param=*/nullptr);
    // The window's user data carry the requests record: set before the procedure that reads it.
    // Both are pointers; the 64-bit build (a test vehicle) needs the pointer-sized calls, which
    // the 32-bit system headers only map onto these.
#ifdef _WIN64
    ::SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Requests));
    StaticWndProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LoaderWndProc)));
#else
    ::SetWindowLongA(Window, GWL_USERDATA, static_cast<LONG>(reinterpret_cast<LONG_PTR>(&Requests)));
    StaticWndProc = reinterpret_cast<WNDPROC>(::SetWindowLongA(
        Window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(&LoaderWndProc))));
#endif
    return TWindowHandle(Window);
}

LRESULT CALLBACK LoaderWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    switch (Message) {
    case WM_QUERYENDSESSION:
        // The loader does not agree to a log-off or shutdown while the setup program runs.
        return 0;
    case LoaderWindowMessage: {
#ifdef _WIN64
        TLoaderRequests &Requests =
            *reinterpret_cast<TLoaderRequests *>(::GetWindowLongPtrA(Window, GWLP_USERDATA));
#else
        TLoaderRequests &Requests = *reinterpret_cast<TLoaderRequests *>(
            static_cast<LONG_PTR>(::GetWindowLongA(Window, GWL_USERDATA)));
#endif
        if (WParam == RestartRequest)
            Requests.Restart = true;
        else if (WParam == LanguageRequest)
            Requests.LanguageIndex = static_cast<int32_t>(LParam);
        return 0;
    }
    default:
        return ::CallWindowProcA(StaticWndProc, Window, Message, WParam, LParam);
    }
}

void PumpMessages() {
    MSG Msg;
    while (::PeekMessageA(&Msg, /*Window=*/nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&Msg);
        ::DispatchMessageA(&Msg);
    }
}
