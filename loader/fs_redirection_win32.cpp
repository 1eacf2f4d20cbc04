#include "loader/fs_redirection.h"

#include "support/path.h"
#include "support/system_queries.h"

bool FsRedirectionSupported = false;
TWow64DisableFunc Wow64DisableWow64FsRedirectionFunc = nullptr;
TWow64RevertFunc Wow64RevertWow64FsRedirectionFunc = nullptr;

namespace {

// Puts the redirection back when the guarded operation is over, whatever it did.
class TFsRedirectionScope {
public:
    explicit TFsRedirectionScope(const FsRedirectionSave &State) : FState(State) {}
    TFsRedirectionScope(const TFsRedirectionScope &) = delete;
    TFsRedirectionScope &operator=(const TFsRedirectionScope &) = delete;
    ~TFsRedirectionScope() { ResumeFsRedirection(FState); }

private:
    const FsRedirectionSave &FState;
};

} // namespace

void InitSystemFunctions() {
    HMODULE Kernel = ::GetModuleHandleA("kernel32.dll");
    if (Kernel) {
        Wow64DisableWow64FsRedirectionFunc = reinterpret_cast<TWow64DisableFunc>(
            reinterpret_cast<void *>(::GetProcAddress(Kernel, "Wow64DisableWow64FsRedirection")));
        Wow64RevertWow64FsRedirectionFunc = reinterpret_cast<TWow64RevertFunc>(
            reinterpret_cast<void *>(::GetProcAddress(Kernel, "Wow64RevertWow64FsRedirection")));
    }
    FsRedirectionSupported =
        Wow64DisableWow64FsRedirectionFunc != nullptr && Wow64RevertWow64FsRedirectionFunc != nullptr;
    // Loaded once and kept: none of its functions is called.
    LoadLibraryGuarded("shell32.dll", SEM_NOOPENFILEERRORBOX);
}

bool SuspendFsRedirection(bool Disable, FsRedirectionSave &State) {
    State.Disabled = false;
    if (!Disable)
        return true;
    if (!FsRedirectionSupported) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    const bool Done = Wow64DisableWow64FsRedirectionFunc(&State.OldValue) != 0;
    State.Disabled = Done;
    return Done;
}

void ResumeFsRedirection(const FsRedirectionSave &State) {
    if (State.Disabled)
        Wow64RevertWow64FsRedirectionFunc(State.OldValue);
}

bool DeleteFileNoRedir(bool DisableRedirection, const std::string &Path) {
    FsRedirectionSave State;
    if (!SuspendFsRedirection(DisableRedirection, State))
        return false;
    BOOL Deleted;
    DWORD Code;
    {
        TFsRedirectionScope Scope(State);
        Deleted = ::DeleteFileA(Path.c_str());
        Code = ::GetLastError();
    }
    // The caller looks at the deletion's error, not at the one of switching redirection back.
    ::SetLastError(Code);
    return Deleted != 0;
}

bool PathExistsNoRedir(bool DisableRedirection, const std::string &Path) {
    FsRedirectionSave State;
    if (!SuspendFsRedirection(DisableRedirection, State))
        return false;
    bool Exists;
    DWORD Code;
    {
        TFsRedirectionScope Scope(State);
        Exists = IsExistingPath(Path);
        Code = ::GetLastError();
    }
    ::SetLastError(Code);
    return Exists;
}

