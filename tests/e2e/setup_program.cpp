// A scriptable stand-in for the setup program, packed into the end-to-end test packages, built on
// the library for setup programs. It records what the loader handed it and does what its
// environment asks:
//   QUOV_E2E_LOG       file to write the report to (ASCII path; created, overwritten)
//   QUOV_E2E_EXIT      exit code, decimal or 0x-prefixed hexadecimal (default 0)
//   QUOV_E2E_RESTART   "send" or "post": ask the loader window for a restart that way
//   QUOV_E2E_LANG      comma-separated language indexes, each sent as a language request
//                      (through the library when it is sent and the index exists)
//   QUOV_E2E_CHECKDATA "1": open the loader file named by /SL5=, check both offsets, read it all,
//                      and read both areas through the library
//   QUOV_E2E_READERS   "1": report who may list the folder it was extracted to
//   QUOV_E2E_LOADERSTATS "1": report the handle count and memory of the loader's process, found
//                      through the loader window
//   QUOV_E2E_GATHER    a name: release the semaphore of that name once, then wait (at most 60 s)
//                      for the event "<name>.go", so that many runs are alive at the same time
// Report lines: "cmdline=", "module=", "library=" (the status text when the library refused the
// command line or the installer), "language=" (the index the library says the loader chose),
// "window=" (the loader window's text), "queryend="
// (its answer to WM_QUERYENDSESSION), "setupdata=" / "second=" (what was found there),
// "setuparea=" / "secondarea=" (the bytes of the two areas as the library reads them),
// "loaderfile=" (the size and CRC-32 of the loader file as read),
// "readers=" (FolderReaders of its folder), "loaderhandles=" / "loadermemory=" (the handle count
// and the private bytes of the loader's process), "gathered=" ("yes" or "timeout").
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "records/loader_contract.h"
#include "setupdata/crc32.h"
#include "setuplib/quov_setup.h"
#include "support/win.h"
#include "tests/e2e/folder_readers.h"

#include <psapi.h>

