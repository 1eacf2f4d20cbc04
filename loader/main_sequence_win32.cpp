#include "loader/main_sequence.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "loader/child_process.h"
#include "loader/dll_search.h"
#include "loader/fs_redirection.h"
#include "loader/loader_window.h"
#include "loader/options.h"
#include "loader/random.h"
#include "loader/residency.h"
#include "loader/restart.h"
#include "loader/system_error.h"
#include "loader/temp_dir.h"
#include "records/language.h"
#include "records/messages.h"
#include "records/setup_package.h"
#include "records/setup_records.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"
#include "support/ansi_path.h"
#include "support/command_line.h"
#include "support/error_text.h"
#include "support/exceptions.h"
#include "support/path.h"
#include "support/system_queries.h"
#include "support/win.h"

namespace {

// Starts at 1 (every failure); 2 when the startup prompt is declined; the setup program's exit
// code once it has run. Exceptions never change it.
int32_t LoaderExitCode = 1;

// The deletion of the extracted program: one attempt at once, then after 50 ms, then every
// 250 ms (at most 2.8 s in all) while the program that just ended still holds its own file.
constexpr int32_t DeleteAttempts = 13;
constexpr uint32_t DeleteFirstRetryDelay = 50;
constexpr uint32_t DeleteRetryDelay = 250;

// What the run acquires, declared in the order of acquisition. The owners release whatever is
// still held if anything bypasses the cleanup block; the block itself runs in its own order.
struct TRunState {
    TLoaderOptions Options;
    std::string SelfPath;
    std::unique_ptr<TFile> SelfFile;
    const TLoaderOffsetTable *Table = nullptr; // in the module's resources, never released
    TSetupHeaderRec Header;                     // lives with the run, never released early
    std::vector<TSetupLanguageEntry> LanguageEntries;
    std::unique_ptr<TEarlyProgramDecode> EarlyDecode; // while the startup question is up
    std::string TempDir;
    std::string TempExePath; // set before the file is created, so cleanup tries it either way
    TLoaderRequests Requests; // written by the loader window, which it outlives
    TWindowHandle LoaderWindow;
};

int32_t EntryCount(const TRunState &State) {
    return static_cast<int32_t>(State.LanguageEntries.size());
}

// The cleanup block, on success and on failure alike. Its order is not the reverse of the
// acquisitions: the loader's own file goes first (once an early decoding of it has ended), the
// extracted program and its directory are removed while the window still exists, and the language
// entries go last.
void RunCleanupBlock(TRunState &State) noexcept {
    State.EarlyDecode.reset(); // its thread reads the loader's file until it has ended
    DestroyAndClear(State.SelfFile);
    if (!State.TempExePath.empty())
        DeleteFileWithRetries(/*DisableRedirection=*/false, State.TempExePath, DeleteAttempts,
                              DeleteFirstRetryDelay, DeleteRetryDelay);
    if (!State.TempDir.empty())
        ::RemoveDirectoryA(State.TempDir.c_str());
    { TWindowHandle Destroyed(std::move(State.LoaderWindow)); }
    std::vector<TSetupLanguageEntry>().swap(State.LanguageEntries);
}

// Runs the cleanup block when the steps it guards end, by return or by exception; unwinding runs
// it before the final handler shows its box.
class TCleanupBlock {
public:
    explicit TCleanupBlock(TRunState &State) : FState(State) {}
    TCleanupBlock(const TCleanupBlock &) = delete;
    TCleanupBlock &operator=(const TCleanupBlock &) = delete;
    ~TCleanupBlock() { RunCleanupBlock(FState); }

private:
    TRunState &FState;
};

// The decoding that the startup question's timer starts, until it has started or the question is
// answered.
TEarlyProgramDecode *PendingEarlyDecode = nullptr;

// Runs from the question box's own message loop once it has nothing else to do, so the question
// is on screen before the decoding takes any time from it.
void CALLBACK StartEarlyDecode(HWND, UINT, UINT_PTR Timer, DWORD) {
    ::KillTimer(nullptr, Timer);
    if (PendingEarlyDecode)
        PendingEarlyDecode->Start();
    PendingEarlyDecode = nullptr;
}

// While the question is up, the setup program is decoded on a second thread (TEarlyProgramDecode);
// nothing is created and no fault is shown before the answer.
void AskStartupPrompt(TRunState &State) {
    if (State.Header.NoStartupPrompt() || State.Options.SuppressStartupPrompt)
        return;
    std::string Text = FormatLoaderMessage1(MsgStartupPrompt, State.Header.ApplicationName());
    State.EarlyDecode.reset(new (std::nothrow) TEarlyProgramDecode(*State.SelfFile, *State.Table));
    PendingEarlyDecode = State.EarlyDecode.get();
    const UINT_PTR Timer = ::SetTimer(nullptr, 0, 0, &StartEarlyDecode);
    int Answer = ::MessageBoxA(nullptr, Text.c_str(), LoaderMessages[MsgSetupCaption].c_str(),
                               MB_YESNO | MB_ICONQUESTION);
    ::KillTimer(nullptr, Timer);
    PendingEarlyDecode = nullptr;
    if (Answer != IDYES) {
        // Given up, not waited for: the thread may still be reading the loader's file, so the
        // file and the decoding are left to the end of the process.
        State.EarlyDecode.release();
        State.SelfFile.release();
        LoaderExitCode = 2;
        throw EAbort();
    }
}

std::string ExtractedProgramPath(const TRunState &State) {
    return EnsureTrailingSeparator(State.TempDir) +
           ReplaceExtension(FileNamePart(State.SelfPath), ".tmp");
}

// A file error while writing the extracted program (or reading the loader's file for it, once
// it stands at the program's block) is reported as the temporary file failing, with the file
// error's code. A program decoded while the startup question was up is written as it stands;
// otherwise (no question, or that decoding did not pass) it is decoded here.
void ExtractProgram(TRunState &State) {
    const bool Decoded = State.EarlyDecode && State.EarlyDecode->Finish();
    // Outside the conversion below: a failure here is the loader's own file failing.
    if (!Decoded)
        SeekSetupProgram(*State.SelfFile, *State.Table);
    try {
        TFile Target(State.TempExePath, fcCreateAlways, amWrite, smNone);
        if (Decoded)
            State.EarlyDecode->WriteTo(Target);
        else
            ExtractSetupProgram(*State.SelfFile, *State.Table, Target);
    } catch (const EFileError &E) {
        ::SetLastError(E.SystemErrorCode);
        RaiseWin32Error(MsgTempFileFailed);
    }
}

void RunSetupProgramStep(TRunState &State) {
    State.LoaderWindow = CreateLoaderWindow(State.Requests);
    const std::string Tail = CommandTail();
    std::string CommandLine = BuildChildCommandLine(
        State.TempExePath,
        BuildChildParameters(
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(State.LoaderWindow.Get())),
            State.Table->SetupDataOffset, State.Table->SecondDataOffset, State.SelfPath, Tail));
    std::wstring WideCommandLine = BuildWideChildCommandLine(
        CommandLine, Tail.size(), WideCommandTail(), SystemAnsiPaths.ToAnsi, WideFormOfAnsi);
    LoaderExitCode = static_cast<int32_t>(RunSetupProgram(CommandLine, WideCommandLine));
    // Texts shown from here on come from the language the setup program asked for.
    if (State.Requests.LanguageIndex != -1)
        ActivateLanguage(State.LanguageEntries.data(), EntryCount(State),
                         State.Requests.LanguageIndex);
}

