#include "filesetup/setup_window.h"

#include <exception>

#include <commctrl.h>
#include <shlobj.h>

#include "filesetup/tree_install.h"
#include "support/kernel_handle.h"

namespace {

constexpr int ControlEdit = 101;
constexpr int ControlBrowse = 102;
constexpr int ControlInstall = IDOK;
constexpr int ControlCancel = IDCANCEL;
constexpr UINT MessageWorkDone = WM_APP + 1;
constexpr UINT_PTR RefreshTimer = 1;
constexpr UINT RefreshMilliseconds = 100;
constexpr int ProgressSteps = 1000;

// Owns a critical section: the progress the worker leaves for the window.
class TCriticalSection {
public:
    TCriticalSection() { ::InitializeCriticalSection(&FSection); }
    ~TCriticalSection() { ::DeleteCriticalSection(&FSection); }
    TCriticalSection(const TCriticalSection &) = delete;
    TCriticalSection &operator=(const TCriticalSection &) = delete;
    void Enter() { ::EnterCriticalSection(&FSection); }
    void Leave() { ::LeaveCriticalSection(&FSection); }

private:
    CRITICAL_SECTION FSection;
};

// What a shown window answers with, set by its window procedure.
struct TWindowState {
    bool Closed = false;
    int Choice = ControlCancel;
    std::wstring Target;
    const TWelcomeTexts *Texts = nullptr;
    // The progress window's.
    TCriticalSection Lock;
    std::wstring CurrentFile;
    uint64_t Done = 0, Total = 0;
    bool WorkDone = false;
    std::atomic<bool> *Cancel = nullptr;
    const std::wstring *ConfirmText = nullptr;
    const std::wstring *Title = nullptr;
};

HWND MakeControl(HWND Parent, const wchar_t *Class, const std::wstring &Text, DWORD Style, int X,
                 int Y, int Width, int Height, int Id) {
    HWND Control = ::CreateWindowExW(
        Class == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, Class, Text.c_str(),
        WS_CHILD | WS_VISIBLE | Style, X, Y, Width, Height, Parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), nullptr, nullptr);
    ::SendMessageW(Control, WM_SETFONT,
                   reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return Control;
}

std::wstring WindowText(HWND Window) {
    std::wstring Text(size_t(::GetWindowTextLengthW(Window)) + 1, L'\0');
    Text.resize(size_t(::GetWindowTextW(Window, &Text[0], int(Text.size()))));
    return Text;
}

void Browse(HWND Window, TWindowState &State) {
    HWND Edit = ::GetDlgItem(Window, ControlEdit);
    const std::wstring Current = WindowText(Edit);
    const size_t Slash = Current.find_last_of(L"\\/");
    const std::wstring Leaf = Slash == std::wstring::npos ? Current : Current.substr(Slash + 1);
    BROWSEINFOW Info = {};
    Info.hwndOwner = Window;
    Info.lpszTitle = State.Texts->BrowsePrompt.c_str();
    Info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST Chosen = ::SHBrowseForFolderW(&Info);
    if (!Chosen)
        return;
    wchar_t Path[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(Chosen, Path)) {
        // The application's own folder goes inside the one chosen.
        std::wstring Folder = Path;
        if (!Folder.empty() && Folder.back() != L'\\')
            Folder += L'\\';
        ::SetWindowTextW(Edit, (Folder + Leaf).c_str());
    }
    ::CoTaskMemFree(Chosen);
}

LRESULT CALLBACK SetupWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    TWindowState *State =
        reinterpret_cast<TWindowState *>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
    switch (Message) {
    case WM_NCCREATE:
        ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
            reinterpret_cast<CREATESTRUCTW *>(LParam)->lpCreateParams));
        break;
    case WM_COMMAND:
        if (!State)
            break;
        switch (LOWORD(WParam)) {
        case ControlBrowse:
            Browse(Window, *State);
            return 0;
        case ControlInstall:
            State->Target = WindowText(::GetDlgItem(Window, ControlEdit));
            State->Choice = ControlInstall;
            State->Closed = true;
            return 0;
        case ControlCancel:
            if (State->Cancel) {
                if (!State->Cancel->load() &&
                    ::MessageBoxW(Window, State->ConfirmText->c_str(), State->Title->c_str(),
                                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
                    State->Cancel->store(true);
                return 0;
            }
            State->Closed = true;
            return 0;
        }
        break;
    case WM_TIMER:
        if (State && State->Cancel) {
            State->Lock.Enter();
            const std::wstring File = State->CurrentFile;
            const uint64_t Done = State->Done, Total = State->Total;
            State->Lock.Leave();
            ::SetDlgItemTextW(Window, ControlEdit, File.c_str());
            const int Position = Total ? int(Done * ProgressSteps / Total) : 0;
            ::SendDlgItemMessageW(Window, ControlBrowse, PBM_SETPOS, WPARAM(Position), 0);
        }
        return 0;
    case MessageWorkDone:
        if (State)
            State->Closed = true;
        return 0;
    case WM_CLOSE:
        ::SendMessageW(Window, WM_COMMAND, ControlCancel, 0);
        return 0;
    }
    return ::DefWindowProcW(Window, Message, WParam, LParam);
}

