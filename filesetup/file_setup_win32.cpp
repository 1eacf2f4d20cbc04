#include "filesetup/file_setup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <shlobj.h>

#include "filesetup/area_file.h"
#include "filesetup/setup_window.h"
#include "filesetup/tree_install.h"
#include "setuplib/quov_setup.h"
#include "support/kernel_handle.h"
#include "support/win.h"

namespace {

// Owns a handle of the library for setup programs.
class TSetupHandle {
public:
    TSetupHandle() = default;
    ~TSetupHandle() { quov_setup_close(FSetup); }
    TSetupHandle(const TSetupHandle &) = delete;
    TSetupHandle &operator=(const TSetupHandle &) = delete;
    quov_setup *Get() const { return FSetup; }
    quov_setup **Receive() { return &FSetup; }

private:
    quov_setup *FSetup = nullptr;
};

// A text from the library into a string (empty when it has none).
template <typename TCall> std::wstring LibraryText(TCall Call) {
    size_t Needed = 0;
    Call(nullptr, 0, &Needed);
    if (Needed == 0)
        return std::wstring();
    std::wstring Text(Needed, L'\0');
    if (Call(&Text[0], Needed, &Needed) != QUOV_OK)
        return std::wstring();
    Text.resize(Needed - 1);
    return Text;
}

std::wstring SystemErrorText(uint32_t Code) {
    wchar_t *Buffer = nullptr;
    const DWORD N = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, Code, 0, reinterpret_cast<wchar_t *>(&Buffer), 0, nullptr);
    std::wstring Text = N ? std::wstring(Buffer, N) : std::wstring();
    if (Buffer)
        ::LocalFree(Buffer);
    while (!Text.empty() && (Text.back() == L'\n' || Text.back() == L'\r' || Text.back() == L' '))
        Text.pop_back();
    return Text.empty() ? L"Error " + std::to_wstring(Code) : Text;
}

// The per-user programs folder: %LOCALAPPDATA%\Programs\<application>.
std::wstring DefaultTarget(const std::wstring &ApplicationName) {
    wchar_t Base[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, Base)))
        return std::wstring();
    return std::wstring(Base) + L"\\Programs\\" + FolderNameFor(ApplicationName);
}

