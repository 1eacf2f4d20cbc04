#include "loader/fs_redirection.h"

#include "support/path.h"
#include "support/system_function.h"
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
    const HMODULE Kernel = ::GetModuleHandleA("kernel32.dll");
    Wow64DisableWow64FsRedirectionFunc =
        FindSystemFunction<TWow64DisableFunc>(Kernel, "Wow64DisableWow64FsRedirection");
    Wow64RevertWow64FsRedirectionFunc =
        FindSystemFunction<TWow64RevertFunc>(Kernel, "Wow64RevertWow64FsRedirection");
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

namespace {

// The shared pattern of the guarded operations: the guard first (its failure is the result,
// with its error), then the operation, redirection switched back even if it throws, and the
// operation's own error left for the caller rather than the one of switching back.
template <class TOperation>
bool RunWithRedirectionGuard(bool DisableRedirection, TOperation Operation) {
    FsRedirectionSave State;
    if (!SuspendFsRedirection(DisableRedirection, State))
        return false;
    bool Result;
    DWORD Code;
    {
        TFsRedirectionScope Scope(State);
        Result = Operation();
        Code = ::GetLastError();
    }
    ::SetLastError(Code);
    return Result;
}

} // namespace

bool DeleteFileNoRedir(bool DisableRedirection, const std::string &Path) {
    return RunWithRedirectionGuard(DisableRedirection,
                                   [&] { return ::DeleteFileA(Path.c_str()) != 0; });
}

bool PathExistsNoRedir(bool DisableRedirection, const std::string &Path) {
    return RunWithRedirectionGuard(DisableRedirection, [&] { return IsExistingPath(Path); });
}