namespace {

std::string EnvironmentValue(const char *Name) {
    char Buffer[1024];
    DWORD Count = ::GetEnvironmentVariableA(Name, Buffer, sizeof(Buffer));
    return Count < sizeof(Buffer) ? std::string(Buffer, Count) : std::string();
}

struct TReport {
    std::string Text;
    void Add(const char *Key, const std::string &Value) {
        Text += Key;
        Text += '=';
        Text += Value;
        Text += '\n';
    }
    void Save(const std::string &Path) const {
        HANDLE File = ::CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (File == INVALID_HANDLE_VALUE)
            return;
        DWORD Written = 0;
        ::WriteFile(File, Text.data(), static_cast<DWORD>(Text.size()), &Written, nullptr);
        ::CloseHandle(File);
    }
};

// What the library read from /SL5=.
struct TLoaderContract {
    quov_setup *Setup = nullptr;
    HWND Window = nullptr;
    uint64_t SetupDataOffset = 0;
    uint64_t SecondDataOffset = 0;
    std::wstring LoaderPath;
};

quov_status OpenContract(TLoaderContract &Result) {
    const quov_status Status = quov_setup_open(&Result.Setup);
    if (Status != QUOV_OK)
        return Status;
    void *Window = nullptr;
    quov_setup_loader_window(Result.Setup, &Window);
    Result.Window = static_cast<HWND>(Window);
    // The second data area ends where the setup data begin.
    uint64_t Length = 0;
    quov_setup_area(Result.Setup, QUOV_AREA_SECOND_DATA, &Result.SecondDataOffset, &Length);
    Result.SetupDataOffset = Result.SecondDataOffset + Length;
    size_t Needed = 0;
    quov_setup_loader_path(Result.Setup, nullptr, 0, &Needed);
    Result.LoaderPath.assign(Needed, L'\0');
    quov_setup_loader_path(Result.Setup, &Result.LoaderPath[0], Needed, nullptr);
    Result.LoaderPath.resize(Needed - 1);
    return Status;
}

// An area's bytes as the library reads them; a status text when that fails.
std::string AreaBytes(quov_setup *Setup, int32_t Area) {
    uint64_t Offset = 0, Length = 0;
    quov_status Status = quov_setup_area(Setup, Area, &Offset, &Length);
    std::string Bytes(Status == QUOV_OK ? Length : 0, '\0');
    if (Status == QUOV_OK)
        Status = quov_setup_read_area(Setup, Area, 0, &Bytes[0], Bytes.size());
    return Status == QUOV_OK ? Bytes : std::string(quov_status_text(Status));
}

std::string Number(unsigned long long Value) {
    char Buffer[32];
    std::snprintf(Buffer, sizeof(Buffer), "%llu", Value);
    return Buffer;
}

void CheckData(const TLoaderContract &Contract, TReport &Report) {
    HANDLE File = ::CreateFileW(Contract.LoaderPath.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
        Report.Add("setupdata", "open failed " + Number(::GetLastError()));
        return;
    }
    DWORD SizeHigh = 0;
    DWORD Size = ::GetFileSize(File, &SizeHigh);
    uint8_t Signature[64];
    DWORD Read = 0;
    ::SetFilePointer(File, static_cast<LONG>(Contract.SetupDataOffset), nullptr, FILE_BEGIN);
    bool ReadOk = ::ReadFile(File, Signature, sizeof(Signature), &Read, nullptr) &&
                  Read == sizeof(Signature);
    bool AllZero = ReadOk;
    for (uint8_t Byte : Signature)
        AllZero = AllZero && Byte == 0;
    Report.Add("setupdata", AllZero ? "signature ok" : "signature bad");
    bool SecondInside = SizeHigh != 0 || Contract.SecondDataOffset <= Size;
    Report.Add("second", SecondInside ? "inside" : "outside");
    // The whole file as read through that path, for comparison with the installer's bytes.
    ::SetFilePointer(File, 0, nullptr, FILE_BEGIN);
    uint8_t Buffer[65536];
    uint64_t Total = 0;
    uint32_t Crc = 0xFFFFFFFFu;
    while (::ReadFile(File, Buffer, sizeof(Buffer), &Read, nullptr) && Read > 0) {
        Crc = AccumulateCrc32(Crc, Buffer, Read);
        Total += Read;
    }
    Report.Add("loaderfile", Number(Total) + " bytes, CRC-32 " + Number(~Crc));
    ::CloseHandle(File);
    Report.Add("setuparea", AreaBytes(Contract.Setup, QUOV_AREA_SETUP_DATA));
    Report.Add("secondarea", AreaBytes(Contract.Setup, QUOV_AREA_SECOND_DATA));
}

// The handles a process holds, counted in the system's list of all handles (Wine answers
// GetProcessHandleCount for another process with 0); -1 when the list cannot be read.
long CountHandles(DWORD ProcessId) {
    using TQuerySystemInformation =
        LONG(WINAPI *)(ULONG Class, PVOID Buffer, ULONG Size, PULONG Needed);
    constexpr ULONG SystemHandleInformation = 16;
    constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    struct THandleEntry { // one entry of the list
        ULONG OwnerProcessId;
        BYTE ObjectType;
        BYTE Flags;
        USHORT Value;
        PVOID Object;
        ACCESS_MASK Access;
    };
    struct THandleList { // a 32-bit count, then the entries at their alignment (8 on x64)
        ULONG Count;
        THandleEntry First;
    };
    const auto Query = reinterpret_cast<TQuerySystemInformation>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    std::vector<BYTE> List(1 << 16);
    LONG Status = StatusInfoLengthMismatch;
    while (Query && Status == StatusInfoLengthMismatch && List.size() <= (1u << 26)) {
        ULONG Needed = 0;
        Status =
            Query(SystemHandleInformation, List.data(), static_cast<ULONG>(List.size()), &Needed);
        if (Status == StatusInfoLengthMismatch)
            List.resize(List.size() * 2);
    }
    if (!Query || Status != 0)
        return -1;
    ULONG Count = 0;
    std::memcpy(&Count, List.data(), sizeof(Count));
    const auto *Entries =
        reinterpret_cast<const THandleEntry *>(List.data() + offsetof(THandleList, First));
    long Held = 0;
    for (ULONG I = 0; I < Count; ++I)
        Held += Entries[I].OwnerProcessId == ProcessId;
    return Held;
}

// The loader's process as seen at the end of the setup program: the run's handles and memory
// are all still held.
void ReportLoaderStats(HWND Window, TReport &Report) {
    DWORD ProcessId = 0;
    ::GetWindowThreadProcessId(Window, &ProcessId);
    Report.Add("loaderhandles", std::to_string(CountHandles(ProcessId)));
    HANDLE Process =
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, /*Inherit=*/FALSE, ProcessId);
    PROCESS_MEMORY_COUNTERS Memory = {};
    Memory.cb = sizeof(Memory);
    if (Process && ::GetProcessMemoryInfo(Process, &Memory, sizeof(Memory)))
        Report.Add("loadermemory", Number(Memory.PagefileUsage));
    if (Process)
        ::CloseHandle(Process);
}

