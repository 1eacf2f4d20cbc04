// Small wrappers around system queries: environment, Windows and temporary directories, registry
// strings, guarded library loading. Owns nothing beyond the call; every call asks the system anew.
// Never throws: failures give an empty string, false, null or the system's error code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// dwPlatformId of the running system (2: NT family), 0 if the system could not tell. Set once
// before main by InitOsPlatformId (host: 2).
extern uint32_t OsPlatformId;
constexpr uint32_t PlatformWin32NT = 2; // VER_PLATFORM_WIN32_NT

// Reads the platform identifier into OsPlatformId; runs by itself during start-up.
void InitOsPlatformId();

// Sets the length of S to N (N >= 0), keeping its leading bytes; true if N is less than the
// length S had before.
bool FitStringLength(std::string &S, int32_t N);

// The value of an environment variable; empty if it is not set or empty.
std::string ReadEnvVar(const char *Name);

// An absolute directory for temporary files, ending in a separator: the first of TMP, TEMP and
// (NT family) USERPROFILE that names an existing directory and has a form for the ANSI functions
// (SelectAnsiPath, ansi_path.h: a value the code page cannot hold gives its short form), else
// the Windows directory.
// Host: TMP, TEMP, then "/tmp"; the result ends in '/' (a backslash is a name byte there).
std::string FindTempDirectory();

// Destroys the object that Ref holds, after Ref has been set to null (so the object's destructor
// already sees a null reference). Nothing happens for a null Ref.
template <typename T> void DestroyAndClear(T *&Ref) noexcept {
    T *Object = Ref;
    Ref = nullptr;
    delete Object;
}

template <typename T, typename D> void DestroyAndClear(std::unique_ptr<T, D> &Ref) noexcept {
    std::unique_ptr<T, D> Object(std::move(Ref)); // Ref is null from here on
    Object.reset();
}

#ifdef _WIN32
#include "support/win.h"

constexpr int32_t RegistryViewDefault = 0;
constexpr int32_t RegistryView64 = 2;

// The Windows directory as the system gives it (no trailing backslash), in the form
// SelectAnsiPath picks; empty if the call fails.
std::string QueryWindowsDirectory();

// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded) without its terminating zero bytes.
// True with Value set on success; false with Value untouched otherwise.
bool ReadRegistryString(HKEY Key, const char *Name, std::string &Value);

// The reader behind ReadRegistryString, for a value of type Type1 or Type2.
bool QueryRegistryText(HKEY Key, const char *Name, DWORD Type1, DWORD Type2, std::string &Value);

// RegOpenKeyExA in the given view (RegistryView64 adds KEY_WOW64_64KEY to Access); returns the
// call's error code unchanged (0 on success). The caller closes Key with RegCloseKey.
LONG OpenRegistryKeyInView(int32_t View, HKEY Root, const char *SubKey, DWORD Options,
                           REGSAM Access, HKEY &Key);

// LoadLibraryA under the error mode Mode, with the previous error mode and x87 control word put
// back afterwards (pending floating-point exceptions cleared). Null if the library cannot be
// loaded.
HMODULE LoadLibraryGuarded(const char *FileName, UINT Mode);
#endif
