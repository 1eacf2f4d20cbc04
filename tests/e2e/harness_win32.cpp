#include "tests/e2e/harness.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include <tlhelp32.h>

#include "support/builtin_texts.h"

namespace {

constexpr int StaticTextId = 0xFFFF; // the message box's text control

std::string WindowClass(HWND Window) {
    char Name[64];
    int Count = ::GetClassNameA(Window, Name, sizeof(Name));
    return std::string(Name, Count > 0 ? Count : 0);
}

struct TBoxSearch {
    DWORD ProcessId = 0;
    std::set<DWORD> Children; // boxes of these processes count too
    DWORD ThreadId = 0;       // when not 0, only boxes of this thread
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectBox(HWND Window, LPARAM Param) {
    auto *Search = reinterpret_cast<TBoxSearch *>(Param);
    DWORD ProcessId = 0;
    DWORD ThreadId = ::GetWindowThreadProcessId(Window, &ProcessId);
    bool Ours = Search->ThreadId ? ThreadId == Search->ThreadId
                                 : ProcessId == Search->ProcessId ||
                                       Search->Children.count(ProcessId) != 0;
    if (Ours && ::IsWindowVisible(Window) && WindowClass(Window) == "#32770")
        Search->Found.push_back(Window);
    return TRUE;
}

// The processes started by ParentId (the setup program started by the loader).
std::set<DWORD> ChildProcesses(DWORD ParentId) {
    std::set<DWORD> Children;
    HANDLE Snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (Snapshot == INVALID_HANDLE_VALUE)
        return Children;
    PROCESSENTRY32 Entry = {};
    Entry.dwSize = sizeof(Entry);
    for (BOOL More = ::Process32First(Snapshot, &Entry); More;
         More = ::Process32Next(Snapshot, &Entry))
        if (Entry.th32ParentProcessID == ParentId)
            Children.insert(Entry.th32ProcessID);
    ::CloseHandle(Snapshot);
    return Children;
}

std::vector<HWND> FindBoxes(DWORD ProcessId, DWORD ThreadId, bool WithChildren = false) {
    TBoxSearch Search;
    Search.ProcessId = ProcessId;
    if (WithChildren)
        Search.Children = ChildProcesses(ProcessId);
    Search.ThreadId = ThreadId;
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&Search));
    return Search.Found;
}

TMessageBox ReadBox(HWND Box) {
    TMessageBox Result;
    char Buffer[4096];
    int Count = ::GetWindowTextA(Box, Buffer, sizeof(Buffer));
    Result.Caption.assign(Buffer, Count > 0 ? Count : 0);
    UINT TextCount = ::GetDlgItemTextA(Box, StaticTextId, Buffer, sizeof(Buffer));
    Result.Text.assign(Buffer, TextCount);
    return Result;
}

// Wide, so that names outside the ANSI code page go as well.
void DeleteTree(const std::wstring &Directory) {
    WIN32_FIND_DATAW Entry;
    HANDLE Find = ::FindFirstFileW((Directory + L"*").c_str(), &Entry);
    if (Find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring Name = Entry.cFileName;
            if (Name == L"." || Name == L"..")
                continue;
            std::wstring Path = Directory + Name;
            if (Entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(Path + L"\\");
                ::RemoveDirectoryW(Path.c_str());
            } else {
                ::SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(Path.c_str());
            }
        } while (::FindNextFileW(Find, &Entry));
        ::FindClose(Find);
    }
}

template <typename TChar>
using TEnvironment = std::vector<std::pair<std::basic_string<TChar>, std::basic_string<TChar>>>;

// Our own environment (a block as GetEnvironmentStrings gives it) with the case's values put on
// top, as a sorted block.
template <typename TChar>
std::basic_string<TChar> BuildEnvironmentBlock(const TChar *Block,
                                               const TEnvironment<TChar> &Extra) {
    using TString = std::basic_string<TChar>;
    std::map<TString, TString> Values; // keyed by the upper-case name
    std::map<TString, TString> Names;
    auto Put = [&](const TString &Name, const TString &Value) {
        TString Key = Name;
        for (TChar &C : Key)
            C = C >= 'a' && C <= 'z' ? static_cast<TChar>(C - 'a' + 'A') : C;
        Values[Key] = Value;
        Names[Key] = Name;
    };
    for (const TChar *P = Block; *P; P += TString(P).size() + 1) {
        TString Entry = P;
        size_t Equals = Entry.find('=', 1); // names such as "=C:" start with '='
        if (Equals != TString::npos)
            Put(Entry.substr(0, Equals), Entry.substr(Equals + 1));
    }
    for (const auto &[Name, Value] : Extra)
        Put(Name, Value);
    TString Result;
    for (const auto &[Key, Value] : Values) {
        Result += Names[Key] + TChar('=') + Value;
        Result += TChar(0);
    }
    Result += TChar(0);
    return Result;
}