#ifdef QUOV_FILESETUP_TEST_HOOKS
void AppendToLog(const char *Path, const std::wstring &Message) {
    const int N = ::WideCharToMultiByte(CP_UTF8, 0, Message.data(), int(Message.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string Text(size_t(N > 0 ? N : 0), '\0');
    if (N > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, Message.data(), int(Message.size()), &Text[0], N, nullptr,
                              nullptr);
    if (FILE *Out = std::fopen(Path, "ab")) {
        std::fputs((Text + "\n").c_str(), Out);
        std::fclose(Out);
    }
}
#endif

std::wstring MegabytesOf(uint64_t Bytes) { return std::to_wstring((Bytes + (1u << 20) - 1) >> 20); }

class TFileSetup {
public:
    int Run();

private:
    std::wstring Text(TFileSetupText Number, const std::vector<std::wstring> &Arguments = {}) {
        return FormatSetupText(LibraryText([&](wchar_t *B, size_t S, size_t *N) {
                                   return quov_setup_message(FSetup.Get(), FLanguage, Number, B, S, N);
                               }),
                               Arguments);
    }
    void Tell(const std::wstring &Message, UINT Icon) {
#ifdef QUOV_FILESETUP_TEST_HOOKS
        // Tests only: every message, also in a very silent run, appended to a file as UTF-8.
        if (const char *Log = std::getenv("QUOV_FILESETUP_MESSAGE_LOG"))
            AppendToLog(Log, Message);
#endif
        if (!FOptions.VerySilent)
            ShowSetupMessage(FWindowOwner, Text(SetupTitle, {FName}), Message, Icon);
    }
    std::wstring StepText(const EInstallStep &Step);
    int InstallInto(const std::wstring &Target, TFileTreeReader &Reader);
    int RunAuthorsProgram(const std::wstring &Target, const std::string &Command);

    TSetupHandle FSetup;
    TFileSetupOptions FOptions;
    int32_t FLanguage = 0;
    std::wstring FName;
    HWND FWindowOwner = nullptr;
    std::wstring FTarget; // where the files went
};

std::wstring TFileSetup::StepText(const EInstallStep &Step) {
    switch (Step.Text) {
    case SetupDiskFull:
        return Text(SetupDiskFull,
                    {Step.Path, MegabytesOf(Step.NeededBytes), MegabytesOf(Step.FreeBytes)});
    case SetupBadFolder:
        return Text(SetupBadFolder, {Step.Path});
    default:
        return Text(Step.Text, {Step.Path, SystemErrorText(Step.SystemCode)});
    }
}

int TFileSetup::InstallInto(const std::wstring &Target, TFileTreeReader &Reader) {
    std::atomic<bool> Cancel(false);
    try {
        TTreeInstall Install(Target);
        TInstallProgress Progress;
#ifdef QUOV_FILESETUP_TEST_HOOKS
        // Tests only: a cancel as if the user had confirmed it, once this many bytes are written.
        const char *CancelAt = std::getenv("QUOV_FILESETUP_CANCEL_AT");
        const uint64_t CancelBytes = CancelAt ? std::strtoull(CancelAt, nullptr, 10) : 0;
        if (CancelAt)
            Progress = [&](const std::string &, uint64_t Done, uint64_t) {
                if (Done >= CancelBytes)
                    Cancel = true;
            };
#endif
        if (FOptions.VerySilent) {
            Install.Install(Reader, Cancel, Progress);
        } else {
            RunWithProgressWindow(
                Text(SetupTitle, {FName}), Text(SetupInstalling, {FName}), Text(SetupCancel),
                Text(SetupConfirmCancel), Cancel, [&](const TInstallProgress &Shown) {
                    Install.Install(Reader, Cancel, [&](const std::string &Path, uint64_t Done,
                                                        uint64_t Total) {
                        if (Progress)
                            Progress(Path, Done, Total);
                        Shown(Path, Done, Total);
                    });
                });
        }
        Install.Commit();
        FTarget = Install.Target();
        return FileSetupExitDone;
    } catch (const EInstallCancelled &) {
        Tell(Text(SetupCancelled), MB_ICONINFORMATION);
        return FileSetupExitCancelled;
    } catch (const EInstallStep &Step) {
        Tell(StepText(Step), MB_ICONERROR);
    } catch (const EOutOfMemory &) {
        Tell(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY), MB_ICONERROR);
    } catch (const Exception &) {
        // The payload's reader: damaged data, or the installer's file failing to read.
        Tell(Text(SetupDamaged, {FName}), MB_ICONERROR);
    }
    return FileSetupExitFailed;
}

int TFileSetup::RunAuthorsProgram(const std::wstring &Target, const std::string &Command) {
    const TRunCommand Run = SplitRunCommand(Utf8ToWide(Command));
    std::wstring Program = Run.Program;
    for (wchar_t &C : Program)
        if (C == L'/')
            C = L'\\';
    const bool Absolute = Program.size() > 1 && (Program[1] == L':' || Program[0] == L'\\');
    if (!Absolute)
        Program = Target + L"\\" + Program;
    std::wstring Line = L"\"" + Program + L"\"";
    if (!Run.Arguments.empty())
        Line += L" " + Run.Arguments;
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Info = {};
    if (!::CreateProcessW(Program.c_str(), &Line[0], nullptr, nullptr, /*InheritHandles=*/FALSE,
                          0, nullptr, Target.c_str(), &Startup, &Info)) {
        const DWORD Code = ::GetLastError();
        Tell(Text(SetupRunFailed, {Program, SystemErrorText(Code)}), MB_ICONERROR);
        return FileSetupExitFailed;
    }
    TKernelHandle Process(Info.hProcess);
    TKernelHandle Thread(Info.hThread);
    ::WaitForSingleObject(Process.Get(), INFINITE);
    DWORD ExitCode = FileSetupExitFailed;
    ::GetExitCodeProcess(Process.Get(), &ExitCode);
    return static_cast<int>(ExitCode);
}

int TFileSetup::Run() {
    const quov_status Opened = quov_setup_open(FSetup.Receive());
    if (Opened != QUOV_OK) {
        // Without the installer there is no message table: the library's English text.
        const char *Why = quov_status_text(Opened);
        ::MessageBoxA(nullptr, Why, "Setup", MB_OK | MB_ICONERROR);
        return FileSetupExitFailed;
    }
    quov_setup_chosen_language(FSetup.Get(), &FLanguage);
    std::vector<std::wstring> Parameters;
    int32_t Count = 0;
    quov_setup_parameter_count(FSetup.Get(), &Count);
    for (int32_t I = 0; I < Count; ++I)
        Parameters.push_back(LibraryText([&](wchar_t *B, size_t S, size_t *N) {
            return quov_setup_parameter(FSetup.Get(), I, B, S, N);
        }));
    FOptions = ParseFileSetupOptions(Parameters);
    FName = LibraryText([&](wchar_t *B, size_t S, size_t *N) {
        return quov_setup_application_name(FSetup.Get(), B, S, N);
    });

    std::unique_ptr<TSetupAreaFile> Area;
    std::unique_ptr<TFileTreeReader> Reader;
    try {
        Area.reset(new TSetupAreaFile(FSetup.Get(), QUOV_AREA_SETUP_DATA));
        Reader.reset(new TFileTreeReader(*Area));
    } catch (const Exception &) {
        Tell(Text(SetupDamaged, {FName}), MB_ICONERROR);
        return FileSetupExitFailed;
    }

    std::wstring Target = FOptions.Folder.empty() ? DefaultTarget(FName) : FOptions.Folder;
    if (!FOptions.Silent && !FOptions.VerySilent) {
        TWelcomeTexts Texts;
        Texts.Title = Text(SetupTitle, {FName});
        Texts.Ready = Text(SetupReady, {FName});
        Texts.FolderLabel = Text(SetupFolderLabel);
        Texts.Browse = Text(SetupBrowse);
        Texts.Install = Text(SetupInstall);
        Texts.Cancel = Text(SetupCancel);
        Texts.BrowsePrompt = Text(SetupBrowsePrompt, {FName});
        if (!AskForTarget(Texts, Target))
            return FileSetupExitCancelled;
    }
    const int Result = InstallInto(Target, *Reader);
    if (Result != FileSetupExitDone)
        return Result;
    if (!Reader->Index().RunCommand.empty())
        return RunAuthorsProgram(FTarget, Reader->Index().RunCommand);
    if (!FOptions.Silent)
        Tell(Text(SetupFinished, {FName, FTarget}), MB_ICONINFORMATION);
    return FileSetupExitDone;
}

} // namespace

int RunFileSetup() {
    try {
        TFileSetup Setup;
        return Setup.Run();
    } catch (...) {
        // Nothing may leave the program as an exception; the installer's own steps are
        // handled above, so this is a fault of the program itself.
        return FileSetupExitFailed;
    }
}
