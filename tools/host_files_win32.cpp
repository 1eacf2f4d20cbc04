#include "tools/host_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <mutex>

#include "support/win.h"
#include <shellapi.h>

namespace {

// The exit status of a console program ended by Ctrl-C, as the system's own handler gives it.
constexpr UINT ControlCExitStatus = 0xC000013A;
// ReadFile and WriteFile take a DWORD count: larger transfers go in pieces.
constexpr size_t MaxTransfer = 1u << 30;

std::wstring Wide(const std::string &Utf8) { return HostWideText(Utf8); }

std::string Utf8(const wchar_t *Text, size_t Length) {
    if (Length == 0)
        return std::string();
    const int Count = ::WideCharToMultiByte(CP_UTF8, 0, Text, static_cast<int>(Length), nullptr, 0,
                                            nullptr, nullptr);
    std::string Out(static_cast<size_t>(Count), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text, static_cast<int>(Length), &Out[0], Count, nullptr,
                          nullptr);
    return Out;
}

// The system's own words for an error code, without the line end.
std::string SystemText(DWORD Error) {
    wchar_t Buffer[512];
    const DWORD Count = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         /*Source=*/nullptr, Error, /*LanguageId=*/0, Buffer,
                                         sizeof(Buffer) / sizeof(Buffer[0]), /*Arguments=*/nullptr);
    std::string Text = Utf8(Buffer, Count);
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ' '))
        Text.pop_back();
    return Text.empty() ? "system error " + std::to_string(Error) : Text;
}

HANDLE Raw(const THostFd &Fd) { return reinterpret_cast<HANDLE>(Fd.Get()); }
intptr_t Owned(HANDLE Handle) { return reinterpret_cast<intptr_t>(Handle); }

// Opens an existing file or device; the handle is INVALID_HANDLE_VALUE (-1) on failure.
THostFd OpenExisting(const std::string &Path, DWORD Access) {
    return THostFd(Owned(::CreateFileW(Wide(Path).c_str(), Access,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       /*Security=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                       /*Template=*/nullptr)));
}

// One search of FindFirstFileW, closed on every path.
class TFindHandle {
public:
    explicit TFindHandle(HANDLE Handle) : FHandle(Handle) {}
    ~TFindHandle() {
        if (FHandle != INVALID_HANDLE_VALUE)
            ::FindClose(FHandle);
    }
    TFindHandle(const TFindHandle &) = delete;
    TFindHandle &operator=(const TFindHandle &) = delete;
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

// Memory the system allocated with LocalAlloc (the argument vector).
struct TLocalFree {
    void operator()(void *Memory) const { ::LocalFree(Memory); }
};

// The temporary names the console handler removes. The handler runs on a thread of its own,
// so the table is guarded by a lock, which the handler keeps until the process is gone.
std::mutex PendingLock;
std::wstring PendingPaths[8];

BOOL WINAPI RemovePendingAndExit(DWORD /*Event*/) {
    PendingLock.lock();
    for (const std::wstring &Path : PendingPaths)
        if (!Path.empty())
            ::DeleteFileW(Path.c_str()); // opened with FILE_SHARE_DELETE: gone when it closes
    // Ends at once: exit handlers might wait for a lock that the main thread holds.
    ::TerminateProcess(::GetCurrentProcess(), ControlCExitStatus);
    return TRUE;
}

// Reads up to Count bytes at Offset and puts the file position back; the count read.
size_t ReadAtOffset(THostInput &In, uint64_t Offset, void *Buffer, size_t Count) {
    LARGE_INTEGER Zero = {}, Position = {}, Target = {};
    Target.QuadPart = static_cast<LONGLONG>(Offset);
    if (!::SetFilePointerEx(Raw(In.Fd), Zero, &Position, FILE_CURRENT) ||
        !::SetFilePointerEx(Raw(In.Fd), Target, nullptr, FILE_BEGIN))
        throw EInputError(In.Role + " " + In.Path + ": " + SystemText(::GetLastError()));
    size_t Done = 0;
    while (Done < Count) {
        DWORD Got = 0;
        const DWORD Want = static_cast<DWORD>(std::min(Count - Done, MaxTransfer));
        if (!::ReadFile(Raw(In.Fd), static_cast<uint8_t *>(Buffer) + Done, Want, &Got, nullptr))
            throw EInputError(In.Role + " " + In.Path + ": " + SystemText(::GetLastError()));
        if (Got == 0)
            break;
        Done += Got;
    }
    if (!::SetFilePointerEx(Raw(In.Fd), Position, nullptr, FILE_BEGIN))
        throw EInputError(In.Role + " " + In.Path + ": " + SystemText(::GetLastError()));
    return Done;
}

// The file's identity: volume serial number and file index, as device and inode elsewhere.
bool FileIdentity(const std::string &Path, BY_HANDLE_FILE_INFORMATION &Info) {
    THostFd File = OpenExisting(Path, 0);
    return File.Get() != -1 && ::GetFileInformationByHandle(Raw(File), &Info);
}

std::wstring FullPath(const std::string &Path) {
    const std::wstring Name = Wide(Path);
    std::wstring Full(32768, L'\0');
    const DWORD Length = ::GetFullPathNameW(Name.c_str(), static_cast<DWORD>(Full.size()),
                                            &Full[0], nullptr);
    Full.resize(Length < Full.size() ? Length : 0);
    return Full;
}

} // namespace