// From the acceptance of the loader's own file to the end of the setup program.
void RunGuardedSteps(TRunState &State) {
    State.Table = FindOffsetTable();
    AcceptPackageHead(State.Table, *State.SelfFile, State.Header, State.LanguageEntries);
    ChooseLanguage(State.LanguageEntries.data(), EntryCount(State), State.Options.LangOption,
                   State.Header.LanguageDetectMode());
    AskStartupPrompt(State);
    SeedRandom();
    State.TempDir = MakeRunTempDir();
    State.TempExePath = ExtractedProgramPath(State);
    ExtractProgram(State);
    DestroyAndClear(State.SelfFile); // closed before the setup program starts
    RunSetupProgramStep(State);
}

void RunProtected(HMODULE Module) {
    TRunState State;
    TouchImagePages(Module);
    State.Options = ParseLoaderOptions();
    State.SelfPath = ParameterAt(0);
    State.SelfFile.reset(new TFile(State.SelfPath, fcOpenExisting, amRead, smRead));
    {
        TCleanupBlock Cleanup(State);
        RunGuardedSteps(State);
    }
    // The temporary files are gone before the system is asked to restart.
    if (State.Requests.Restart && !RebootSystem())
        ::MessageBoxA(nullptr, LoaderMessages[MsgRestartFailed].c_str(),
                      LoaderMessages[MsgErrorCaption].c_str(),
                      MB_SETFOREGROUND | MB_ICONWARNING);
}

} // namespace

void ShowExceptionBox() {
    try {
        throw;
    } catch (const EAbort &) {
        return;
    } catch (...) {
        const std::string &Caption = LoaderMessages[MsgErrorCaption];
        // While no message block is loaded the caption is null: the system's default shows.
        ::MessageBoxA(nullptr, CurrentExceptionText().c_str(),
                      Caption.empty() ? nullptr : Caption.c_str(), MB_ICONERROR);
    }
}

int32_t RunLoader() {
    HMODULE Module = ::GetModuleHandleA(nullptr);
    InitCommonControlsLate();
    std::atexit(ClearLoaderMessages);
    InitSystemFunctions();
    try {
        RunProtected(Module);
    } catch (...) {
        ShowExceptionBox();
    }
    return LoaderExitCode;
}