// Starts the loader through the ANSI functions, or through the wide ones when the run gives a
// wide path: only those can hand it a path or a value outside the ANSI code page.
bool StartLoader(const TLoaderRun &Run, const TEnvironment<char> &Environment,
                 PROCESS_INFORMATION &Process) {
    if (Run.WideLoaderPath.empty()) {
        char *Current = ::GetEnvironmentStringsA();
        std::string EnvironmentBlock = BuildEnvironmentBlock(Current, Environment);
        ::FreeEnvironmentStringsA(Current);
        std::string CommandLine = Run.UseRawCommandLine
                                      ? Run.RawCommandLine
                                      : "\"" + Run.LoaderPath + "\"" +
                                            (Run.Parameters.empty() ? "" : " ") + Run.Parameters;
        STARTUPINFOA Startup = {};
        Startup.cb = sizeof(Startup);
        return ::CreateProcessA(Run.LoaderPath.c_str(), &CommandLine[0], nullptr, nullptr,
                                /*InheritHandles=*/FALSE, 0, &EnvironmentBlock[0], nullptr,
                                &Startup, &Process);
    }
    TEnvironment<wchar_t> WideEnvironment;
    for (const auto &[Name, Value] : Environment)
        WideEnvironment.emplace_back(WidenAnsi(Name), WidenAnsi(Value));
    WideEnvironment.insert(WideEnvironment.end(), Run.WideEnvironment.begin(),
                           Run.WideEnvironment.end());
    wchar_t *Current = ::GetEnvironmentStringsW();
    std::wstring EnvironmentBlock = BuildEnvironmentBlock(Current, WideEnvironment);
    ::FreeEnvironmentStringsW(Current);
    const std::wstring Parameters =
        Run.WideParameters.empty() ? WidenAnsi(Run.Parameters) : Run.WideParameters;
    std::wstring CommandLine =
        L"\"" + Run.WideLoaderPath + L"\"" + (Parameters.empty() ? L"" : L" " + Parameters);
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof(Startup);
    return ::CreateProcessW(Run.WideLoaderPath.c_str(), &CommandLine[0], nullptr, nullptr,
                            /*InheritHandles=*/FALSE, CREATE_UNICODE_ENVIRONMENT,
                            &EnvironmentBlock[0], nullptr, &Startup, &Process);
}

} // namespace

std::vector<std::string> ListDirectory(const std::string &Directory) {
    std::vector<std::string> Names;
    WIN32_FIND_DATAA Entry;
    HANDLE Find = ::FindFirstFileA((Directory + "*").c_str(), &Entry);
    if (Find == INVALID_HANDLE_VALUE)
        return Names;
    do {
        std::string Name = Entry.cFileName;
        if (Name != "." && Name != "..")
            Names.push_back(Name);
    } while (::FindNextFileA(Find, &Entry));
    ::FindClose(Find);
    std::sort(Names.begin(), Names.end());
    return Names;
}

std::string TestProgramDirectory() {
    char Buffer[MAX_PATH];
    DWORD Count = ::GetModuleFileNameA(nullptr, Buffer, sizeof(Buffer));
    std::string Path(Buffer, Count);
    return Path.substr(0, Path.rfind('\\') + 1);
}

std::string CasesDirectory() { return TestProgramDirectory() + "cases\\"; }

std::string StubPath() { return TestProgramDirectory() + "..\\..\\quovldr.exe"; }

std::string PrepareWorkDirectory(const std::string &Name) {
    std::string Runs = TestProgramDirectory() + "runs\\";
    ::CreateDirectoryA(Runs.c_str(), nullptr);
    std::string Directory = Runs + Name + "\\";
    ::CreateDirectoryA(Directory.c_str(), nullptr);
    DeleteTree(WidenAnsi(Directory));
    ::CreateDirectoryA((Directory + "tmp").c_str(), nullptr);
    return Directory;
}

TLoaderResult RunLoader(const std::string &CaseName, const TLoaderRun &Run) {
    TLoaderResult Result;
    std::string Work = PrepareWorkDirectory(CaseName);
    std::string TempDirectory = Work + "tmp";
    std::string ReportPath = Work + "child.log";

    TEnvironment<char> Environment = {
        {"TMP", TempDirectory}, {"TEMP", TempDirectory}, {"QUOV_E2E_LOG", ReportPath}};
    Environment.insert(Environment.end(), Run.Environment.begin(), Run.Environment.end());
    PROCESS_INFORMATION Process = {};
    if (!StartLoader(Run, Environment, Process))
        return Result;
    ::CloseHandle(Process.hThread);

    std::set<HWND> Answered;
    size_t NextAnswer = 0;
    DWORD Started = ::GetTickCount();
    for (;;) {
        // Our own windows are serviced meanwhile (a test may watch for session-end queries).
        ::MsgWaitForMultipleObjects(1, &Process.hProcess, FALSE, 30, QS_ALLINPUT);
        MSG Message;
        while (::PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&Message);
        DWORD Wait = ::WaitForSingleObject(Process.hProcess, 0);
        for (HWND Box : FindBoxes(Process.dwProcessId, 0, Run.BoxesOfChildren)) {
            if (Answered.count(Box))
                continue;
            Answered.insert(Box);
            Result.Boxes.push_back(ReadBox(Box));
            if (Run.BeforeAnswer)
                Run.BeforeAnswer(Result.Boxes.back());
            // An unexpected box is closed without choosing Yes; the comparison of the boxes
            // then reports it.
            int Button = NextAnswer < Run.Answers.size() ? Run.Answers[NextAnswer++] : IDCANCEL;
            ::SendMessageA(Box, WM_COMMAND, Button, 0);
        }
        // A closed box's handle may come back for the next box.
        for (auto It = Answered.begin(); It != Answered.end();)
            It = ::IsWindow(*It) ? std::next(It) : Answered.erase(It);
        if (Wait == WAIT_OBJECT_0) {
            Result.Finished = true;
            break;
        }
        if (::GetTickCount() - Started > Run.TimeoutMs) {
            ::TerminateProcess(Process.hProcess, 0xDEAD);
            ::WaitForSingleObject(Process.hProcess, 5000);
            break;
        }
    }
    ::GetExitCodeProcess(Process.hProcess, &Result.ExitCode);
    ::CloseHandle(Process.hProcess);

    Result.ChildReport = ReadWholeFile(ReportPath);
    Result.TempLeftovers = ListDirectory(TempDirectory + "\\");
    return Result;
}

