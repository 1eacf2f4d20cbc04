// The guard that can switch the Wow64 file-system redirection off around one file operation,
// with the two functions looked up at start-up. Win32 only. The loader always passes
// DisableRedirection = false, so the guard then only runs the operation.
#pragma once

#include <string>

#include "support/win.h"

// True when kernel32 has both Wow64 redirection functions; set by InitSystemFunctions.
extern bool FsRedirectionSupported;
using TWow64DisableFunc = BOOL(WINAPI *)(PVOID *OldValue);
using TWow64RevertFunc = BOOL(WINAPI *)(PVOID OldValue);
extern TWow64DisableFunc Wow64DisableWow64FsRedirectionFunc;
extern TWow64RevertFunc Wow64RevertWow64FsRedirectionFunc;

// Start-up: looks the Wow64 functions up in kernel32 and loads shell32.dll for the life of the
// process without letting the system show a box if it is missing.
void InitSystemFunctions();

struct FsRedirectionSave {
    bool Disabled = false; // switched off by this guard, to be switched back
    void *OldValue = nullptr;
};

// True when the operation may run. Disable = false does nothing and succeeds; without the Wow64
// functions it fails with last error 1 (ERROR_INVALID_FUNCTION).
bool SuspendFsRedirection(bool Disable, FsRedirectionSave &State);
void ResumeFsRedirection(const FsRedirectionSave &State);
// DeleteFileA under the guard; the last error afterwards is that of DeleteFileA (or the guard's).
bool DeleteFileNoRedir(bool DisableRedirection, const std::string &Path);
// IsExistingPath under the guard; false when the guard failed.
bool PathExistsNoRedir(bool DisableRedirection, const std::string &Path);