bool Gather(const std::string &Name) {
    HANDLE Arrived = ::OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, /*Inherit=*/FALSE, Name.c_str());
    HANDLE Go = ::OpenEventA(SYNCHRONIZE, /*Inherit=*/FALSE, (Name + ".go").c_str());
    const bool Gathered = Arrived && Go && ::ReleaseSemaphore(Arrived, 1, nullptr) &&
                          ::WaitForSingleObject(Go, 60000) == WAIT_OBJECT_0;
    if (Arrived)
        ::CloseHandle(Arrived);
    if (Go)
        ::CloseHandle(Go);
    return Gathered;
}

// A sent request for a language that exists goes through the library; the others (posted, or
// for an index the library refuses) are sent as they stand, to see what the loader does.
void SendRequest(const TLoaderContract &Contract, bool Post, WPARAM Request, LPARAM Value) {
    int32_t Count = 0;
    quov_setup_language_count(Contract.Setup, &Count);
    if (!Post && Request == RestartRequest)
        quov_setup_request_restart(Contract.Setup);
    else if (!Post && Request == LanguageRequest && Value >= 0 && Value < Count)
        quov_setup_request_language(Contract.Setup, static_cast<int32_t>(Value));
    else if (Post)
        ::PostMessageA(Contract.Window, LoaderWindowMessage, Request, Value);
    else
        ::SendMessageA(Contract.Window, LoaderWindowMessage, Request, Value);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TReport Report;
    const char *CommandLine = ::GetCommandLineA();
    Report.Add("cmdline", CommandLine);
    char Module[MAX_PATH];
    DWORD ModuleLength = ::GetModuleFileNameA(nullptr, Module, sizeof(Module));
    Report.Add("module", std::string(Module, ModuleLength < sizeof(Module) ? ModuleLength : 0));

    if (EnvironmentValue("QUOV_E2E_READERS") == "1") {
        const std::string Path(Module, ModuleLength < sizeof(Module) ? ModuleLength : 0);
        Report.Add("readers", FolderReaders(Path.substr(0, Path.rfind('\\'))));
    }
    const std::string GatherName = EnvironmentValue("QUOV_E2E_GATHER");
    if (!GatherName.empty())
        Report.Add("gathered", Gather(GatherName) ? "yes" : "timeout");

    TLoaderContract Contract;
    const quov_status Opened = OpenContract(Contract);
    if (Opened != QUOV_OK)
        Report.Add("library", quov_status_text(Opened));
    if (Opened == QUOV_OK) {
        int32_t Language = -1;
        quov_setup_chosen_language(Contract.Setup, &Language);
        Report.Add("language", std::to_string(Language));
        char Text[64] = "";
        ::GetWindowTextA(Contract.Window, Text, sizeof(Text));
        Report.Add("window", Text);
        Report.Add("queryend",
                   Number(::SendMessageA(Contract.Window, WM_QUERYENDSESSION, 0, 0)));
        if (EnvironmentValue("QUOV_E2E_CHECKDATA") == "1")
            CheckData(Contract, Report);
        if (EnvironmentValue("QUOV_E2E_LOADERSTATS") == "1")
            ReportLoaderStats(Contract.Window, Report);

        std::string Languages = EnvironmentValue("QUOV_E2E_LANG");
        bool PostLanguages = EnvironmentValue("QUOV_E2E_LANG_POST") == "1";
        for (const char *P = Languages.c_str(); *P;) {
            char *End = nullptr;
            long Index = std::strtol(P, &End, 10);
            if (End == P)
                break;
            SendRequest(Contract, PostLanguages, LanguageRequest, Index);
            P = *End == ',' ? End + 1 : End;
        }
        std::string Restart = EnvironmentValue("QUOV_E2E_RESTART");
        if (!Restart.empty())
            SendRequest(Contract, Restart == "post", RestartRequest, 0);
        quov_setup_close(Contract.Setup);
    }

    std::string LogPath = EnvironmentValue("QUOV_E2E_LOG");
    if (!LogPath.empty())
        Report.Save(LogPath);
    std::string ExitText = EnvironmentValue("QUOV_E2E_EXIT");
    return static_cast<int>(std::strtoul(ExitText.c_str(), nullptr, 0));
}
