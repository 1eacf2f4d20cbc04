#include "filesetup/tree_install.h"

#include "support/win.h"

namespace {

// Owns a file handle opened by CreateFileW (INVALID_HANDLE_VALUE when none).
class TFileHandle {
public:
    explicit TFileHandle(HANDLE Handle) : FHandle(Handle) {}
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle &) = delete;
    TFileHandle &operator=(const TFileHandle &) = delete;
    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
    // Closes now; false (with the system's error set) when closing failed.
    bool Close() {
        const bool Ok = FHandle == INVALID_HANDLE_VALUE || ::CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        return Ok;
    }

private:
    HANDLE FHandle;
};

bool Exists(const std::wstring &LongPath) {
    return ::GetFileAttributesW(LongPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A path of the stored folder as a Windows path.
std::wstring Widen(const std::string &Utf8) {
    std::wstring Out = Utf8ToWide(Utf8);
    for (wchar_t &C : Out)
        if (C == L'/')
            C = L'\\';
    return Out;
}

bool IsDiskFull(DWORD Code) {
    return Code == ERROR_DISK_FULL || Code == ERROR_HANDLE_DISK_FULL;
}

// Removes a file whatever its read-only bit; false when it stays.
bool RemoveFile(const std::wstring &LongPath) {
    ::SetFileAttributesW(LongPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(LongPath.c_str()) != 0;
}

} // namespace

std::wstring Utf8ToWide(const std::string &Utf8) {
    if (Utf8.empty())
        return std::wstring();
    const int N = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), nullptr, 0);
    std::wstring Out(size_t(N > 0 ? N : 0), L'\0');
    if (N > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), &Out[0], N);
    return Out;
}

TTreeInstall::TTreeInstall(const std::wstring &Target) {
    const DWORD Size = ::GetFullPathNameW(Target.c_str(), 0, nullptr, nullptr);
    if (Size == 0 || Target.empty())
        throw EInstallStep(SetupBadFolder, Target, ::GetLastError());
    std::wstring Full(Size, L'\0');
    const DWORD Got = ::GetFullPathNameW(Target.c_str(), Size, &Full[0], nullptr);
    Full.resize(Got);
    while (Full.size() > 3 && (Full.back() == L'\\' || Full.back() == L'/'))
        Full.pop_back();
    FTarget = Full;
    FLongTarget = LongPathOf(Full);
}

TTreeInstall::~TTreeInstall() {
    if (!FDone)
        Rollback();
}

void TTreeInstall::RaiseWriteFailed(const std::wstring &Shown, const std::wstring &LongFolder,
                                    uint32_t Code) {
    if (!IsDiskFull(Code))
        throw EInstallStep(SetupWriteFailed, Shown, Code);
    // The space ran out during the writing (the check before it cannot see what the file
    // system spends besides the bytes): the same message as that check's.
    EInstallStep Full(SetupDiskFull, FTarget, Code);
    Full.NeededBytes = FNeededBytes;
    ULARGE_INTEGER Free;
    const std::wstring Folder = LongFolder + L"\\";
    if (::GetDiskFreeSpaceExW(Folder.c_str(), &Free, nullptr, nullptr))
        Full.FreeBytes = Free.QuadPart;
    throw Full;
}