std::wstring HostWideText(const std::string &Utf8) {
    if (Utf8.empty())
        return std::wstring();
    const int Count = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()),
                                            nullptr, 0);
    std::wstring Text(static_cast<size_t>(Count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), &Text[0], Count);
    return Text;
}

bool THostFd::Close() {
    bool Closed = true;
    if (FFd != -1)
        Closed = ::CloseHandle(reinterpret_cast<HANDLE>(FFd)) != 0;
    FFd = -1;
    return Closed;
}

THostInput OpenHostInput(const std::string &Path, const std::string &Role, uint64_t MaxSize,
                         const std::string &MaxText) {
    THostInput In;
    In.Path = Path;
    In.Role = Role;
    auto Refuse = [&](const std::string &Why) { throw EInputError(Role + " " + Path + ": " + Why); };
    // A folder does not open as a file; the system's reason would be "Access is denied".
    if (IsHostFolder(Path))
        Refuse("it is a folder");
    In.Fd = OpenExisting(Path, GENERIC_READ);
    if (In.Fd.Get() == -1)
        Refuse(SystemText(::GetLastError()));
    if (::GetFileType(Raw(In.Fd)) != FILE_TYPE_DISK)
        Refuse("not a regular file");
    LARGE_INTEGER Size = {};
    if (!::GetFileSizeEx(Raw(In.Fd), &Size))
        Refuse(SystemText(::GetLastError()));
    In.Size = static_cast<uint64_t>(Size.QuadPart);
    if (In.Size > MaxSize)
        Refuse("it has " + std::to_string(In.Size) + " bytes; " + MaxText);
    return In;
}

void ReadHostInput(THostInput &In, void *Buffer, size_t Count) {
    uint8_t *P = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        DWORD Got = 0;
        if (!::ReadFile(Raw(In.Fd), P, static_cast<DWORD>(std::min(Count, MaxTransfer)), &Got,
                        nullptr))
            throw EInputError(In.Role + " " + In.Path + ": " + SystemText(::GetLastError()));
        if (Got == 0)
            throw EInputError(In.Role + " " + In.Path +
                              ": the file became shorter while it was read");
        P += Got;
        Count -= Got;
    }
}

size_t ReadHostInputUpTo(THostInput &In, uint64_t Offset, void *Buffer, size_t Count) {
    return ReadAtOffset(In, Offset, Buffer, Count);
}

void ReadHostInputAt(THostInput &In, uint64_t Offset, void *Buffer, size_t Count) {
    if (ReadAtOffset(In, Offset, Buffer, Count) != Count)
        throw EInputError(In.Role + " " + In.Path + ": it became shorter");
}

void RewindHostInput(THostInput &In) {
    LARGE_INTEGER Zero = {};
    if (!::SetFilePointerEx(Raw(In.Fd), Zero, nullptr, FILE_BEGIN))
        throw EInputError(In.Role + " " + In.Path + ": " + SystemText(::GetLastError()));
}

void RefuseOutputOverInputs(const std::string &Output, const std::vector<TNamedPath> &Inputs) {
    BY_HANDLE_FILE_INFORMATION Out;
    if (!FileIdentity(Output, Out))
        return; // a new file cannot be one of the existing inputs
    const std::wstring FullOut = FullPath(Output);
    for (const TNamedPath &In : Inputs) {
        if (In.Path.empty())
            continue;
        BY_HANDLE_FILE_INFORMATION Info;
        const bool SameId = FileIdentity(In.Path, Info) &&
                            Info.dwVolumeSerialNumber == Out.dwVolumeSerialNumber &&
                            Info.nFileIndexHigh == Out.nFileIndexHigh &&
                            Info.nFileIndexLow == Out.nFileIndexLow;
        // Names differ in case only: the same file on the system's file systems.
        const bool SameName =
            !FullOut.empty() && ::lstrcmpiW(FullOut.c_str(), FullPath(In.Path).c_str()) == 0;
        if (SameId || SameName)
            throw EOutputIsInput("the output " + Output + " is the " + In.Role + " " + In.Path +
                                 "; writing it would destroy that input");
    }
}