std::string DefaultBoxCaption() {
    static std::string Caption = [] {
        std::string Found;
        DWORD ThreadId = 0;
        std::thread Shower([&ThreadId] {
            ThreadId = ::GetCurrentThreadId();
            ::MessageBoxA(nullptr, "x", nullptr, MB_OK);
        });
        for (int Attempt = 0; Attempt < 500; ++Attempt) {
            ::Sleep(10);
            if (!ThreadId)
                continue;
            std::vector<HWND> Boxes = FindBoxes(0, ThreadId);
            if (!Boxes.empty()) {
                Found = ReadBox(Boxes[0]).Caption;
                ::SendMessageA(Boxes[0], WM_COMMAND, IDOK, 0);
                break;
            }
        }
        Shower.join();
        return Found;
    }();
    return Caption;
}

std::string ShownCorruptText() { return std::string(SetupCorruptText) + "."; }

std::wstring WidenAnsi(const std::string &Text) {
    std::wstring Wide(Text.size(), L'\0');
    int Count = ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()),
                                      &Wide[0], static_cast<int>(Wide.size()));
    Wide.resize(Count > 0 ? Count : 0);
    return Wide;
}

std::wstring LongPathOf(const std::string &Path) {
    wchar_t Buffer[MAX_PATH];
    DWORD Count = ::GetLongPathNameW(WidenAnsi(Path).c_str(), Buffer, MAX_PATH);
    return std::wstring(Buffer, Count < MAX_PATH ? Count : 0);
}

std::string ReadWholeFile(const std::string &Path) {
    std::string Bytes;
    HANDLE File = ::CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE)
        return Bytes;
    char Buffer[65536];
    DWORD Read = 0;
    while (::ReadFile(File, Buffer, sizeof(Buffer), &Read, nullptr) && Read > 0)
        Bytes.append(Buffer, Read);
    ::CloseHandle(File);
    return Bytes;
}

void WriteWholeFile(const std::string &Path, const std::string &Bytes) {
    HANDLE File = ::CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE)
        return;
    DWORD Written = 0;
    ::WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
    ::CloseHandle(File);
}

std::string ReportValue(const std::string &Report, const std::string &Key) {
    std::string Prefix = Key + "=";
    for (size_t Start = 0; Start < Report.size();) {
        size_t End = Report.find('\n', Start);
        if (End == std::string::npos)
            End = Report.size();
        if (Report.compare(Start, Prefix.size(), Prefix) == 0)
            return Report.substr(Start + Prefix.size(), End - Start - Prefix.size());
        Start = End + 1;
    }
    return std::string();
}

std::string GivenLoaderPath(const std::string &Report) {
    // /SL5="$<window>,<setup data offset>,<second data offset>,<path>"
    std::string CommandLine = ReportValue(Report, "cmdline");
    size_t Pos = CommandLine.find("/SL5=\"");
    for (int Comma = 0; Comma < 3 && Pos != std::string::npos; ++Comma)
        Pos = CommandLine.find(',', Pos + 1);
    size_t End = Pos == std::string::npos ? Pos : CommandLine.find('"', Pos);
    return End == std::string::npos ? std::string() : CommandLine.substr(Pos + 1, End - Pos - 1);
}

TPackageBytes LoadPackage(const std::string &Path) {
    TPackageBytes Package;
    Package.Bytes = ReadWholeFile(Path);
    Package.TableOffset = Package.Bytes.find(
        std::string(reinterpret_cast<const char *>(OffsetTableSignature), 12));
    return Package;
}

TLoaderOffsetTable TPackageBytes::Table() const {
    TLoaderOffsetTable Table = {};
    if (TableOffset != std::string::npos)
        std::memcpy(&Table, &Bytes[TableOffset], sizeof(Table));
    return Table;
}

void TPackageBytes::SetTable(TLoaderOffsetTable Table, bool Reseal) {
    if (Reseal)
        SealOffsetTable(Table);
    std::memcpy(&Bytes[TableOffset], &Table, sizeof(Table));
}