void TTreeInstall::MakeFolder(const std::wstring &LongPath, const std::wstring &Shown) {
    const DWORD Attributes = ::GetFileAttributesW(LongPath.c_str());
    if (Attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(Attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw EInstallStep(SetupCreateFolderFailed, Shown, ERROR_ALREADY_EXISTS);
        return;
    }
    if (!::CreateDirectoryW(LongPath.c_str(), nullptr))
        throw EInstallStep(SetupCreateFolderFailed, Shown, ::GetLastError());
    FCreatedFolders.push_back(LongPath);
}

std::wstring TTreeInstall::TempNameIn(const std::wstring &LongFolder) {
    // Names no stored file takes in practice; CREATE_NEW skips one that exists all the same.
    return LongFolder + L"\\~quov" + std::to_wstring(++FTempCounter) + L".tmp";
}

void TTreeInstall::WriteFile(TFileTreeReader &Reader, const TFileTreeEntry &Entry,
                             TStaged &Staged, const std::atomic<bool> &Cancel,
                             const std::function<void(uint32_t)> &Wrote) {
    const std::wstring Shown = FTarget + L"\\" + Widen(Entry.Path);
    const std::wstring Folder = Staged.Final.substr(0, Staged.Final.rfind(L'\\'));
    HANDLE Raw = INVALID_HANDLE_VALUE;
    for (int Attempt = 0; Raw == INVALID_HANDLE_VALUE; ++Attempt) {
        Staged.Temp = TempNameIn(Folder);
        Raw = ::CreateFileW(Staged.Temp.c_str(), GENERIC_WRITE, /*ShareMode=*/0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD Code = ::GetLastError();
        if (Raw == INVALID_HANDLE_VALUE && (Code != ERROR_FILE_EXISTS || Attempt > 1000)) {
            Staged.Temp.clear();
            RaiseWriteFailed(Shown, Folder, Code);
        }
    }
    TFileHandle File(Raw);
    Reader.ReadFile(Entry, [&](const void *Data, uint32_t Size) {
        if (Cancel.load())
            throw EInstallCancelled();
        const uint8_t *P = static_cast<const uint8_t *>(Data);
        for (uint32_t Done = 0; Done < Size;) {
            DWORD Written = 0;
            if (!::WriteFile(File.Get(), P + Done, Size - Done, &Written, nullptr) ||
                Written == 0) {
                const DWORD Code = ::GetLastError();
                RaiseWriteFailed(Shown, Folder, Code ? Code : ERROR_WRITE_FAULT);
            }
            Done += Written;
        }
        Wrote(Size);
    });
    if (Entry.WriteTime != 0) {
        FILETIME Time;
        Time.dwLowDateTime = static_cast<DWORD>(Entry.WriteTime);
        Time.dwHighDateTime = static_cast<DWORD>(Entry.WriteTime >> 32);
        ::SetFileTime(File.Get(), nullptr, nullptr, &Time);
    }
    if (!File.Close())
        RaiseWriteFailed(Shown, Folder, ::GetLastError());
    Staged.Attributes = Entry.Attributes;
}

void TTreeInstall::MoveIntoPlace(TStaged &Staged, const std::wstring &Shown) {
    if (Exists(Staged.Final)) {
        const size_t Slash = Staged.Final.rfind(L'\\');
        for (int Attempt = 0;; ++Attempt) {
            Staged.Backup = TempNameIn(Staged.Final.substr(0, Slash));
            if (::MoveFileExW(Staged.Final.c_str(), Staged.Backup.c_str(), 0))
                break;
            const DWORD Code = ::GetLastError();
            if ((Code != ERROR_ALREADY_EXISTS && Code != ERROR_FILE_EXISTS) || Attempt > 1000) {
                // A file in use cannot be moved aside: reported, not put off to a restart.
                Staged.Backup.clear();
                throw EInstallStep(SetupWriteFailed, Shown, Code);
            }
        }
    }
    if (!::MoveFileExW(Staged.Temp.c_str(), Staged.Final.c_str(), 0))
        throw EInstallStep(SetupWriteFailed, Shown, ::GetLastError());
    Staged.Moved = true;
    if (Staged.Attributes != 0)
        ::SetFileAttributesW(Staged.Final.c_str(), Staged.Attributes);
}

void TTreeInstall::Install(TFileTreeReader &Reader, const std::atomic<bool> &Cancel,
                           const TInstallProgress &Progress) {
    const TFileTreeIndex &Index = Reader.Index();

    // The target and the folders above it that are missing, outermost first.
    std::vector<std::wstring> Missing;
    std::wstring Probe = FLongTarget;
    while (!Exists(Probe)) {
        Missing.push_back(Probe);
        const size_t Slash = Probe.rfind(L'\\');
        if (Slash == std::wstring::npos || Slash < 7)
            throw EInstallStep(SetupBadFolder, FTarget, ERROR_PATH_NOT_FOUND);
        Probe.resize(Slash);
    }
    if (!(::GetFileAttributesW(Probe.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        throw EInstallStep(SetupBadFolder, FTarget, ERROR_DIRECTORY);
    ULARGE_INTEGER Free;
    const std::wstring ProbeDir = Probe + L"\\";
    FNeededBytes = Index.TotalSize;
    if (::GetDiskFreeSpaceExW(ProbeDir.c_str(), &Free, nullptr, nullptr) &&
        Free.QuadPart < Index.TotalSize) {
        EInstallStep Full(SetupDiskFull, FTarget, ERROR_DISK_FULL);
        Full.NeededBytes = Index.TotalSize;
        Full.FreeBytes = Free.QuadPart;
        throw Full;
    }
    for (auto It = Missing.rbegin(); It != Missing.rend(); ++It)
        MakeFolder(*It, FTarget);

    uint64_t Done = 0;
    for (const TFileTreeEntry &Entry : Index.Entries) {
        if (Cancel.load())
            throw EInstallCancelled();
        const std::wstring Relative = Widen(Entry.Path);
        const std::wstring Long = FLongTarget + L"\\" + Relative;
        if (Progress)
            Progress(Entry.Path, Done, Index.TotalSize);
        if (Entry.IsFolder) {
            MakeFolder(Long, FTarget + L"\\" + Relative);
            continue;
        }
        FStaged.emplace_back();
        FStaged.back().Final = Long;
        WriteFile(Reader, Entry, FStaged.back(), Cancel, [&](uint32_t Size) {
            Done += Size;
            if (Progress)
                Progress(Entry.Path, Done, Index.TotalSize);
        });
    }
    if (Cancel.load())
        throw EInstallCancelled();
    for (TStaged &Staged : FStaged)
        MoveIntoPlace(Staged, FTarget + Staged.Final.substr(FLongTarget.size()));
}

void TTreeInstall::Commit() {
    FDone = true;
    // What was replaced goes now; one that will not go stays behind under its temporary name.
    for (const TStaged &Staged : FStaged)
        if (!Staged.Backup.empty())
            RemoveFile(Staged.Backup);
}

void TTreeInstall::Rollback() noexcept {
    FDone = true;
    // Reverse order: a replaced file returns to its place only after the new one left it, and
    // a folder goes only after what was written into it.
    for (auto It = FStaged.rbegin(); It != FStaged.rend(); ++It) {
        if (It->Moved)
            RemoveFile(It->Final);
        else if (!It->Temp.empty())
            RemoveFile(It->Temp);
        if (!It->Backup.empty())
            ::MoveFileExW(It->Backup.c_str(), It->Final.c_str(), 0);
    }
    for (auto It = FCreatedFolders.rbegin(); It != FCreatedFolders.rend(); ++It)
        ::RemoveDirectoryW(It->c_str());
}