// A centred window of the setup's class, with client size Width x Height.
HWND MakeSetupWindow(const std::wstring &Title, int Width, int Height, TWindowState &State) {
    static const wchar_t ClassName[] = L"QuovFileSetup";
    WNDCLASSW Class = {};
    Class.lpfnWndProc = SetupWindowProc;
    Class.hInstance = ::GetModuleHandleW(nullptr);
    Class.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Class.hIcon = ::LoadIcon(nullptr, IDI_APPLICATION);
    Class.lpszClassName = ClassName;
    ::RegisterClassW(&Class);
    const DWORD Style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT Frame = {0, 0, Width, Height};
    ::AdjustWindowRect(&Frame, Style, FALSE);
    const int W = Frame.right - Frame.left, H = Frame.bottom - Frame.top;
    return ::CreateWindowExW(WS_EX_DLGMODALFRAME, ClassName, Title.c_str(), Style,
                             (::GetSystemMetrics(SM_CXSCREEN) - W) / 2,
                             (::GetSystemMetrics(SM_CYSCREEN) - H) / 2, W, H, nullptr, nullptr,
                             Class.hInstance, &State);
}

// Pumps messages until the window's state says it is done.
void RunUntilClosed(HWND Window, TWindowState &State) {
    MSG Message;
    while (!State.Closed && ::GetMessageW(&Message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(Window, &Message)) {
            ::TranslateMessage(&Message);
            ::DispatchMessageW(&Message);
        }
    }
}

struct TWorkContext {
    const std::function<void(const TInstallProgress &)> *Work;
    TWindowState *State;
    HWND Window;
    std::exception_ptr Failure;
};

DWORD WINAPI WorkThread(void *Parameter) {
    TWorkContext &Context = *static_cast<TWorkContext *>(Parameter);
    TWindowState &State = *Context.State;
    try {
        (*Context.Work)([&](const std::string &Path, uint64_t Done, uint64_t Total) {
            const std::wstring Wide = Utf8ToWide(Path);
            State.Lock.Enter();
            State.CurrentFile = Wide;
            State.Done = Done;
            State.Total = Total;
            State.Lock.Leave();
        });
    } catch (...) {
        Context.Failure = std::current_exception();
    }
    ::PostMessageW(Context.Window, MessageWorkDone, 0, 0);
    return 0;
}

} // namespace

bool AskForTarget(const TWelcomeTexts &Texts, std::wstring &Target) {
    TWindowState State;
    State.Texts = &Texts;
    HWND Window = MakeSetupWindow(Texts.Title, 440, 170, State);
    if (!Window)
        return true; // no window to ask in: the folder as it is
    MakeControl(Window, L"STATIC", Texts.Ready, 0, 12, 12, 416, 40, -1);
    MakeControl(Window, L"STATIC", Texts.FolderLabel, 0, 12, 60, 416, 18, -1);
    MakeControl(Window, L"EDIT", Target, WS_TABSTOP | ES_AUTOHSCROLL, 12, 80, 320, 24, ControlEdit);
    MakeControl(Window, L"BUTTON", Texts.Browse, WS_TABSTOP, 340, 79, 88, 26, ControlBrowse);
    MakeControl(Window, L"BUTTON", Texts.Install, WS_TABSTOP | BS_DEFPUSHBUTTON, 244, 130, 88,
                28, ControlInstall);
    MakeControl(Window, L"BUTTON", Texts.Cancel, WS_TABSTOP, 340, 130, 88, 28, ControlCancel);
    ::ShowWindow(Window, SW_SHOW);
    ::SetForegroundWindow(Window);
    RunUntilClosed(Window, State);
    ::DestroyWindow(Window);
    if (State.Choice != ControlInstall)
        return false;
    Target = State.Target;
    return true;
}

void RunWithProgressWindow(const std::wstring &Title, const std::wstring &Heading,
                           const std::wstring &CancelText, const std::wstring &ConfirmText,
                           std::atomic<bool> &Cancel,
                           const std::function<void(const TInstallProgress &Shown)> &Work) {
    INITCOMMONCONTROLSEX Controls = {sizeof Controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&Controls);
    TWindowState State;
    State.Cancel = &Cancel;
    State.ConfirmText = &ConfirmText;
    State.Title = &Title;
    HWND Window = MakeSetupWindow(Title, 440, 130, State);
    TWorkContext Context{&Work, &State, Window, nullptr};
    if (!Window) {
        Work([](const std::string &, uint64_t, uint64_t) {});
        return;
    }
    MakeControl(Window, L"STATIC", Heading, 0, 12, 12, 416, 18, -1);
    // The current file goes where the first window had its folder box.
    MakeControl(Window, L"STATIC", L"", SS_PATHELLIPSIS, 12, 34, 416, 18, ControlEdit);
    HWND Bar = MakeControl(Window, PROGRESS_CLASSW, L"", 0, 12, 58, 416, 18, ControlBrowse);
    ::SendMessageW(Bar, PBM_SETRANGE32, 0, ProgressSteps);
    MakeControl(Window, L"BUTTON", CancelText, WS_TABSTOP, 340, 92, 88, 28, ControlCancel);
    ::ShowWindow(Window, SW_SHOW);
    ::SetTimer(Window, RefreshTimer, RefreshMilliseconds, nullptr);
    TKernelHandle Thread(::CreateThread(nullptr, 0, WorkThread, &Context, 0, nullptr));
    if (!Thread.Get()) {
        ::DestroyWindow(Window);
        Work([](const std::string &, uint64_t, uint64_t) {});
        return;
    }
    RunUntilClosed(Window, State);
    ::WaitForSingleObject(Thread.Get(), INFINITE);
    ::KillTimer(Window, RefreshTimer);
    ::DestroyWindow(Window);
    if (Context.Failure)
        std::rethrow_exception(Context.Failure);
}

void ShowSetupMessage(HWND Owner, const std::wstring &Title, const std::wstring &Text, UINT Icon) {
    ::MessageBoxW(Owner, Text.c_str(), Title.c_str(), MB_OK | Icon);
}
