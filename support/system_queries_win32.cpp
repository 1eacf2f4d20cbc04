#include "support/system_queries.h"

#include "support/ansi_path.h"
#include "support/path.h"

uint32_t OsPlatformId = 0;

void InitOsPlatformId() {
    OSVERSIONINFOA Info = {};
    static_assert(sizeof(Info) == 148, "OSVERSIONINFOA is 148 bytes");
    Info.dwOSVersionInfoSize = sizeof(Info);
    if (::GetVersionExA(&Info))
        OsPlatformId = Info.dwPlatformId;
}

namespace {

// The identifier is read during start-up, before anything in main can ask for it.
struct TOsPlatformIdInit {
    TOsPlatformIdInit() { InitOsPlatformId(); }
} OsPlatformIdInit;

// Puts back the x87 control word and clears pending floating-point exceptions, also when a throw
// leaves the scope. Some libraries change the control word when they load.
class TFpuControlGuard {
public:
    TFpuControlGuard() { __asm__ __volatile__("fnstcw %0" : "=m"(FSaved)); }
    ~TFpuControlGuard() { __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(FSaved)); }
    TFpuControlGuard(const TFpuControlGuard &) = delete;
    TFpuControlGuard &operator=(const TFpuControlGuard &) = delete;

private:
    uint16_t FSaved;
};

// Puts back the previous process error mode when it leaves the scope.
class TErrorModeGuard {
public:
    explicit TErrorModeGuard(UINT Mode) : FPrevious(::SetErrorMode(Mode)) {}
    ~TErrorModeGuard() { ::SetErrorMode(FPrevious); }
    TErrorModeGuard(const TErrorModeGuard &) = delete;
    TErrorModeGuard &operator=(const TErrorModeGuard &) = delete;

private:
    UINT FPrevious;
};

} // namespace

std::string ReadEnvVar(const char *Name) {
    std::string Result(255, '\0');
    for (;;) {
        DWORD Count =
            ::GetEnvironmentVariableA(Name, &Result[0], static_cast<DWORD>(Result.size()));
        if (Count == 0)
            return std::string();
        // A count below the buffer size is the value's length; otherwise it is the size the
        // system asks for, and the string has just grown to it.
        if (FitStringLength(Result, static_cast<int32_t>(Count)))
            return Result;
    }
}

std::string QueryWindowsDirectory() {
    constexpr UINT BufferSize = 260;
    wchar_t Buffer[BufferSize];
    UINT Count = ::GetWindowsDirectoryW(Buffer, BufferSize);
    return AnsiFormOfSystemPath(Buffer, Count, BufferSize);
}

namespace {

// The variable's value when it names an existing directory and has a form for the ANSI
// functions (its exact conversion or its short form); empty otherwise. The value is read as the
// system holds it, in UTF-16: Wine's ANSI view of a value with double-byte characters is not
// the value's conversion.
std::string TempDirectoryFrom(const wchar_t *Name) {
    std::string Dir;
    if (!SelectAnsiPath(QueryWideText(::GetEnvironmentVariableW, Name), SystemAnsiPaths, Dir) ||
        !IsExistingDirectory(Dir))
        Dir.clear();
    return Dir;
}

} // namespace

std::string FindTempDirectory() {
    std::string Dir = TempDirectoryFrom(L"TMP");
    if (Dir.empty())
        Dir = TempDirectoryFrom(L"TEMP");
    if (Dir.empty() && OsPlatformId == PlatformWin32NT)
        Dir = TempDirectoryFrom(L"USERPROFILE");
    if (Dir.empty())
        Dir = QueryWindowsDirectory();
    return EnsureTrailingSeparator(MakeFullPath(Dir));
}

bool QueryRegistryText(HKEY Key, const char *Name, DWORD Type1, DWORD Type2, std::string &Value) {
    for (;;) {
        DWORD Type = 0;
        DWORD Size = 0;
        if (::RegQueryValueExA(Key, Name, /*Reserved=*/nullptr, &Type, /*Data=*/nullptr, &Size) !=
                ERROR_SUCCESS ||
            (Type != Type1 && Type != Type2))
            return false;
        if (Size == 0) {
            Value.clear();
            return true;
        }
        std::string Buffer(Size, '\0');
        LONG Status = ::RegQueryValueExA(Key, Name, /*Reserved=*/nullptr, &Type,
                                         reinterpret_cast<BYTE *>(&Buffer[0]), &Size);
        if (Status == ERROR_MORE_DATA)
            continue; // the value grew in between
        if (Status != ERROR_SUCCESS || (Type != Type1 && Type != Type2))
            return false;
        // A shrunk value reports its new size; stored strings may carry zero, one or more
        // terminating zero bytes.
        if (Size < Buffer.size())
            Buffer.resize(Size);
        while (!Buffer.empty() && Buffer.back() == '\0')
            Buffer.pop_back();
        Value = std::move(Buffer);
        return true;
    }
}

bool ReadRegistryString(HKEY Key, const char *Name, std::string &Value) {
    return QueryRegistryText(Key, Name, REG_SZ, REG_EXPAND_SZ, Value);
}

LONG OpenRegistryKeyInView(int32_t View, HKEY Root, const char *SubKey, DWORD Options,
                           REGSAM Access, HKEY &Key) {
    constexpr REGSAM Wow64Key64 = 0x0100; // KEY_WOW64_64KEY
    if (View == RegistryView64)
        Access |= Wow64Key64;
    return ::RegOpenKeyExA(Root, SubKey, Options, Access, &Key);
}

HMODULE LoadLibraryGuarded(const char *FileName, UINT Mode) {
    TErrorModeGuard ErrorMode(Mode);
    TFpuControlGuard FpuControl;
    return ::LoadLibraryA(FileName);
}
