// What the reference setup program takes from its parameters and how it shapes its texts: the
// portable rules, kept apart from the Win32 program so that they run on the host from tables.
// Owns nothing.
#pragma once

#include <string>
#include <vector>

// The exit codes of the reference setup program (when it runs no program of the author's).
constexpr int FileSetupExitDone = 0;
constexpr int FileSetupExitFailed = 1;
constexpr int FileSetupExitCancelled = 2;

// The message numbers of the setup program's texts in every language's table.
enum TFileSetupText : int {
    SetupTitle = 170,
    SetupReady,
    SetupFolderLabel,
    SetupBrowse,
    SetupInstall,
    SetupCancel,
    SetupLanguage,
    SetupBrowsePrompt,
    SetupInstalling,
    SetupConfirmCancel,
    SetupCancelled,
    SetupFinished,
    SetupDamaged,
    SetupWriteFailed,
    SetupCreateFolderFailed,
    SetupBadFolder,
    SetupDiskFull,
    SetupRunFailed,
    SetupRestartPrompt,
    SetupRestartLater,
};

struct TFileSetupOptions {
    bool Silent = false;     // /SILENT: progress only, no questions
    bool VerySilent = false; // /VERYSILENT: no window at all
    std::wstring Folder;     // /DIR=: the target folder; empty: the default
};

// Reads /SILENT, /VERYSILENT and /DIR= (any case; the loader's own parameters such as /Lang=
// and anything unknown are left alone). The last /DIR= counts; quotes around its value go.
TFileSetupOptions ParseFileSetupOptions(const std::vector<std::wstring> &Parameters);

// Pattern with %1 to %9 replaced by Arguments (a number beyond them stays as written).
std::wstring FormatSetupText(const std::wstring &Pattern, const std::vector<std::wstring> &Arguments);

// A folder name for the application: characters Windows refuses become '_', trailing dots and
// spaces go; "Application" when nothing is left.
std::wstring FolderNameFor(const std::wstring &ApplicationName);

// The program and its arguments from a run command: the first word (quoted or not) and what
// follows it, spaces around it removed.
struct TRunCommand {
    std::wstring Program;
    std::wstring Arguments;
};
TRunCommand SplitRunCommand(const std::wstring &Command);

// Turns a path into the system's long form (\\?\C:\..., \\?\UNC\server\...), '/' made '\\' and
// no trailing separator: Path must be absolute (the caller makes it so).
std::wstring LongPathOf(const std::wstring &AbsolutePath);