// Windows has no symbolic links worth following here (making one takes a privilege): the
// output is the name given. A file that is replaced keeps no attributes of the old one.
THostOutput::THostOutput(const std::string &Target) : FTarget(Target), FResolved(Target) {
    if (IsHostFolder(Target))
        throw EOutputError("cannot write " + Target + ": it is a folder");
    THostFd Probe = OpenExisting(Target, 0);
    if (Probe.Get() == -1) {
        const DWORD Error = ::GetLastError();
        if (Error != ERROR_FILE_NOT_FOUND)
            Fail(static_cast<int>(Error));
    } else {
        const DWORD Type = ::GetFileType(Raw(Probe));
        if (Type == FILE_TYPE_CHAR || Type == FILE_TYPE_PIPE) {
            // NUL, CON or a named pipe: written straight, as a device is elsewhere.
            FStream = true;
            FFd = OpenExisting(Target, GENERIC_WRITE);
            if (FFd.Get() == -1)
                Fail(static_cast<int>(::GetLastError()));
            return;
        }
        if (Type != FILE_TYPE_DISK)
            throw EOutputError("cannot write " + Target +
                               ": it is not a regular file, a character device or a pipe");
    }
    std::lock_guard<std::mutex> Lock(PendingLock);
    for (int I = 0; I < int(sizeof(PendingPaths) / sizeof(PendingPaths[0])); ++I)
        if (PendingPaths[I].empty()) {
            FSlot = I;
            break;
        }
    if (FSlot < 0)
        throw EOutputError("cannot create a temporary file beside " + Target +
                           ": too many outputs at once");
    // NAME.tmp-XXXXXX with six letters and digits that no file there has yet.
    static const char Digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    uint32_t Seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    DWORD Error = ERROR_FILE_EXISTS;
    for (int Attempt = 0; Attempt < 100 && Error == ERROR_FILE_EXISTS; ++Attempt) {
        FTempPath = FResolved + ".tmp-";
        for (int I = 0; I < 6; ++I) {
            Seed = Seed * 1103515245u + 12345u;
            FTempPath += Digits[(Seed >> 16) % 36];
        }
        FFd = THostFd(Owned(::CreateFileW(Wide(FTempPath).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
        Error = FFd.Get() == -1 ? ::GetLastError() : ERROR_SUCCESS;
    }
    if (Error != ERROR_SUCCESS)
        throw EOutputError("cannot create a temporary file beside " + Target + ": " +
                           SystemText(Error));
    PendingPaths[FSlot] = Wide(FTempPath);
}

THostOutput::~THostOutput() {
    if (FStream)
        return;
    std::lock_guard<std::mutex> Lock(PendingLock);
    if (!FCommitted) {
        FFd.Close();
        ::DeleteFileW(Wide(FTempPath).c_str());
    }
    PendingPaths[FSlot].clear();
}

void THostOutput::Fail(int Error) const {
    throw EOutputError("cannot write " + FTarget + ": " + SystemText(static_cast<DWORD>(Error)));
}

void THostOutput::Write(const void *Data, size_t Count) {
    const uint8_t *P = static_cast<const uint8_t *>(Data);
    while (Count > 0) {
        DWORD Done = 0;
        if (!::WriteFile(Raw(FFd), P, static_cast<DWORD>(std::min(Count, MaxTransfer)), &Done,
                         nullptr))
            Fail(static_cast<int>(::GetLastError()));
        if (Done == 0)
            Fail(ERROR_DISK_FULL);
        P += Done;
        Count -= Done;
        FSize += Done;
    }
}

void THostOutput::WriteAt(uint64_t Offset, const void *Data, size_t Count) {
    LARGE_INTEGER Zero = {}, Position = {}, Target = {};
    Target.QuadPart = static_cast<LONGLONG>(Offset);
    DWORD Done = 0;
    if (!::SetFilePointerEx(Raw(FFd), Zero, &Position, FILE_CURRENT) ||
        !::SetFilePointerEx(Raw(FFd), Target, nullptr, FILE_BEGIN) ||
        !::WriteFile(Raw(FFd), Data, static_cast<DWORD>(Count), &Done, nullptr) ||
        !::SetFilePointerEx(Raw(FFd), Position, nullptr, FILE_BEGIN))
        Fail(static_cast<int>(::GetLastError()));
    if (Done != Count)
        Fail(ERROR_DISK_FULL);
}

void THostOutput::Commit(bool /*Executable*/,
                         const std::function<void(const std::string &)> &Finish) {
    if (FStream) {
        if (!FFd.Close())
            Fail(static_cast<int>(::GetLastError()));
        FCommitted = true;
        return;
    }
    if (!::FlushFileBuffers(Raw(FFd)))
        Fail(static_cast<int>(::GetLastError()));
    if (!FFd.Close())
        Fail(static_cast<int>(::GetLastError()));
    if (Finish)
        Finish(FTempPath);
    std::lock_guard<std::mutex> Lock(PendingLock); // renamed and no longer pending, or neither
    if (!::MoveFileExW(Wide(FTempPath).c_str(), Wide(FResolved).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail(static_cast<int>(::GetLastError()));
    FCommitted = true;
    PendingPaths[FSlot].clear();
}

void InstallInterruptCleanup() { ::SetConsoleCtrlHandler(RemovePendingAndExit, TRUE); }

bool StandardErrorIsTerminal() {
    // The progress line rewrites itself with terminal sequences: only where the console
    // takes them (Windows 10 and later).
    constexpr DWORD VirtualTerminalProcessing = 0x0004;
    const HANDLE Error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD Mode = 0;
    return ::GetConsoleMode(Error, &Mode) &&
           ::SetConsoleMode(Error, Mode | VirtualTerminalProcessing);
}

bool PathExists(const std::string &Path) {
    return ::GetFileAttributesW(Wide(Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string RunningProgramFolder() {
    std::wstring Self(32768, L'\0');
    const DWORD Length =
        ::GetModuleFileNameW(nullptr, &Self[0], static_cast<DWORD>(Self.size()));
    if (Length == 0 || Length >= Self.size())
        return std::string();
    std::string Folder = Utf8(Self.data(), Length);
    const size_t Slash = Folder.find_last_of("\\/");
    return Slash == std::string::npos ? std::string() : Folder.substr(0, Slash);
}

bool HostFileSize(const std::string &Path, uint64_t &Size) {
    WIN32_FILE_ATTRIBUTE_DATA Data;
    if (!::GetFileAttributesExW(Wide(Path).c_str(), GetFileExInfoStandard, &Data))
        return false;
    Size = uint64_t(Data.nFileSizeHigh) << 32 | Data.nFileSizeLow;
    return true;
}

bool IsHostRegularFile(const std::string &Path) {
    const DWORD Attributes = ::GetFileAttributesW(Wide(Path).c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsHostFolder(const std::string &Path) {
    const DWORD Attributes = ::GetFileAttributesW(Wide(Path).c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const char HostPathSeparator[] = "\\";

bool HasHostPathSeparator(const std::string &Text) {
    return Text.find_first_of("/\\") != std::string::npos;
}

std::vector<THostFolderEntry> ListHostFolder(const std::string &Folder) {
    WIN32_FIND_DATAW Found;
    TFindHandle Search(::FindFirstFileW(Wide(Folder + "\\*").c_str(), &Found));
    if (Search.Get() == INVALID_HANDLE_VALUE)
        throw EInputError("cannot read the folder " + Folder + ": " +
                          SystemText(::GetLastError()));
    std::vector<THostFolderEntry> Entries;
    do {
        const std::wstring Name = Found.cFileName;
        if (Name == L"." || Name == L"..")
            continue;
        THostFolderEntry Entry;
        Entry.Name = Utf8(Name.data(), Name.size());
        const DWORD Attributes = Found.dwFileAttributes;
        Entry.Kind = (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? THostFolderEntry::Link
                     : (Attributes & FILE_ATTRIBUTE_DIRECTORY)   ? THostFolderEntry::Folder
                     : (Attributes & FILE_ATTRIBUTE_DEVICE)      ? THostFolderEntry::Other
                                                                 : THostFolderEntry::File;
        Entry.ReadOnly = (Attributes & FILE_ATTRIBUTE_READONLY) != 0;
        Entry.WriteTime = uint64_t(Found.ftLastWriteTime.dwHighDateTime) << 32 |
                          Found.ftLastWriteTime.dwLowDateTime;
        Entries.push_back(std::move(Entry));
    } while (::FindNextFileW(Search.Get(), &Found));
    const DWORD Error = ::GetLastError();
    if (Error != ERROR_NO_MORE_FILES)
        throw EInputError("cannot read the folder " + Folder + ": " + SystemText(Error));
    return Entries;
}

namespace {
UINT ConsoleCodePageAtStart = 0;
void RestoreConsoleCodePage() { ::SetConsoleOutputCP(ConsoleCodePageAtStart); }
} // namespace

std::vector<std::string> HostArguments(int /*Argc*/, char ** /*Argv*/) {
    // The tool writes UTF-8 and LF, as on every other host: no CR is added, and a console
    // shows the bytes as UTF-8 while the tool runs.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if ((ConsoleCodePageAtStart = ::GetConsoleOutputCP()) != 0 &&
        ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(RestoreConsoleCodePage);
    int Count = 0;
    std::unique_ptr<LPWSTR, TLocalFree> Arguments(
        ::CommandLineToArgvW(::GetCommandLineW(), &Count));
    std::vector<std::string> Out;
    for (int I = 0; Arguments && I < Count; ++I)
        Out.push_back(Utf8(Arguments.get()[I], ::lstrlenW(Arguments.get()[I])));
    return Out;
}
